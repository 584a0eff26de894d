// What a server answers over HTTP, read as it comes in: its status line, its interim
// answers, its head and body.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// More than an answer of ours ever is: a longer one is not read further.
constexpr size_t kMaxAnswer = 65536;

// A status line, "HTTP/1.1 409 Conflict": its code, and the status as messages show it
// (what follows the version: "409 Conflict", or "409" when there is no reason).
struct StatusLine {
    int code = 0;
    std::string status;
};
// `line` without its line end. False for anything but a status line of HTTP/d.d with a
// code from 100 to 599, and for one so long that it cannot be ours.
bool ParseStatusLine(std::string_view line, StatusLine& out);

class HttpAnswer {
public:
    void Append(const char* data, size_t size) { text_.append(data, size); }
    void Clear() { text_.clear(); }
    bool Empty() const { return text_.empty(); }
    bool TooLong() const { return text_.size() > kMaxAnswer; }

    // Whether the head is complete and the body as long as its Content-Length says, so
    // that no end of the connection is needed to end the answer.
    bool CompleteByLength() const;
    // Takes the interim (1xx) answers off the front, setting `continued` on a "100
    // Continue". True once a final status line (or something that is not HTTP) is there.
    bool TakeInterimAnswers(bool& continued);
    // The status line at the front; false when it is not one.
    bool Status(StatusLine& status) const;
    // What follows the head; false while the head is not complete.
    bool Body(std::string& body) const;

private:
    std::string text_;
};
