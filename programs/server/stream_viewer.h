// A live viewer of a stream, whatever the format: it takes a viewer place
// (MaxClients, MaxBandwidth) or is answered 503, takes the newest frame of
// its feed as each comes (a slow viewer skips frames instead of queueing
// them), and is cut when it stops taking what is written. The formats only
// say what goes around each frame's JPEG bytes.
//
// What may wait unread for one viewer is bounded: its socket's send buffer is
// small, fitted to what its link takes (the system would otherwise grow it to
// megabytes, seconds of pictures for a slow link), and the next frame is
// chosen only once the previous one has been handed over whole. A viewer on a slow link thus sees the newest
// picture at the rate its link allows, never an ever older stream.
#pragma once
#include <asio.hpp>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "programs/server/connection.h"
#include "programs/server/frame_broadcast.h"
#include "programs/server/lazy_deadline.h"
#include "programs/server/limits.h"
#include "programs/server/server_state.h"

class StreamViewer : public FrameSink, public std::enable_shared_from_this<StreamViewer> {
public:
    StreamViewer(std::shared_ptr<ServerState> state, ConnectionPtr connection, const StreamConfig& stream,
                 FeedState& feed);
    virtual ~StreamViewer() = default;

    // Answers 503 when the limits do not admit another viewer; a HEAD request
    // gets the headers only and no place.
    void Start();
    void Offer(const FramePtr& frame) override;

protected:
    virtual const char* ContentType() const = 0;
    // What follows the response head before any frame.
    virtual std::string Opening() { return ""; }
    // What goes before and after the JPEG bytes of a frame.
    virtual void Wrap(const Frame& frame, std::string& prefix, std::string& suffix) = 0;

    const StreamConfig& stream_;

private:
    void WatchForClose();
    void WriteNext();
    // Hands the rest of the current write to the system, as much as it takes.
    void WriteSome();
    // Fits the send buffer to the link of a viewer that skips frames, by what it took over whole writes.
    void FitSendBuffer();
    void SetSendBuffer(int size);
    void WatchForStall(std::chrono::steady_clock::time_point due);
    // Sends the latest picture again, unless a write is under way.
    void Repeat();
    // Gives the place back at once, even if the system finishes a write only later.
    void End(bool cut);

    std::shared_ptr<ServerState> state_;
    ConnectionPtr c_;
    FeedState& feed_;
    LazyDeadline stall_;
    ServerState::ViewerPlace place_;
    FrameBroadcast::Subscription subscription_;
    ViewerQueue queue_;
    FramePtr current_;
    std::string pending_, prefix_, suffix_;
    size_t written_ = 0;  // of the current write
    bool writing_ = false;
    // When the system last took bytes for this viewer (or a write began after a pause).
    std::chrono::steady_clock::time_point lastProgress_;
    std::chrono::steady_clock::time_point writeStarted_;
    std::chrono::steady_clock::time_point lastWhole_;  // when the last write was taken whole
    int sendBuffer_ = kViewerSendBufferMax;            // what the system holds for the viewer
    // The stretch of whole writes the link is measured over: its start, bytes, and the
    // frames skipped before it.
    std::chrono::steady_clock::time_point stretchStart_;
    uint64_t stretchBytes_ = 0;
    uint64_t stretchDropped_ = 0, droppedAtWrite_ = 0;
    // The viewer ended its side (some clients do after their request) while frames come.
    bool peerDone_ = false;
    bool probe_ = false;  // it did so just now: the picture goes again shortly
    std::vector<char> buffer_ = std::vector<char>(512);
};
