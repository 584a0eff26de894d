// The encoder's work per frame, for the benchmark: synthetic camera at 640x480, scaling to
// the stream's size (640x480), the watermark blend and JPEG at -sameq quality. Prints the
// frames done and their average size; the caller measures the CPU time.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "programs/encoder/frame_pipeline.h"
#include "programs/encoder/gif_reader.h"
#include "programs/encoder/test_pattern.h"
#include "res/watermark.h"

int main(int argc, char** argv) {
    int frames = argc > 1 ? std::atoi(argv[1]) : 300;
    RgbImage mark;
    std::string error;
    if (!ReadGif(kWatermarkGif, kWatermarkGifSize, mark, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    Watermark watermark(mark, 0, 0x808080);
    StreamParameters stream;
    stream.width = 640;
    stream.height = 480;
    FramePipeline pipeline(stream, 15, true, &watermark);
    RgbImage frame;
    std::vector<uint8_t> jpeg;
    double bytes = 0;
    for (int i = 0; i < frames; ++i) {
        DrawTestPattern(i, 15, frame);
        if (!pipeline.Process(frame, jpeg)) return 1;
        bytes += static_cast<double>(jpeg.size());
    }
    std::printf("%d frames, %.0f bytes a frame\n", frames, bytes / frames);
    return 0;
}
