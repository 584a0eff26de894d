// The planar pipeline against the packed-RGB one it replaced (decode to RGB, scale,
// watermark and encode in RGB), for every camera format, with the product's watermark.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "programs/encoder/capture_decoder.h"
#include "programs/encoder/frame_pipeline.h"
#include "programs/encoder/gif_reader.h"
#include "programs/encoder/scale.h"
#include "programs/encoder/tests/test_support.h"
#include "programs/encoder/yuv_convert.h"
#include "programs/encoder/ycc.h"
#include "res/watermark.h"

namespace {

// Camera-like: gradients and colour bars under sensor noise, in the brightness and, less,
// in the colour (as the bench's frames: FFmpeg's noise on every plane).
RgbImage Textured(int w, int h) {
    RgbImage img;
    img.Resize(w, h);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> luma(-12, 12), chroma(-6, 6);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int bar = x * 8 / w, n = luma(random);
            int base[3] = {bar & 1 ? 200 : 40 + 150 * y / h, bar & 2 ? 190 : 30 + 120 * x / w, bar & 4 ? 180 : 60};
            for (int c = 0; c < 3; ++c)
                img.Row(y)[x * 3 + c] = static_cast<uint8_t>(std::min(255, std::max(0, base[c] + n + chroma(random))));
        }
    return img;
}

RgbImage Decoded(const std::vector<uint8_t>& jpeg, int w, int h) {
    MjpegDecoder decoder;
    RgbImage out;
    std::string why;
    EXPECT_TRUE(decoder.Decode(jpeg.data(), jpeg.size(), w, h, 0, 0, out, why)) << why;
    return out;
}

double Psnr(const RgbImage& a, const RgbImage& b) {
    double sum = 0;
    for (size_t i = 0; i < a.rgb.size(); ++i) sum += (a.rgb[i] - b.rgb[i]) * (a.rgb[i] - b.rgb[i]);
    double mse = sum / static_cast<double>(a.rgb.size());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

const uint32_t kMjpg = FourCC('M', 'J', 'P', 'G');

}  // namespace

TEST(PlanarPipeline, EveryCameraFormatGivesThePicturesOfTheRgbPipeline) {
    struct Case {
        CaptureFormat format;
        int streamWidth, streamHeight;  // 0 x 0: the camera's size
        int lumaWidthFactor;            // MJPG: 2 for 4:2:2 and 4:2:0, with
        int lumaHeightFactor;           // 1 for 4:2:2, 2 for 4:2:0
    };
    const Case cases[] = {
        {{FourCC('Y', 'U', 'Y', '2'), 16, 640, 480}, 0, 0, 0, 0},
        {{FourCC('Y', 'U', 'Y', '2'), 16, 640, 480}, 320, 240, 0, 0},
        {{FourCC('U', 'Y', 'V', 'Y'), 16, 320, 240}, 0, 0, 0, 0},
        {{FourCC('N', 'V', '1', '2'), 12, 640, 480}, 320, 240, 0, 0},
        {{FourCC('I', '4', '2', '0'), 12, 176, 144}, 0, 0, 0, 0},
        {{0, 24, 640, 480}, 0, 0, 0, 0},       // bottom-up
        {{0, 32, 320, -240}, 640, 480, 0, 0},  // top-down, scaled up
        {{kMjpg, 24, 1280, 720}, 640, 480, 2, 1},
        {{kMjpg, 24, 1280, 720}, 320, 240, 2, 1},  // decoded at half size
        {{kMjpg, 24, 640, 480}, 0, 0, 2, 2},
        {{kMjpg, 24, 1920, 1080}, 1280, 720, 2, 1},
    };
    RgbImage markPicture;
    std::string error;
    ASSERT_TRUE(ReadGif(kWatermarkGif, kWatermarkGifSize, markPicture, error)) << error;
    for (const Case& c : cases) {
        const int w = c.format.width, h = std::abs(c.format.height);
        std::string what = DescribeCaptureFormat(c.format) + " " + std::to_string(w) + "x" + std::to_string(h) +
                           " to " + std::to_string(c.streamWidth) + "x" + std::to_string(c.streamHeight);
        RgbImage picture = Textured(w, h);
        std::vector<uint8_t> frame = c.format.compression == kMjpg
                                         ? WithoutHuffmanTables(
                                               Jpeg(picture, false, c.lumaWidthFactor, c.lumaHeightFactor))
                                         : Frame(picture, c.format);
        const int outW = c.streamWidth ? c.streamWidth : w, outH = c.streamHeight ? c.streamHeight : h;

        // Before: through packed RGB.
        CaptureDecoder rgbDecoder;
        rgbDecoder.SetOutputSize(c.streamWidth, c.streamHeight);
        RgbImage rgb, scaled;
        ASSERT_TRUE(rgbDecoder.Decode(c.format, frame.data(), frame.size(), rgb, error)) << what << ": " << error;
        ScaleBilinear(rgb, outW, outH, scaled);
        Watermark rgbMark(markPicture, 0, 0x808080);
        rgbMark.Apply(scaled);
        JpegEncoder encoder;
        std::vector<uint8_t> before;
        ASSERT_TRUE(encoder.Encode(scaled, kSameQuality, before)) << what;

        // Now: in planes.
        CaptureDecoder decoder;
        decoder.SetOutputSize(c.streamWidth, c.streamHeight);
        YuvImage planes;
        ASSERT_TRUE(decoder.Decode(c.format, frame.data(), frame.size(), planes, error)) << what << ": " << error;
        StreamParameters stream;
        stream.width = c.streamWidth;
        stream.height = c.streamHeight;
        Watermark planarMark(markPicture, 0, 0x808080);
        FramePipeline pipeline(stream, 15, true, &planarMark);
        std::vector<uint8_t> now;
        ASSERT_TRUE(pipeline.Process(planes, now)) << what;

        double psnr = Psnr(Decoded(before, outW, outH), Decoded(now, outW, outH));
        std::printf("PSNR %-28s %.1f dB\n", what.c_str(), psnr);
        EXPECT_GE(psnr, 40.0) << what;
    }
}

