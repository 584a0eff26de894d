// The encoder's work per frame, for the benchmark; the caller measures the CPU time.
//   encoder_bench [FRAMES]: the synthetic camera at 640x480, scaling to the stream's size
//     (640x480), the watermark blend and JPEG at -sameq quality.
//   encoder_bench --mjpeg FILE WIDTH HEIGHT: an MJPG camera's frames (JPEG pictures one after
//     the other in FILE, as a camera sends them), decoded, scaled to 640x480, watermarked and
//     encoded at -sameq quality. Also prints the CPU time of the decoding alone.
// Prints the frames done and their average size.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/whole_file.h"
#include "programs/encoder/capture_decoder.h"
#include "programs/encoder/frame_pipeline.h"
#include "programs/encoder/gif_reader.h"
#include "programs/encoder/test_pattern.h"
#include "res/watermark.h"

namespace {

double CpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The pictures in a stream of JPEG files: each from its start marker to its end marker
// (inside the coded data, 0xFF is always followed by 0x00 or a restart marker).
std::vector<std::pair<size_t, size_t>> SplitJpegs(const std::string& data) {
    std::vector<std::pair<size_t, size_t>> frames;
    size_t start = data.find("\xFF\xD8");
    while (start != std::string::npos) {
        size_t end = data.find("\xFF\xD9", start + 2);
        if (end == std::string::npos) break;
        frames.emplace_back(start, end + 2 - start);
        start = data.find("\xFF\xD8", end + 2);
    }
    return frames;
}

}  // namespace

int main(int argc, char** argv) {
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

    if (argc == 5 && std::strcmp(argv[1], "--mjpeg") == 0) {
        std::string data;
        std::wstring path(argv[2], argv[2] + std::strlen(argv[2]));
        if (ReadWholeFile(path, size_t(1) << 31, data) != ReadResult::Ok) {
            std::fprintf(stderr, "cannot read %s\n", argv[2]);
            return 1;
        }
        CaptureFormat format{FourCC('M', 'J', 'P', 'G'), 24, std::atoi(argv[3]), std::atoi(argv[4])};
        CaptureDecoder decoder;
        decoder.SetOutputSize(stream.width, stream.height);
        auto frames = SplitJpegs(data);
        double decoding = 0;
        int decodedWidth = 0, decodedHeight = 0;
        for (auto& f : frames) {
            double before = CpuSeconds();
            if (!decoder.Decode(format, reinterpret_cast<const uint8_t*>(data.data()) + f.first, f.second, frame,
                                error)) {
                std::fprintf(stderr, "frame not decoded: %s\n", error.c_str());
                return 1;
            }
            decoding += CpuSeconds() - before;
            decodedWidth = frame.width;
            decodedHeight = frame.height;
            if (!pipeline.Process(frame, jpeg)) return 1;
            bytes += static_cast<double>(jpeg.size());
        }
        std::printf("%zu frames, decoded at %dx%d, %.0f bytes a frame out, decoding %.3f ms CPU a frame\n",
                    frames.size(), decodedWidth, decodedHeight, bytes / static_cast<double>(frames.size()),
                    decoding * 1000 / static_cast<double>(frames.size()));
        return 0;
    }

    int frames = argc > 1 ? std::atoi(argv[1]) : 300;
    for (int i = 0; i < frames; ++i) {
        DrawTestPattern(i, 15, frame);
        if (!pipeline.Process(frame, jpeg)) return 1;
        bytes += static_cast<double>(jpeg.size());
    }
    std::printf("%d frames, %.0f bytes a frame\n", frames, bytes / frames);
    return 0;
}
