// The feed body reader (multipart, optionally chunked) against any body, split as reads
// would split it: the same parts whatever the split, and the frames of a well-formed body
// (as the encoder writes it) come out exactly as they went in.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "programs/server/multipart.h"

namespace {

struct Outcome {
    bool ok = true;
    bool finished = false;
    std::vector<std::string> parts;
    std::vector<uint64_t> refused;
    bool operator==(const Outcome& o) const {
        return ok == o.ok && finished == o.finished && parts == o.parts && refused == o.refused;
    }
};

// Reads `body` handed over in pieces of the given sizes (the rest in one piece).
Outcome Read(const std::string& body, const std::string& boundary, uint64_t limit, bool chunked,
             const std::vector<size_t>& pieces) {
    Outcome out;
    MultipartReader reader(
        boundary, limit,
        [&](std::string part) {
            if (part.empty() || part.size() > limit) std::abort();
            out.parts.push_back(std::move(part));
        },
        [&](uint64_t size) { out.refused.push_back(size); });
    ChunkedDecoder decoder;
    size_t at = 0;
    for (size_t i = 0; out.ok && at < body.size(); ++i) {
        size_t n = i < pieces.size() ? std::min(pieces[i], body.size() - at) : body.size() - at;
        if (chunked) {
            std::string plain;
            out.ok = decoder.Feed(body.data() + at, n, plain) && reader.Feed(plain.data(), plain.size());
        } else {
            out.ok = reader.Feed(body.data() + at, n);
        }
        at += n;
    }
    out.finished = reader.finished();
    return out;
}

std::string Hex(size_t n) {
    static const char digits[] = "0123456789abcdef";
    std::string s;
    do s.insert(s.begin(), digits[n % 16]);
    while (n /= 16);
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    bool wellFormed = in.ConsumeBool();
    bool chunked = in.ConsumeBool();
    uint64_t limit = in.ConsumeIntegralInRange<uint64_t>(1, 512);
    std::string boundary = in.ConsumeBool() ? "orvaneframe" : in.ConsumeRandomLengthString(12);
    if (boundary.empty()) boundary = "b";
    std::vector<size_t> pieces(in.ConsumeIntegralInRange<size_t>(0, 16));
    for (size_t& p : pieces) p = in.ConsumeIntegralInRange<size_t>(1, 300);

    if (!wellFormed) {
        // Any body: split or whole, the reader must come to the same outcome.
        std::string body = in.ConsumeRemainingBytesAsString();
        if (!(Read(body, boundary, limit, chunked, pieces) == Read(body, boundary, limit, chunked, {}))) std::abort();
        return 0;
    }

    // A boundary that can stand on a line of its own (trailing blanks are not part of it).
    if (boundary.find_first_of("\r\n") != std::string::npos || boundary.back() == ' ' || boundary.back() == '\t')
        boundary = "b";
    // Frames as the encoder sends them (with a length), or without one (ending at the
    // next boundary, where their content allows), then the closing boundary.
    const std::string delimiter = "\r\n--" + boundary;
    std::string body;
    Outcome expected;
    while (in.remaining_bytes() > 0) {
        bool counted = in.ConsumeBool();
        std::string frame = in.ConsumeRandomLengthString(700);
        if (!counted && (frame + delimiter).find(delimiter) != frame.size()) continue;
        body += "--" + boundary + "\r\nContent-Type: image/jpeg\r\n";
        if (counted) body += "Content-Length: " + std::to_string(frame.size()) + "\r\n";
        body += "\r\n" + frame + "\r\n";
        if (frame.empty() || frame.size() > limit) expected.refused.push_back(frame.size());
        else expected.parts.push_back(frame);
    }
    body += "--" + boundary + "--\r\n";
    expected.finished = true;
    if (chunked) {
        std::string coded;
        for (size_t at = 0, i = 0; at < body.size(); ++i) {
            size_t n = std::min(body.size() - at, i < pieces.size() ? pieces[i] : body.size());
            coded += Hex(n) + "\r\n" + body.substr(at, n) + "\r\n";
            at += n;
        }
        body = coded + "0\r\n\r\n";
    }
    // The reader's pieces differ from the chunks: reads do not follow the coding.
    std::vector<size_t> reads(pieces.rbegin(), pieces.rend());
    if (!(Read(body, boundary, limit, chunked, reads) == expected)) std::abort();
    return 0;
}