TEST(PlanarPipeline, EveryLimitedRangeValueIsExpandedAsCaptureDriversMeanIt) {
    // BT.601 limited range to full, rounded to nearest, for every byte value in every place
    // of a row (the fast loops and the pixels after them).
    auto luma = [](int v) { return std::clamp(static_cast<int>(std::lround((v - 16) * 255.0 / 219.0)), 0, 255); };
    auto chroma = [](int v) {
        return std::clamp(static_cast<int>(std::lround(128 + (v - 128) * 255.0 / 224.0)), 0, 255);
    };
    // The packed formats' chroma is the mean of two rows' (rounded up), an odd last row's its own.
    const int w = 70;
    for (uint32_t fourcc : {FourCC('Y', 'U', 'Y', '2'), FourCC('U', 'Y', 'V', 'Y'), FourCC('I', '4', '2', '0')}) {
        const int h = fourcc == FourCC('I', '4', '2', '0') ? 8 : 9;
        const CaptureFormat format{fourcc, fourcc == FourCC('I', '4', '2', '0') ? 12 : 16, w, h};
        std::vector<uint8_t> frame(CaptureFrameBytes(format));
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7 + i / 256);
        YuvImage planes;
        RgbImage unused;
        ASSERT_TRUE(CaptureFrameToPlanes(format, frame.data(), frame.size(), planes, unused));
        int wrong = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (fourcc == FourCC('I', '4', '2', '0')) {
                    wrong += planes.y.Row(y)[x] != luma(frame[y * w + x]);
                    if (y % 2 || x % 2) continue;
                    const size_t c = static_cast<size_t>(y / 2) * (w / 2) + x / 2;
                    wrong += planes.cb.Row(y / 2)[x / 2] != chroma(frame[w * h + c]);
                    wrong += planes.cr.Row(y / 2)[x / 2] != chroma(frame[w * h * 5 / 4 + c]);
                    continue;
                }
                auto pair = [&](int row) { return &frame[static_cast<size_t>(row) * w * 2 + (x & ~1) * 2]; };
                const bool uyvy = fourcc == FourCC('U', 'Y', 'V', 'Y');
                wrong += planes.y.Row(y)[x] != luma(pair(y)[(uyvy ? 1 : 0) + (x & 1) * 2]);
                if (y % 2 || x % 2) continue;
                const int below = std::min(y + 1, h - 1);
                for (int c : {0, 1}) {
                    const int at = uyvy ? 2 * c : 2 * c + 1;
                    const int want = (chroma(pair(y)[at]) + chroma(pair(below)[at]) + 1) >> 1;
                    wrong += (c ? planes.cr : planes.cb).Row(y / 2)[x / 2] != want;
                }
            }
        EXPECT_EQ(wrong, 0) << DescribeCaptureFormat(format);
    }
}

