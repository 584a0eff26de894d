// Camera frames in every format a webcam sends, to RGB: the picture, its size, and the
// frames that must be skipped.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "programs/encoder/capture_decoder.h"
#include "programs/encoder/tests/test_support.h"

namespace {

// Eight vertical colour bars, 16-pixel aligned so that chroma subsampling keeps them.
void Bars(int w, int h, RgbImage& img) {
    static const uint8_t colours[8][3] = {{235, 235, 235}, {235, 235, 16}, {16, 235, 235}, {16, 235, 16},
                                          {235, 16, 235},  {235, 16, 16},  {16, 16, 235},  {16, 16, 16}};
    img.Resize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) img.Row(y)[x * 3 + c] = colours[x * 8 / w][c];
}

bool HasHuffmanTables(const std::vector<uint8_t>& jpeg) {
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC4) return true;
    return false;
}

// Each bar's middle, compared with the bars scaled to the picture's size.
void ExpectBars(const RgbImage& got, int tolerance, const std::string& what) {
    RgbImage want;
    Bars(got.width, got.height, want);
    for (int bar = 0; bar < 8; ++bar)
        for (int y : {1, got.height / 2, got.height - 2}) {
            int x = (2 * bar + 1) * got.width / 16;
            for (int c = 0; c < 3; ++c)
                ASSERT_NEAR(got.Row(y)[x * 3 + c], want.Row(y)[x * 3 + c], tolerance)
                    << what << ": bar " << bar << " row " << y << " channel " << c;
        }
}

const uint32_t kMjpg = FourCC('M', 'J', 'P', 'G');

}  // namespace

TEST(CaptureDecoder, EveryCameraFormatGivesThePictureAtItsSize) {
    struct Case {
        CaptureFormat format;
        int outputWidth, outputHeight;  // what the stream is scaled to; 0: the camera's size
        int wantWidth, wantHeight, tolerance;
    };
    const Case cases[] = {
        {{FourCC('Y', 'U', 'Y', '2'), 16, 640, 480}, 0, 0, 640, 480, 3},
        {{FourCC('U', 'Y', 'V', 'Y'), 16, 320, 240}, 0, 0, 320, 240, 3},
        {{FourCC('N', 'V', '1', '2'), 12, 640, 480}, 0, 0, 640, 480, 3},
        {{FourCC('I', '4', '2', '0'), 12, 176, 144}, 0, 0, 176, 144, 3},
        {{0, 24, 640, 480}, 0, 0, 640, 480, 0},   // bottom-up
        {{0, 32, 320, -240}, 0, 0, 320, 240, 0},  // top-down
        {{kMjpg, 24, 1280, 720}, 0, 0, 1280, 720, 12},
        {{kMjpg, 24, 640, 480}, 640, 480, 640, 480, 12},
        // Decoded at a reduced scale, never below the stream's size.
        {{kMjpg, 24, 1280, 720}, 320, 240, 640, 360, 12},
        {{kMjpg, 24, 1280, 720}, 640, 480, 1280, 720, 12},
        {{kMjpg, 24, 1280, 720}, 160, 90, 160, 90, 16},
    };
    CaptureDecoder decoder;
    for (const Case& c : cases) {
        std::string what = DescribeCaptureFormat(c.format) + " " + std::to_string(c.format.width) + "x" +
                           std::to_string(c.format.height) + " to " + std::to_string(c.outputWidth);
        ASSERT_TRUE(CanDecodeCaptureFormat(c.format)) << what;
        RgbImage picture;
        Bars(c.format.width, std::abs(c.format.height), picture);
        std::vector<uint8_t> frame = c.format.compression == kMjpg ? WithoutHuffmanTables(Jpeg(picture, false))
                                                                   : Frame(picture, c.format);
        ASSERT_FALSE(c.format.compression == kMjpg && HasHuffmanTables(frame)) << what;
        decoder.SetOutputSize(c.outputWidth, c.outputHeight);
        RgbImage out;
        std::string why;
        ASSERT_TRUE(decoder.Decode(c.format, frame.data(), frame.size(), out, why)) << what << ": " << why;
        EXPECT_EQ(out.width, c.wantWidth) << what;
        EXPECT_EQ(out.height, c.wantHeight) << what;
        ExpectBars(out, c.tolerance, what);
    }
}

TEST(CaptureDecoder, FramesThatCannotBeShownAreRefusedWithAReason) {
    RgbImage bars, other;
    Bars(320, 240, bars);
    Bars(160, 120, other);
    const CaptureFormat mjpg{kMjpg, 24, 320, 240}, yuy2{FourCC('Y', 'U', 'Y', '2'), 16, 320, 240};
    std::vector<uint8_t> jpeg = WithoutHuffmanTables(Jpeg(bars, false));
    std::vector<uint8_t> truncated(jpeg.begin(), jpeg.begin() + jpeg.size() / 2);
    std::vector<uint8_t> broken = jpeg;  // a marker in the middle of the picture's data
    broken[broken.size() / 2] = 0xFF, broken[broken.size() / 2 + 1] = 0xD0 + 5;
    std::vector<uint8_t> notJpeg(5000, 0x42);
    std::vector<uint8_t> smaller = WithoutHuffmanTables(Jpeg(other, false));
    std::vector<uint8_t> yuy2Short = Frame(bars, yuy2);
    yuy2Short.pop_back();
    struct Case {
        const char* name;
        CaptureFormat format;
        const std::vector<uint8_t>* frame;
        size_t size;
        const char* reason;
    };
    const Case cases[] = {
        {"truncated JPEG", mjpg, &truncated, truncated.size(), "end"},
        {"broken JPEG", mjpg, &broken, broken.size(), "Corrupt"},
        {"not a JPEG", mjpg, &notJpeg, notJpeg.size(), "JPEG"},
        {"JPEG of another size", mjpg, &smaller, smaller.size(), "160x120"},
        {"empty MJPG frame", mjpg, &jpeg, 0, "empty"},
        {"YUY2 frame one byte short", yuy2, &yuy2Short, yuy2Short.size(), "153599 bytes"},
        {"unknown format", {FourCC('H', '2', '6', '4'), 24, 320, 240}, &jpeg, jpeg.size(), "H264"},
    };
    CaptureDecoder decoder;
    RgbImage out;
    std::string why;
    for (const Case& c : cases) {
        EXPECT_FALSE(decoder.Decode(c.format, c.frame->data(), c.size, out, why)) << c.name;
        EXPECT_NE(why.find(c.reason), std::string::npos) << c.name << ": " << why;
        // The next good frame is shown: nothing of the bad one stays behind.
        ASSERT_TRUE(decoder.Decode(mjpg, jpeg.data(), jpeg.size(), out, why)) << c.name << ": " << why;
        ExpectBars(out, 12, c.name);
    }
}

TEST(CaptureDecoder, AFrameWithoutTablesUsesTheStandardOnesEvenAfterOneWithItsOwn) {
    RgbImage bars;
    Bars(320, 240, bars);
    const CaptureFormat mjpg{kMjpg, 24, 320, 240};
    std::vector<uint8_t> own = Jpeg(bars, true), standard = WithoutHuffmanTables(Jpeg(bars, false));
    CaptureDecoder decoder;
    RgbImage out;
    std::string why;
    for (const std::vector<uint8_t>* frame : {&own, &standard}) {
        ASSERT_TRUE(decoder.Decode(mjpg, frame->data(), frame->size(), out, why)) << why;
        ExpectBars(out, 12, frame == &own ? "own tables" : "standard tables after own");
    }
}
