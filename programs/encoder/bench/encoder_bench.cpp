// The encoder's work per frame, for the benchmark; prints the CPU time of its loop (the
// frames read into memory first, outside the measurement).
//   encoder_bench [--rgb] synthetic FRAMES
//     the synthetic camera at 640x480, watermark and JPEG at -sameq quality;
//   encoder_bench [--rgb] mjpeg|yuy2 FILE WIDTH HEIGHT OUTWIDTH OUTHEIGHT
//     an MJPG camera's frames (JPEG pictures one after the other, as a camera sends them)
//     or a YUY2 camera's (raw frames one after the other), decoded, scaled, watermarked and
//     encoded at -sameq quality; MJPG also prints the decoding alone.
// BENCH_SAVE_JPEG=PATH writes the last frame's JPEG there, to look at.
// --rgb: the same through packed RGB (decode to RGB, scale, watermark and encode in RGB),
// the way frames went before the planar pipeline, for comparison in the same run.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/whole_file.h"
#include "programs/encoder/capture_decoder.h"
#include "programs/encoder/frame_pipeline.h"
#include "programs/encoder/gif_reader.h"
#include "programs/encoder/scale.h"
#include "programs/encoder/test_pattern.h"
#include "programs/encoder/yuv_convert.h"
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

// Frames through packed RGB, as the pipeline did it before.
struct RgbPath {
    int width, height;
    Watermark& mark;
    CaptureDecoder decoder;
    JpegEncoder encoder;
    RgbImage frame, scaled;

    bool Process(const CaptureFormat& format, const uint8_t* data, size_t size, std::vector<uint8_t>& jpeg,
                 std::string& error) {
        if (!decoder.Decode(format, data, size, frame, error)) return false;
        return Encode(frame, jpeg);
    }
    bool Encode(RgbImage& picture, std::vector<uint8_t>& jpeg) {
        RgbImage* p = &picture;
        if (picture.width != width || picture.height != height) {
            ScaleBilinear(picture, width, height, scaled);
            p = &scaled;
        }
        mark.Apply(*p);
        return encoder.Encode(*p, kSameQuality, jpeg);
    }
};

}  // namespace

int main(int argc, char** argv) {
    int a = 1;
    const bool rgb = argc > a && std::strcmp(argv[a], "--rgb") == 0;
    if (rgb) ++a;
    const std::string mode = argc > a ? argv[a] : "";
    const bool camera = mode == "mjpeg" || mode == "yuy2";
    if (!(mode == "synthetic" && argc == a + 2) && !(camera && argc == a + 6)) {
        std::fprintf(stderr, "usage: encoder_bench [--rgb] synthetic FRAMES | [--rgb] mjpeg|yuy2 FILE W H OUTW OUTH\n");
        return 2;
    }
    RgbImage markPicture;
    std::string error;
    if (!ReadGif(kWatermarkGif, kWatermarkGifSize, markPicture, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    Watermark watermark(markPicture, 0, 0x808080);
    StreamParameters stream;
    stream.width = camera ? std::atoi(argv[a + 4]) : kTestPatternWidth;
    stream.height = camera ? std::atoi(argv[a + 5]) : kTestPatternHeight;
    FramePipeline pipeline(stream, 15, true, &watermark);
    RgbPath old{stream.width, stream.height, watermark, {}, {}, {}, {}};
    YuvImage frame;
    std::vector<uint8_t> jpeg;
    double bytes = 0;

    if (mode == "synthetic") {
        const int frames = std::atoi(argv[a + 1]);
        RgbImage picture;
        double before = CpuSeconds();
        for (int i = 0; i < frames; ++i) {
            DrawTestPattern(i, 15, picture);
            bool ok = rgb ? old.Encode(picture, jpeg) : (RgbToYuv420(picture, frame), pipeline.Process(frame, jpeg));
            if (!ok) return 1;
            bytes += static_cast<double>(jpeg.size());
        }
        double cpu = CpuSeconds() - before;
        std::printf("%d frames, %.0f bytes a frame, cpu %.3f ms a frame\n", frames, bytes / frames,
                    cpu * 1000 / frames);
        return 0;
    }

    std::string data;
    std::wstring path(argv[a + 1], argv[a + 1] + std::strlen(argv[a + 1]));
    if (ReadWholeFile(path, size_t(1) << 31, data) != ReadResult::Ok) {
        std::fprintf(stderr, "cannot read %s\n", argv[a + 1]);
        return 1;
    }
    const int w = std::atoi(argv[a + 2]), h = std::atoi(argv[a + 3]);
    CaptureFormat format{mode == "mjpeg" ? FourCC('M', 'J', 'P', 'G') : FourCC('Y', 'U', 'Y', '2'),
                         mode == "mjpeg" ? 24 : 16, w, h};
    std::vector<std::pair<size_t, size_t>> frames;
    if (mode == "mjpeg") {
        frames = SplitJpegs(data);
    } else {
        const size_t each = CaptureFrameBytes(format);
        for (size_t at = 0; each && at + each <= data.size(); at += each) frames.emplace_back(at, each);
    }
    if (frames.empty()) {
        std::fprintf(stderr, "no frames in %s\n", argv[a + 1]);
        return 1;
    }
    CaptureDecoder decoder;
    decoder.SetOutputSize(stream.width, stream.height);
    old.decoder.SetOutputSize(stream.width, stream.height);
    const auto* base = reinterpret_cast<const uint8_t*>(data.data());
    double before = CpuSeconds();
    for (auto& f : frames) {
        bool ok = rgb ? old.Process(format, base + f.first, f.second, jpeg, error)
                      : decoder.Decode(format, base + f.first, f.second, frame, error) && pipeline.Process(frame, jpeg);
        if (!ok) {
            std::fprintf(stderr, "frame not done: %s\n", error.c_str());
            return 1;
        }
        bytes += static_cast<double>(jpeg.size());
    }
    double cpu = CpuSeconds() - before;
    const double n = static_cast<double>(frames.size());
    std::printf("%zu frames, %.0f bytes a frame, cpu %.3f ms a frame", frames.size(), bytes / n, cpu * 1000 / n);
    if (mode == "mjpeg") {
        // The decoding alone, as the pipeline does it (to planes, or to RGB with --rgb).
        RgbImage rgbFrame;
        before = CpuSeconds();
        for (auto& f : frames) {
            bool ok = rgb ? old.decoder.Decode(format, base + f.first, f.second, rgbFrame, error)
                          : decoder.Decode(format, base + f.first, f.second, frame, error);
            if (!ok) return 1;
        }
        std::printf(", decoding %.3f ms a frame at %dx%d", (CpuSeconds() - before) * 1000 / n,
                    rgb ? rgbFrame.width : frame.width, rgb ? rgbFrame.height : frame.height);
    }
    std::printf("\n");
    if (const char* save = std::getenv("BENCH_SAVE_JPEG")) {
        if (FILE* f = std::fopen(save, "wb")) {
            std::fwrite(jpeg.data(), 1, jpeg.size(), f);
            std::fclose(f);
        }
    }
    return 0;
}
