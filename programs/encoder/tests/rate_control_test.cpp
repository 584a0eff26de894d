// Rate control over the real pipeline (synthetic camera, scaling, watermark, JPEG).
#include <gtest/gtest.h>

#include "programs/encoder/frame_pipeline.h"
#include "programs/encoder/gif_reader.h"
#include "programs/encoder/test_pattern.h"
#include "programs/encoder/yuv_convert.h"
#include "res/watermark.h"

namespace {

Watermark AssetMark() {
    RgbImage mark;
    std::string error;
    EXPECT_TRUE(ReadGif(kWatermarkGif, kWatermarkGifSize, mark, error)) << error;
    return Watermark(mark, 0, 0x808080);
}

// Runs `frames` frames through the pipeline; returns the sizes of the frames sent.
std::vector<size_t> RunFrames(FramePipeline& pipeline, int frames, double rate) {
    std::vector<size_t> sizes;
    RgbImage picture;
    YuvImage frame;
    std::vector<uint8_t> jpeg;
    for (int i = 0; i < frames; ++i) {
        DrawTestPattern(i, rate, picture);
        RgbToYuv420(picture, frame);
        if (pipeline.Process(frame, jpeg)) sizes.push_back(jpeg.size());
    }
    return sizes;
}

double BitRate(const std::vector<size_t>& sizes, size_t from, double rate) {
    double bytes = 0;
    for (size_t i = from; i < sizes.size(); ++i) bytes += static_cast<double>(sizes[i]);
    return bytes * 8 * rate / static_cast<double>(sizes.size() - from);
}

}  // namespace

TEST(RateControl, ConvergesOnTheTargetBitRate) {
    Watermark mark = AssetMark();
    // Low, middle and high targets, at two frame sizes.
    struct Case {
        int64_t kbit;
        int w, h;
    };
    for (const Case& c : {Case{400, 320, 240}, Case{650, 320, 240}, Case{1200, 640, 480}}) {
        StreamParameters stream;
        stream.width = c.w;
        stream.height = c.h;
        stream.bitRate = c.kbit * 1000;
        stream.bitRateTolerance = c.kbit * 1000 / 5;
        stream.fileMaxSize = 200000;
        FramePipeline pipeline(stream, 15, false, &mark);
        std::vector<size_t> sizes = RunFrames(pipeline, 120, 15);
        ASSERT_EQ(sizes.size(), 120u);
        // After four seconds of settling, the last four seconds hold the target.
        double measured = BitRate(sizes, 60, 15);
        EXPECT_NEAR(measured, static_cast<double>(stream.bitRate), static_cast<double>(stream.bitRateTolerance))
            << c.kbit << " kbit/s at " << c.w << "x" << c.h;
    }
}

TEST(RateControl, SameQualityIsHighAndEveryFrameFitsTheFeed) {
    Watermark mark = AssetMark();
    StreamParameters stream;
    FramePipeline free(stream, 15, true, &mark);
    std::vector<size_t> big = RunFrames(free, 5, 15);
    ASSERT_EQ(big.size(), 5u);
    EXPECT_EQ(free.LastQuality(), kSameQuality);
    // A limit well below what -sameq gives: quality drops for those frames only as far as needed.
    stream.fileMaxSize = static_cast<int64_t>(big[0] / 3);
    FramePipeline limited(stream, 15, true, &mark);
    std::vector<size_t> sizes = RunFrames(limited, 5, 15);
    ASSERT_EQ(sizes.size(), 5u);
    for (size_t s : sizes) EXPECT_LT(static_cast<int64_t>(s), stream.fileMaxSize);
    EXPECT_LT(limited.LastQuality(), kSameQuality);
    EXPECT_GT(limited.LastQuality(), kMinQuality);
    // A limit no JPEG of this size can meet: frames are dropped, never sent oversized.
    stream.fileMaxSize = 300;
    FramePipeline impossible(stream, 15, true, &mark);
    EXPECT_TRUE(RunFrames(impossible, 2, 15).empty());
}
