#include "programs/server/mjpeg_viewer.h"

#include <string>

#include "programs/server/stream_viewer.h"

namespace {

constexpr char kBoundary[] = "orvaneframe";
const std::string kContentType = std::string("multipart/x-mixed-replace;boundary=") + kBoundary;

// Each part's closing boundary is sent right after its picture: a browser
// shows a part only once the next boundary has come, so waiting for the next
// frame to send it would show every picture a frame late.
class MjpegViewer : public StreamViewer {
public:
    using StreamViewer::StreamViewer;

private:
    const char* ContentType() const override { return kContentType.c_str(); }
    std::string Opening() override { return std::string("--") + kBoundary + "\r\n"; }
    void Wrap(const Frame& frame, std::string& prefix, std::string& suffix) override {
        prefix = "Content-Type: image/jpeg\r\nContent-Length: " + std::to_string(frame.jpeg.size()) + "\r\n\r\n";
        suffix = std::string("\r\n--") + kBoundary + "\r\n";
    }
};

}  // namespace

void WatchMjpeg(std::shared_ptr<ServerState> state, ConnectionPtr connection, const StreamConfig& stream,
                FeedState& feed) {
    std::make_shared<MjpegViewer>(std::move(state), std::move(connection), stream, feed)->Start();
}
