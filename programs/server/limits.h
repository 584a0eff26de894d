// The server's admission rules and the measurements they rest on.
#pragma once
#include <array>
#include <cstdint>

#include "programs/server/config.h"

enum class Admission { Ok, TooManyClients, TooMuchBandwidth };

// MaxClients caps the viewers at once; MaxBandwidth (kbit/s) caps the sum of the
// rates being served, this viewer's stream included.
Admission AdmitViewer(const ServerConfig& config, int viewers, int64_t kbpsInUse, int64_t streamKbps);
// MaxHTTPConnections caps every open connection, this one included.
bool AdmitConnection(const ServerConfig& config, int openConnections);

// The largest frame a feed takes: FileMaxSize, but never more than a frame
// could sensibly be, so that a large setting cannot exhaust a 32-bit process.
constexpr uint64_t kMaxFrameBytes = 64ull << 20;
uint64_t FeedFrameLimit(const FeedConfig& feed);

// Bytes per second over the last few seconds, from times given by the caller.
// Counts in a fixed ring of time slices, so that its size does not depend on
// how many frames come (a feed may send millions of tiny ones).
class RateMeter {
public:
    static constexpr int kSlices = 50;

    explicit RateMeter(int64_t windowMs = 5000);
    void Add(uint64_t bytes, int64_t nowMs);
    // kbit/s, rounded up so that any traffic counts.
    int64_t Kbps(int64_t nowMs);
    // The counts held: always kSlices, however many frames come.
    size_t entries() const { return slices_.size(); }

private:
    void Advance(int64_t nowMs);
    int64_t windowMs_, sliceMs_;
    std::array<uint64_t, kSlices> slices_{};
    int64_t newest_ = 0;  // number of the newest slice (time / sliceMs_)
    uint64_t total_ = 0;
};

// The send buffer of a viewer's socket: what may wait unread for the viewer on
// its way. Fitted to a viewer that is behind, from the bytes its link took in a
// stretch of time (its writes one after the other): about a quarter second of
// them, so that a slow link holds little more than the picture it is taking,
// within bounds (a fast link needs some to keep the data flowing). Returns
// current unless the fitted size is more than one and a half times current or
// less than two thirds of it (each change is a system call).
constexpr int kViewerSendBufferMin = 4 * 1024;
constexpr int kViewerSendBufferMax = 64 * 1024;
int FittedSendBuffer(int current, uint64_t bytes, int64_t tookUs);
