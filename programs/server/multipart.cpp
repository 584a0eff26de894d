#include "programs/server/multipart.h"

#include <algorithm>
#include <utility>

#include "common/ascii_case.h"
#include "programs/server/http_request.h"

std::string MultipartBoundary(const std::string& contentType) {
    std::string lower = AsciiLower(contentType);
    if (lower.compare(0, 10, "multipart/") != 0) return "";
    size_t at = 0;
    while ((at = lower.find("boundary", at)) != std::string::npos) {
        size_t i = at + 8;
        bool paramStart = at > 0 && (lower[at - 1] == ';' || lower[at - 1] == ' ' || lower[at - 1] == '\t');
        while (i < lower.size() && lower[i] == ' ') ++i;
        if (!paramStart || i >= lower.size() || lower[i] != '=') {
            at += 8;
            continue;
        }
        ++i;
        while (i < lower.size() && lower[i] == ' ') ++i;
        std::string value;
        if (i < contentType.size() && contentType[i] == '"') {
            size_t close = contentType.find('"', i + 1);
            if (close == std::string::npos) return "";
            value = contentType.substr(i + 1, close - i - 1);
        } else {
            size_t end = contentType.find_first_of("; \t", i);
            value = contentType.substr(i, end == std::string::npos ? std::string::npos : end - i);
        }
        if (value.size() > 200) return "";
        return value;
    }
    return "";
}

MultipartReader::MultipartReader(const std::string& boundary, uint64_t maxPartBytes,
                                 std::function<void(std::string)> onPart, std::function<void(uint64_t)> onRefused)
    : boundary_("--" + boundary), maxPart_(maxPartBytes), onPart_(std::move(onPart)), onRefused_(std::move(onRefused)) {
}

bool MultipartReader::Feed(const char* data, size_t size) {
    size_t i = 0;
    while (i < size) {
        switch (state_) {
        case State::End: return true;  // an epilogue is ignored
        case State::Error: return false;
        case State::Lines:
        case State::Headers: {
            char c = data[i++];
            if (c != '\n') {
                line_ += c;
                if (line_.size() > kMaxLine) state_ = State::Error;
                continue;
            }
            if (!line_.empty() && line_.back() == '\r') line_.pop_back();
            std::string line;
            line.swap(line_);
            linesBytes_ += line.size() + 2;
            bool ok = state_ == State::Lines ? TakeBoundaryLine(line) : TakeHeaderLine(line);
            if (!ok) state_ = State::Error;
            break;
        }
        case State::CountedBody: {
            size_t n = static_cast<size_t>(std::min<uint64_t>(remaining_, size - i));
            body_.append(data + i, n);
            i += n;
            remaining_ -= n;
            if (remaining_ == 0) {
                state_ = State::Lines;
                linesBytes_ = 0;
                onPart_(std::move(body_));
                body_.clear();
            }
            break;
        }
        case State::SkipBody: {
            size_t n = static_cast<size_t>(std::min<uint64_t>(remaining_, size - i));
            i += n;
            remaining_ -= n;
            if (remaining_ == 0) {
                state_ = State::Lines;
                linesBytes_ = 0;
                onRefused_(length_);
            }
            break;
        }
        case State::OpenBody: i += FeedOpenBody(data + i, size - i); break;
        }
    }
    return state_ != State::Error;
}

bool MultipartReader::TakeBoundaryLine(const std::string& line) {
    std::string trimmed = line;
    while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\t')) trimmed.pop_back();
    if (trimmed == boundary_) {
        state_ = State::Headers;
        linesBytes_ = 0;
        haveLength_ = false;
        return true;
    }
    if (trimmed == boundary_ + "--") {
        state_ = State::End;
        return true;
    }
    // Text before the first boundary and blank lines between parts are allowed, within bounds.
    return linesBytes_ <= kMaxPreamble;
}

bool MultipartReader::TakeHeaderLine(const std::string& line) {
    if (linesBytes_ > kMaxPartHeaders) return false;
    if (!line.empty()) {
        size_t colon = line.find(':');
        if (colon == std::string::npos) return false;
        if (AsciiLower(line.substr(0, colon)) == "content-length") {
            unsigned long long n;
            if (!ParseContentLength(line.substr(colon + 1), n)) return false;
            // Which of two lengths would be the part's? Neither, as on a request.
            if (haveLength_ && n != length_) return false;
            haveLength_ = true;
            length_ = n;
        }
        return true;
    }
    if (haveLength_) {
        remaining_ = length_;
        if (length_ > maxPart_) {
            state_ = State::SkipBody;
        } else {
            state_ = State::CountedBody;
            body_.clear();
            body_.reserve(static_cast<size_t>(length_));
        }
        if (remaining_ == 0) {
            // An empty part is not a frame; take it as refused.
            state_ = State::Lines;
            linesBytes_ = 0;
            onRefused_(0);
        }
    } else {
        state_ = State::OpenBody;
        body_.clear();
        skipped_ = 0;
    }
    return true;
}