TEST(PlanarPipeline, PackedFramesHalvedAsTheyAreUnpackedMatchUnpackingThenScaling) {
    // 76 columns: the fast loop's 16 pixels twice, then the rest; every byte value in many places.
    for (uint32_t fourcc : {FourCC('Y', 'U', 'Y', '2'), FourCC('U', 'Y', 'V', 'Y')}) {
        const CaptureFormat format{fourcc, 16, 76, 12};
        std::vector<uint8_t> frame(CaptureFrameBytes(format));
        for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 37 + i / 256);
        YuvImage full, halved, scaled;
        RgbImage unused;
        ASSERT_TRUE(CaptureFrameToPlanes(format, frame.data(), frame.size(), full, unused));
        ASSERT_TRUE(PackedFrameToHalfPlanes(format, frame.data(), frame.size(), halved));
        scaled.width = 38;
        scaled.height = 6;
        PlaneScaler luma, cb(true), cr(true);
        luma.Scale(full.y, 38, 6, scaled.y);
        cb.Scale(full.cb, 19, 3, scaled.cb);
        cr.Scale(full.cr, 19, 3, scaled.cr);
        ASSERT_TRUE(halved.Is420());
        int wrong = 0;
        for (const auto& [a, b] : {std::pair{&halved.y, &scaled.y}, {&halved.cb, &scaled.cb}, {&halved.cr, &scaled.cr}})
            for (int y = 0; y < b->height; ++y)
                for (int x = 0; x < b->width; ++x) wrong += a->Row(y)[x] != b->Row(y)[x];
        EXPECT_EQ(wrong, 0) << DescribeCaptureFormat(format);
    }
    // Sizes it does not halve exactly are left to the general path.
    const CaptureFormat odd{FourCC('Y', 'U', 'Y', '2'), 16, 76, 10};
    std::vector<uint8_t> frame(CaptureFrameBytes(odd));
    YuvImage out;
    EXPECT_FALSE(PackedFrameToHalfPlanes(odd, frame.data(), frame.size(), out));
}

TEST(PlanarPipeline, RgbPicturesGiveTheLumaOfEachPixelAndTheChromaOfEachBlocksMean) {
    // Odd sizes, so that the edge blocks take their left or top pixel twice.
    RgbImage picture = Textured(149, 7);
    YuvImage planes;
    RgbToYuv420(picture, planes);
    ASSERT_TRUE(planes.Is420());
    int wrong = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) {
            const uint8_t* p = picture.Row(y) + 3 * x;
            int luma, cb, cr;
            RgbToYcc(p[0], p[1], p[2], luma, cb, cr);
            wrong += planes.y.Row(y)[x] != luma;
            if (x % 2 || y % 2) continue;
            int sum[3] = {};
            for (int dy : {0, 1})
                for (int dx : {0, 1})
                    for (int c = 0; c < 3; ++c)
                        sum[c] += picture.Row(
                            std::min(y + dy, picture.height - 1))[3 * std::min(x + dx, picture.width - 1) + c];
            const double mean[3] = {sum[0] / 4.0, sum[1] / 4.0, sum[2] / 4.0};
            EXPECT_NEAR(planes.cb.Row(y / 2)[x / 2], 128 - 0.168736 * mean[0] - 0.331264 * mean[1] + 0.5 * mean[2],
                        0.6);
            EXPECT_NEAR(planes.cr.Row(y / 2)[x / 2], 128 + 0.5 * mean[0] - 0.418688 * mean[1] - 0.081312 * mean[2],
                        0.6);
        }
    EXPECT_EQ(wrong, 0);
}
