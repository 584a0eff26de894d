#include "backend/server_config.h"

#include <climits>
#include <cwctype>

namespace {

const wchar_t kFixedBlock[] =
    L"MaxHTTPConnections 2000\n"
    L"MaxClients 1\n"
    L"MaxBandwidth 100000\n"
    L"CustomLog -\n"
    L"NoDaemon\n"
    L"<Feed feed.ffm>\n"
    L"File mem:feed.ffm\n"
    L"FileMaxSize 200K\n"
    L"ACL allow 127.0.0.1\n"
    L"</Feed>\n"
    L"<Stream demo.swf>\n"
    L"Format swf\n"
    L"Feed feed.ffm\n"
    L"NoAudio\n";

std::wstring Line(const wchar_t* name, int32_t value) {
    return std::wstring(name) + std::to_wstring(value) + L"\n";
}

// Compares the first n characters, folding only A-Z to lower case.
bool StartsWithFolded(const std::wstring& line, const wchar_t* prefix, size_t n) {
    if (line.size() < n) return false;
    for (size_t i = 0; i < n; ++i) {
        wchar_t a = line[i], b = prefix[i];
        if (a >= L'A' && a <= L'Z') a = a - L'A' + L'a';
        if (b >= L'A' && b <= L'Z') b = b - L'A' + L'a';
        if (a != b) return false;
    }
    return true;
}

bool IsScanSpace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\v' || c == L'\f' || c == L'\r';
}

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
    text += kFixedBlock;
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
        if (StartsWithFolded(line, d.prefix, d.length)) ScanInt(line.c_str() + d.length, *d.field);
    }
    if (StartsWithFolded(line, L"VideoSize ", 10)) {
        const wchar_t* rest = line.c_str() + 10;
        size_t used = ScanInt(rest, s.width);
        if (used > 0 && rest[used] == L'x') ScanInt(rest + used + 1, s.height);
    }
}

void ReadServerConfig(const std::wstring& text, StreamSettings& s) {
    const size_t kPiece = 1023;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lineEnd = text.find(L'\n', pos);
        lineEnd = lineEnd == std::wstring::npos ? text.size() : lineEnd + 1;
        size_t n = lineEnd - pos < kPiece ? lineEnd - pos : kPiece;
        ReadServerConfigLine(text.substr(pos, n), s);
        pos += n;
    }
}
