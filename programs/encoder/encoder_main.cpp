#include "programs/encoder/encoder_main.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "common/utf8.h"
#include "common/whole_file.h"
#include "programs/common/stop_signal.h"
#include "programs/encoder/feed_client.h"
#include "programs/encoder/frame_pipeline.h"
#include "programs/encoder/gif_reader.h"
#include "programs/encoder/options.h"
#include "programs/encoder/say.h"
#include "programs/encoder/video_source.h"
#include "programs/encoder/watermark.h"

namespace {

const char kUsage[] =
    "usage: orvane -f vfwcap|testsrc -r RATE -i DEVICE [-sameq]\n"
    "              [-vhook \"watermark -f PATH [-m 0|1] [-t RRGGBB]\"] http://HOST:PORT/FEED.ffm";

// A watermark is a small picture; a file larger than this is not one.
constexpr size_t kMaxWatermarkBytes = 64u << 20;

std::atomic<bool> g_stop{false};

// The environment may put the synthetic camera in place of every capture device.
void ApplyForcedSource(EncoderOptions& options) {
    const char* forced = std::getenv("ORVANE_VIDEO_SOURCE");
    if (forced && std::string(forced) == "testsrc" && options.format != L"testsrc") {
        Say("ORVANE_VIDEO_SOURCE=testsrc: the synthetic camera replaces capture device " +
            std::to_string(options.device));
        options.format = L"testsrc";
    }
}

// The picture the watermark hook names, when there is one. False, having said why,
// when it cannot be used.
bool LoadWatermark(const EncoderOptions& options, std::unique_ptr<Watermark>& watermark) {
    if (!options.watermark) return true;
    std::string bytes;
    ReadResult read = ReadWholeFile(options.watermarkPath, kMaxWatermarkBytes, bytes);
    if (read == ReadResult::TooLarge) {
        Say("the watermark " + ToUtf8(options.watermarkPath) + " is larger than " +
            std::to_string(kMaxWatermarkBytes >> 20) + " MiB; a watermark is a small picture");
        return false;
    }
    if (read != ReadResult::Ok) {
        Say("cannot read the watermark " + ToUtf8(options.watermarkPath));
        return false;
    }
    RgbImage mark;
    std::string error;
    if (!ReadGif(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), mark, error)) {
        Say("the watermark " + ToUtf8(options.watermarkPath) + " is not a usable GIF: " + error);
        return false;
    }
    watermark.reset(new Watermark(std::move(mark), options.watermarkMode, options.watermarkThreshold));
    return true;
}

// The capture device or the synthetic camera; null, having said why, with the exit code,
// when it cannot be opened.
std::unique_ptr<VideoSource> OpenSource(const EncoderOptions& options, int& exitCode) {
    if (options.format == L"testsrc") return OpenTestSource(options.frameRate, g_stop);
    std::unique_ptr<VideoSource> source;
    std::string error;
#ifdef _WIN32
    source = OpenVfwSource(options.device, options.frameRate, g_stop, error, exitCode);
#else
    error = "vfwcap (Video for Windows) exists only on Windows; use -f testsrc";
    exitCode = encoder_exit::kNoCamera;
#endif
    if (!source) Say(error);
    return source;
}

// Grabs, encodes and sends until stopped, connecting again when the server goes
// away. Returns the exit code.
int Stream(VideoSource& source, const EncoderOptions& options, Watermark* watermark) {
    FeedClient feed(options.output, g_stop);
    StreamParameters stream;
    std::string error;
    if (!feed.FetchParametersAndOpen(stream, error)) {
        if (g_stop) return encoder_exit::kStopped;
        Say(error);
        return encoder_exit::kFeedUnreachable;
    }
    source.SetOutputSize(stream.width, stream.height);
    std::unique_ptr<FramePipeline> pipeline(
        new FramePipeline(stream, options.frameRate, options.sameQuality, watermark));
    YuvImage frame;
    std::vector<uint8_t> jpeg;
    long dropped = 0;
    // Connects again after the feed ended; the server may have been restarted with other parameters.
    auto reconnect = [&] {
        if (!feed.FetchParametersAndOpen(stream, error)) return false;
        source.SetOutputSize(stream.width, stream.height);
        pipeline.reset(new FramePipeline(stream, options.frameRate, options.sameQuality, watermark));
        return true;
    };
    while (!g_stop) {
        if (!source.Grab(frame, error)) {
            if (g_stop) break;
            Say(error);
            return source.FailureExit();
        }
        if (!pipeline->Process(frame, jpeg)) {
            if (dropped++ % 100 == 0)
                Say("a frame does not fit the feed's size limit even at the lowest quality; dropped");
            if (feed.WaitIsOver(error)) {
                Say("no frame fits the feed's size limit of " + std::to_string(stream.fileMaxSize) +
                    " bytes, even at the lowest quality (" + error + "); ending");
                return encoder_exit::kFeedTooSmall;
            }
            // Nothing is sent, so only this look tells that the server has ended the feed
            // (it drops a silent feeder, or was restarted).
            if (feed.StillUsable(error)) continue;
            Say(error + "; reconnecting");
            if (reconnect()) continue;
            if (g_stop) break;
            Say(error);
            return encoder_exit::kFeedLost;
        }
        if (!feed.Send(jpeg, error)) {
            if (g_stop) break;
            Say(error + "; reconnecting");
            if (!reconnect()) {
                if (g_stop) break;
                Say(error);
                return encoder_exit::kFeedLost;
            }
        }
    }
    feed.Close();
    Say("stopped");
    return encoder_exit::kStopped;
}

}  // namespace

int RunEncoder(const std::vector<std::wstring>& args) {
    EncoderOptions options;
    std::wstring problem;
    if (!ParseEncoderOptions(args, options, problem)) {
        Say(ToUtf8(problem));
        SayLine(kUsage);
        return encoder_exit::kCommandLine;
    }
    ApplyForcedSource(options);
    std::unique_ptr<Watermark> watermark;
    if (!LoadWatermark(options, watermark)) return encoder_exit::kWatermark;

    InstallStopHandler([] { g_stop = true; });
    int rc = VideoSource::kFailedExit;
    std::unique_ptr<VideoSource> source = OpenSource(options, rc);
    if (!source) return rc;
    return Stream(*source, options, watermark.get());
}
