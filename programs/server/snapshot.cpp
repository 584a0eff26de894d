#include "programs/server/snapshot.h"

#include "programs/server/answer.h"
#include "programs/server/responses.h"
#include "programs/server/server_state.h"

void SendSnapshot(std::shared_ptr<ServerState> state, ConnectionPtr connection, FeedState& feed) {
    FramePtr latest = feed.frames.latest();
    if (!latest)
        return SendAnswer(std::move(state), std::move(connection), 503,
                          SimpleResponse(503, "503 No picture has come from the camera yet\n"));
    std::string head = ResponseHead(200, "image/jpeg", static_cast<int64_t>(latest->jpeg.size()));
    SendAnswer(std::move(state), std::move(connection), 200, std::move(head), std::move(latest));
}
