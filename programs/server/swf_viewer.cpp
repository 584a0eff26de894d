#include "programs/server/swf_viewer.h"

#include "programs/server/stream_viewer.h"
#include "programs/server/swf_writer.h"

namespace {

// SWF: the header comes with the first frame, whose size it takes when the
// stream has no VideoSize; then each frame's JPEG as a bitmap on the stage.
class SwfViewer : public StreamViewer {
public:
    using StreamViewer::StreamViewer;

private:
    const char* ContentType() const override { return "application/x-shockwave-flash"; }
    void Wrap(const Frame& frame, std::string& prefix, std::string& suffix) override {
        std::string header;
        if (!swf_) {
            int w = stream_.width > 0 ? stream_.width : frame.width;
            int h = stream_.height > 0 ? stream_.height : frame.height;
            swf_ = std::make_unique<SwfStreamWriter>(w, h, stream_.frameRate);
            header = swf_->Header();
        }
        swf_->Frame(frame.jpeg.size(), frame.width, frame.height, prefix, suffix);
        prefix.insert(0, header);
    }

    std::unique_ptr<SwfStreamWriter> swf_;
};

}  // namespace

void WatchSwf(std::shared_ptr<ServerState> state, ConnectionPtr connection, const StreamConfig& stream,
              FeedState& feed) {
    std::make_shared<SwfViewer>(std::move(state), std::move(connection), stream, feed)->Start();
}
