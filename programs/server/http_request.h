// Reading an HTTP/1.x request head from a byte stream, within fixed limits.
#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// Header names are kept as AsciiLower gives them; callers compare with it too.
#include "common/ascii_case.h"

struct HttpRequest {
    std::string method;
    std::string target;   // as sent, e.g. "/demo.swf?x=1"
    std::string path;     // target without the query
    std::string version;  // "HTTP/1.1"
    std::vector<std::pair<std::string, std::string>> headers;

    // The first header of that name (without regard to case), or nullptr.
    const std::string* Header(const std::string& name) const;
};

class HttpRequestParser {
public:
    static constexpr size_t kMaxRequestLine = 4096;
    static constexpr size_t kMaxHeaderBytes = 16384;
    static constexpr size_t kMaxHeaderCount = 64;

    enum class State { Incomplete, Done, BadRequest, TooLarge };

    // Takes bytes until the head is complete; returns how many were used, so
    // the rest belongs to the body. Once Done or an error, takes nothing more.
    size_t Feed(const char* data, size_t size);
    State state() const { return state_; }
    // The status to answer with for an error state: 400 or 431.
    int ErrorStatus() const { return state_ == State::TooLarge ? 431 : 400; }
    const HttpRequest& request() const { return request_; }

private:
    bool TakeLine(const std::string& line);
    bool ParseRequestLine(const std::string& line);

    State state_ = State::Incomplete;
    std::string line_;
    bool sawRequestLine_ = false;
    size_t headerBytes_ = 0;
    HttpRequest request_;
};

// Parses a whole non-negative decimal number that fits in 63 bits.
bool ParseContentLength(const std::string& text, unsigned long long& out);
// The body's length from every Content-Length header of the request: false when
// one is malformed or they disagree (which length would be the right one?);
// present tells whether there was one.
bool RequestContentLength(const HttpRequest& request, bool& present, unsigned long long& length);
// Whether the client waits for an interim "100 Continue" before it sends the body
// (an HTTP/1.1 request with "Expect: 100-continue"; HTTP/1.0 knows no interim answers).
bool ExpectsContinue(const HttpRequest& request);
