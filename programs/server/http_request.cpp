#include "programs/server/http_request.h"

#include <algorithm>

namespace {

bool IsTokenChar(char c) {
    if (c >= 'a' && c <= 'z') return true;
    if (c >= 'A' && c <= 'Z') return true;
    if (c >= '0' && c <= '9') return true;
    switch (c) {
    case '!':
    case '#':
    case '$':
    case '%':
    case '&':
    case '\'':
    case '*':
    case '+':
    case '-':
    case '.':
    case '^':
    case '_':
    case '`':
    case '|':
    case '~': return true;
    default: return false;
    }
}

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

}  // namespace

bool ParseContentLength(const std::string& text, unsigned long long& out) {
    std::string t = Trim(text);
    if (t.empty() || t.size() > 18) return false;
    unsigned long long v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<unsigned>(c - '0');
    }
    out = v;
    return true;
}

bool RequestContentLength(const HttpRequest& request, bool& present, unsigned long long& length) {
    present = false;
    for (const auto& h : request.headers) {
        if (h.first != "content-length") continue;
        unsigned long long value = 0;
        if (!ParseContentLength(h.second, value) || (present && value != length)) return false;
        present = true;
        length = value;
    }
    return true;
}

bool ExpectsContinue(const HttpRequest& request) {
    const std::string* expect = request.Header("expect");
    if (!expect || request.version != "HTTP/1.1") return false;
    // A list of expectations; this one has no parameters.
    std::string list = AsciiLower(*expect);
    for (size_t at = 0; at <= list.size();) {
        size_t comma = std::min(list.find(',', at), list.size());
        if (Trim(list.substr(at, comma - at)) == "100-continue") return true;
        at = comma + 1;
    }
    return false;
}

const std::string* HttpRequest::Header(const std::string& name) const {
    std::string key = AsciiLower(name);
    for (const auto& h : headers)
        if (h.first == key) return &h.second;
    return nullptr;
}

size_t HttpRequestParser::Feed(const char* data, size_t size) {
    size_t used = 0;
    while (state_ == State::Incomplete && used < size) {
        char c = data[used++];
        if (c != '\n') {
            line_ += c;
            size_t limit = sawRequestLine_ ? kMaxHeaderBytes - headerBytes_ : kMaxRequestLine;
            if (line_.size() > limit) state_ = sawRequestLine_ ? State::TooLarge : State::BadRequest;
            continue;
        }
        if (!line_.empty() && line_.back() == '\r') line_.pop_back();
        std::string line;
        line.swap(line_);
        if (!TakeLine(line) && state_ == State::Incomplete) state_ = State::BadRequest;
    }
    return used;
}

bool HttpRequestParser::TakeLine(const std::string& line) {
    if (!sawRequestLine_) {
        // Robust servers ignore empty lines before the request line.
        if (line.empty()) return true;
        sawRequestLine_ = true;
        return ParseRequestLine(line);
    }
    if (line.empty()) {
        state_ = State::Done;
        return true;
    }
    headerBytes_ += line.size() + 2;
    if (headerBytes_ > kMaxHeaderBytes || request_.headers.size() >= kMaxHeaderCount) {
        state_ = State::TooLarge;
        return false;
    }
    // Folded continuation lines are obsolete and refused.
    if (line[0] == ' ' || line[0] == '\t') return false;
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return false;
    for (size_t i = 0; i < colon; ++i)
        if (!IsTokenChar(line[i])) return false;
    std::string value = Trim(line.substr(colon + 1));
    for (char c : value)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) return false;
    request_.headers.emplace_back(AsciiLower(line.substr(0, colon)), value);
    return true;
}

bool HttpRequestParser::ParseRequestLine(const std::string& line) {
    size_t s1 = line.find(' ');
    if (s1 == std::string::npos) return false;
    size_t s2 = line.find(' ', s1 + 1);
    if (s2 == std::string::npos || line.find(' ', s2 + 1) != std::string::npos) return false;
    request_.method = line.substr(0, s1);
    request_.target = line.substr(s1 + 1, s2 - s1 - 1);
    request_.version = line.substr(s2 + 1);
    if (request_.method.empty() || request_.target.empty()) return false;
    for (char c : request_.method)
        if (!IsTokenChar(c)) return false;
    for (char c : request_.target)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7f) return false;
    if (request_.version != "HTTP/1.0" && request_.version != "HTTP/1.1") return false;
    std::string path = request_.target;
    // An absolute form ("http://host/path") is reduced to its path.
    if (path.compare(0, 7, "http://") == 0) {
        size_t slash = path.find('/', 7);
        path = slash == std::string::npos ? "/" : path.substr(slash);
    }
    if (path[0] != '/') return false;
    size_t q = path.find('?');
    request_.path = q == std::string::npos ? path : path.substr(0, q);
    return true;
}
