// Request heads and feed bodies from the network, split at an arbitrary point
// as reads would split them: no crash, no unbounded growth, the same outcome.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "programs/server/http_request.h"
#include "programs/server/multipart.h"

namespace {

HttpRequestParser::State Parse(const std::string& text, size_t split, size_t& used) {
    HttpRequestParser parser;
    used = parser.Feed(text.data(), std::min(split, text.size()));
    if (parser.state() == HttpRequestParser::State::Incomplete && split < text.size())
        used += parser.Feed(text.data() + split, text.size() - split);
    if (parser.state() == HttpRequestParser::State::Done && parser.request().path.empty()) std::abort();
    return parser.state();
}

void ReadBody(const std::string& body, size_t split, bool chunked) {
    uint64_t taken = 0;
    MultipartReader reader(
        "frame", 4096,
        [&](std::string part) {
            if (part.size() > 4096) std::abort();
            taken += part.size();
        },
        [](uint64_t) {});
    ChunkedDecoder decoder;
    for (size_t at = 0, n = std::min(split, body.size()); at < body.size(); at += n, n = body.size() - at) {
        if (chunked) {
            std::string plain;
            if (!decoder.Feed(body.data() + at, n, plain) || !reader.Feed(plain.data(), plain.size())) return;
        } else if (!reader.Feed(body.data() + at, n)) {
            return;
        }
    }
    if (taken > body.size()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    size_t split = data[0];
    bool chunked = data[1] & 1;
    std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    size_t usedWhole, usedSplit;
    HttpRequestParser::State whole = Parse(text, text.size(), usedWhole);
    HttpRequestParser::State parts = Parse(text, split, usedSplit);
    if (whole != parts || usedWhole != usedSplit) std::abort();
    ReadBody(text.substr(usedWhole), split, chunked);
    return 0;
}