// A part without a length ends at CR LF and the boundary. Only what belongs to
// the part is taken: the rest of the bytes stays where it is for the line
// reader (copying it on for every part would cost time in the square of the
// number of small parts in a read).
size_t MultipartReader::FeedOpenBody(const char* data, size_t size) {
    const std::string delimiter = "\r\n" + boundary_;
    // A delimiter that began in the bytes held already and ends in these.
    size_t held = std::min(body_.size(), delimiter.size() - 1);
    std::string seam = body_.substr(body_.size() - held);
    seam.append(data, std::min(size, delimiter.size() - 1));
    size_t at = seam.find(delimiter);
    if (at != std::string::npos && at < held) {
        size_t partEnd = body_.size() - held + at;
        size_t boundaryAt = partEnd + 2;  // in what is held followed by data
        size_t taken = 0;
        if (boundaryAt < body_.size()) line_ = body_.substr(boundaryAt);  // the start of the boundary line
        else taken = boundaryAt - body_.size();
        body_.resize(partEnd);
        EndOpenPart();
        return taken;
    }
    const char* found = std::search(data, data + size, delimiter.begin(), delimiter.end());
    if (found != data + size) {
        size_t partBytes = static_cast<size_t>(found - data);
        body_.append(data, partBytes);
        EndOpenPart();
        return partBytes + 2;
    }
    body_.append(data, size);
    uint64_t total = skipped_ + body_.size();
    if (total > maxPart_ + delimiter.size()) {
        // Too large: keep only what could still be the start of the delimiter.
        size_t keep = delimiter.size() - 1;
        skipped_ += body_.size() - keep;
        body_.erase(0, body_.size() - keep);
    }
    return size;
}

void MultipartReader::EndOpenPart() {
    uint64_t partSize = skipped_ + body_.size();
    std::string part;
    part.swap(body_);
    state_ = State::Lines;
    linesBytes_ = 0;
    if (skipped_ > 0 || partSize > maxPart_) onRefused_(partSize);
    else if (partSize == 0) onRefused_(0);
    else onPart_(std::move(part));
    skipped_ = 0;
}

bool ChunkedDecoder::Feed(const char* data, size_t size, std::string& out) {
    size_t i = 0;
    while (i < size && state_ != State::Done && state_ != State::Error) {
        if (state_ == State::Data) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(remaining_, size - i));
            out.append(data + i, n);
            i += n;
            remaining_ -= n;
            if (remaining_ == 0) state_ = State::DataEnd;
            continue;
        }
        char c = data[i++];
        if (c != '\n') {
            line_ += c;
            if (line_.size() > 1024) state_ = State::Error;
            continue;
        }
        if (!line_.empty() && line_.back() == '\r') line_.pop_back();
        std::string line;
        line.swap(line_);
        if (state_ == State::DataEnd) {
            state_ = line.empty() ? State::Size : State::Error;
        } else if (state_ == State::Trailer) {
            trailerBytes_ += line.size() + 2;
            if (line.empty()) state_ = State::Done;
            else if (++trailerLines_ > kMaxTrailerLines || trailerBytes_ > kMaxTrailerBytes) state_ = State::Error;
        } else {  // Size: hexadecimal, optionally followed by extensions
            size_t end = line.find(';');
            std::string hex = line.substr(0, end);
            while (!hex.empty() && (hex.back() == ' ' || hex.back() == '\t')) hex.pop_back();
            if (hex.empty() || hex.size() > 15) {
                state_ = State::Error;
                break;
            }
            uint64_t n = 0;
            for (char h : hex) {
                int d = h >= '0' && h <= '9'   ? h - '0'
                        : h >= 'a' && h <= 'f' ? h - 'a' + 10
                        : h >= 'A' && h <= 'F' ? h - 'A' + 10
                                               : -1;
                if (d < 0) {
                    state_ = State::Error;
                    break;
                }
                n = n * 16 + static_cast<uint64_t>(d);
            }
            if (state_ == State::Error) break;
            remaining_ = n;
            state_ = n == 0 ? State::Trailer : State::Data;
        }
    }
    return state_ != State::Error;
}
