// Reading the feed's body: a multipart stream of JPEG frames, optionally
// wrapped in HTTP chunked transfer coding. Both parsers are incremental and
// keep at most one part (bounded by the feed's size limit) in memory.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// The boundary parameter of a multipart Content-Type, or "" when there is none.
std::string MultipartBoundary(const std::string& contentType);

class MultipartReader {
public:
    static constexpr size_t kMaxLine = 1024;
    static constexpr size_t kMaxPartHeaders = 8192;
    static constexpr size_t kMaxPreamble = 65536;

    MultipartReader(const std::string& boundary, uint64_t maxPartBytes, std::function<void(std::string)> onPart,
                    std::function<void(uint64_t)> onRefused);

    // Returns false when the stream is malformed; the reader then takes nothing more.
    bool Feed(const char* data, size_t size);
    // True once the closing boundary has been seen.
    bool finished() const { return state_ == State::End; }

private:
    enum class State { Lines, Headers, CountedBody, SkipBody, OpenBody, End, Error };

    bool TakeBoundaryLine(const std::string& line);
    bool TakeHeaderLine(const std::string& line);
    size_t FeedOpenBody(const char* data, size_t size);
    void EndOpenPart();

    std::string boundary_;  // with the leading "--"
    uint64_t maxPart_;
    std::function<void(std::string)> onPart_;
    std::function<void(uint64_t)> onRefused_;
    State state_ = State::Lines;
    std::string line_;
    size_t linesBytes_ = 0;
    bool haveLength_ = false;
    uint64_t length_ = 0, remaining_ = 0;
    std::string body_;
    uint64_t skipped_ = 0;  // bytes thrown away from an oversized open part
};

class ChunkedDecoder {
public:
    // Trailer fields after the last chunk: a few at most (a feed has no use for them).
    static constexpr int kMaxTrailerLines = 16;
    static constexpr size_t kMaxTrailerBytes = 4096;

    // Decodes into out; returns false on malformed coding. done() after the last chunk.
    bool Feed(const char* data, size_t size, std::string& out);
    bool done() const { return state_ == State::Done; }

private:
    enum class State { Size, Data, DataEnd, Trailer, Done, Error };
    State state_ = State::Size;
    std::string line_;
    uint64_t remaining_ = 0;
    int trailerLines_ = 0;
    size_t trailerBytes_ = 0;
};
