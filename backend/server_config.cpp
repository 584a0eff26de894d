#include "backend/server_config.h"

#include <climits>
#include <cwctype>

#include "backend/stream_names.h"
#include "backend/text_mode.h"
#include "common/ascii_case.h"
#include "common/setting_limits.h"

namespace {

// MaxBandwidth is the top of the bit rates the panel accepts (the one viewer's stream
// must fit under it); the block around it is fixed.
const wchar_t kFixedBlockHead[] =
    L"MaxHTTPConnections 2000\n"
    L"MaxClients 1\n";
std::wstring FixedBlock() {
    const std::wstring feed = kFeedName;
    std::wstring block = L"CustomLog -\nNoDaemon\n";
    block += L"<Feed " + feed + L">\n";
    block += L"File mem:" + feed + L"\n";
    block += L"FileMaxSize 200K\nACL allow 127.0.0.1\n</Feed>\n";
    block += L"<Stream " + std::wstring(kStreamName) + L">\n";
    block += L"Format swf\n";
    block += L"Feed " + feed + L"\n";
    block += L"NoAudio\n";
    return block;
}

std::wstring Line(const wchar_t* name, int32_t value) { return std::wstring(name) + std::to_wstring(value) + L"\n"; }

bool IsScanSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r'; }

}  // namespace

int32_t BitRateTolerance(int32_t bitRate, int32_t frameRate) {
    int64_t perFrame = frameRate == 0 ? bitRate : static_cast<int64_t>(bitRate) / frameRate;
    int64_t tolerance = perFrame + 1;
    if (tolerance > INT32_MAX) return INT32_MAX;
    if (tolerance < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(tolerance);
}

std::wstring FormatServerConfig(const StreamSettings& s) {
    std::wstring text = Line(L"Port ", s.port) + L"BindAddress 0.0.0.0\n";
    text += kFixedBlockHead;
    text += Line(L"MaxBandwidth ", kBitRateRange.max);
    text += FixedBlock();
    text += Line(L"VideoFrameRate ", s.frameRate);
    if (s.width != 0 && s.height != 0)
        text += L"VideoSize " + std::to_wstring(s.width) + L"x" + std::to_wstring(s.height) + L"\n";
    if (s.bitRate > 0) {
        text += Line(L"VideoBitRate ", s.bitRate);
        text += Line(L"VideoBitRateTolerance ", BitRateTolerance(s.bitRate, s.frameRate));
    }
    text += L"</Stream>\n";
    return text;
}

size_t ScanInt(const wchar_t* text, int32_t& value) {
    const wchar_t* p = text;
    while (IsScanSpace(*p)) ++p;
    bool negative = false;
    if (*p == L'+' || *p == L'-') negative = (*p++ == L'-');
    if (*p < L'0' || *p > L'9') return 0;
    int64_t magnitude = 0;
    const int64_t limit = static_cast<int64_t>(INT32_MAX) + 1;
    for (; *p >= L'0' && *p <= L'9'; ++p) {
        if (magnitude < limit) magnitude = magnitude * 10 + (*p - L'0');
    }
    if (magnitude > limit) magnitude = limit;
    int64_t v = negative ? -magnitude : magnitude;
    if (v > INT32_MAX) v = INT32_MAX;
    value = static_cast<int32_t>(v);
    return static_cast<size_t>(p - text);
}

void ReadServerConfigLine(const std::wstring& line, StreamSettings& s) {
    struct Directive {
        const wchar_t* prefix;
        size_t length;
        int32_t* field;
    };
    const Directive singles[] = {
        {L"Port ", 5, &s.port},
        {L"VideoFrameRate ", 15, &s.frameRate},
        {L"VideoBitRate ", 13, &s.bitRate},
    };
    for (const Directive& d : singles) {
        if (StartsWithNoCase(line, std::wstring_view(d.prefix, d.length))) ScanInt(line.c_str() + d.length, *d.field);
    }
    if (StartsWithNoCase(line, L"VideoSize ")) {
        const wchar_t* rest = line.c_str() + 10;
        size_t used = ScanInt(rest, s.width);
        if (used > 0 && rest[used] == L'x') ScanInt(rest + used + 1, s.height);
    }
}

namespace {

// Cuts text, fed in chunks of any size, into the pieces a line reader with a buffer of
// 1024 characters delivers: each ends after a LF or at 1023 characters, the last one
// at the end of the text. Only the piece being gathered is held.
class ConfigLineReader {
public:
    explicit ConfigLineReader(StreamSettings& s) : m_settings(s) {}
    void Feed(const std::wstring& text) {
        for (wchar_t c : text) {
            m_piece += c;
            if (c == L'\n' || m_piece.size() == kPiece) Deliver();
        }
    }
    void Finish() {
        if (!m_piece.empty()) Deliver();
    }

private:
    static constexpr size_t kPiece = 1023;
    void Deliver() {
        ReadServerConfigLine(m_piece, m_settings);
        m_piece.clear();
    }
    StreamSettings& m_settings;
    std::wstring m_piece;
};

}  // namespace

void ReadServerConfig(const std::wstring& text, StreamSettings& s) {
    ConfigLineReader lines(s);
    lines.Feed(text);
    lines.Finish();
}

void ReadServerConfigFile(const ReadBytes& read, StreamSettings& s) {
    ConfigLineReader lines(s);
    TextModeDecoder decoder;
    char bytes[4096];
    std::wstring text;
    size_t n;
    // Nothing after an end-of-file byte counts, so the rest is not even read.
    while (!decoder.Ended() && (n = read(bytes, sizeof bytes)) > 0) {
        text.clear();
        decoder.Decode(bytes, n, text);
        lines.Feed(text);
    }
    text.clear();
    decoder.Finish(text);
    lines.Feed(text);
    lines.Finish();
}
