#include "programs/encoder/http_answer.h"

#include <cstdlib>

#include "common/ascii_case.h"

namespace {

// A status line of ours is short; a longer one would end up whole in a message.
constexpr size_t kMaxStatusLine = 1024;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ParseStatusLine(std::string_view line, StatusLine& out) {
    // "HTTP/1.1 200" is the shortest: the version, a space and three digits.
    if (line.size() < 12 || line.size() > kMaxStatusLine) return false;
    if (line.compare(0, 5, "HTTP/") != 0 || !IsDigit(line[5]) || line[6] != '.' || !IsDigit(line[7]) || line[8] != ' ')
        return false;
    if (line[9] < '1' || line[9] > '5' || !IsDigit(line[10]) || !IsDigit(line[11])) return false;
    if (line.size() > 12 && line[12] != ' ') return false;
    for (char c : line.substr(12))
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) return false;
    out.code = (line[9] - '0') * 100 + (line[10] - '0') * 10 + (line[11] - '0');
    out.status = std::string(line.substr(9));
    return true;
}

bool HttpAnswer::CompleteByLength() const {
    size_t headEnd = text_.find("\r\n\r\n");
    if (headEnd == std::string::npos) return false;
    std::string head = AsciiLower(text_.substr(0, headEnd));
    size_t at = head.find("\ncontent-length:");
    if (at == std::string::npos) return false;
    unsigned long long length = std::strtoull(head.c_str() + at + 16, nullptr, 10);
    return text_.size() - headEnd - 4 >= length;
}

bool HttpAnswer::TakeInterimAnswers(bool& continued) {
    for (;;) {
        size_t lineEnd = text_.find("\r\n");
        if (lineEnd == std::string::npos) return false;
        StatusLine status;
        if (!ParseStatusLine(std::string_view(text_).substr(0, lineEnd), status) || status.code > 199) return true;
        size_t headEnd = text_.find("\r\n\r\n");
        if (headEnd == std::string::npos) return false;
        if (status.code == 100) continued = true;
        text_.erase(0, headEnd + 4);
    }
}

bool HttpAnswer::Status(StatusLine& status) const {
    return ParseStatusLine(std::string_view(text_).substr(0, text_.find("\r\n")), status);
}

bool HttpAnswer::Body(std::string& body) const {
    size_t headEnd = text_.find("\r\n\r\n");
    if (headEnd == std::string::npos) return false;
    body = text_.substr(headEnd + 4);
    return true;
}
