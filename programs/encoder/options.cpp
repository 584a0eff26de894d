#include "programs/encoder/options.h"

#include <cerrno>
#include <cwchar>
#include <cwctype>

namespace {

// The C library's parsers also take leading spaces and a sign; our numbers have neither.
bool AllDigits(const std::wstring& text, bool hex = false) {
    if (text.empty()) return false;
    for (wchar_t c : text) {
        bool digit = c >= L'0' && c <= L'9';
        bool hexLetter = (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
        if (!digit && !(hex && hexLetter)) return false;
    }
    return true;
}

bool ParseInt(const std::wstring& text, long lo, long hi, long& value) {
    if (!AllDigits(text)) return false;
    wchar_t* end = nullptr;
    errno = 0;
    long v = std::wcstol(text.c_str(), &end, 10);
    if (errno || *end || v < lo || v > hi) return false;
    value = v;
    return true;
}

// "15", "7.5" or "30000/1001".
bool ParseRate(const std::wstring& text, double& rate) {
    size_t slash = text.find(L'/');
    wchar_t* end = nullptr;
    if (slash != std::wstring::npos) {
        long num, den;
        if (!ParseInt(text.substr(0, slash), 1, 1000000, num) || !ParseInt(text.substr(slash + 1), 1, 1000000, den))
            return false;
        rate = static_cast<double>(num) / den;
    } else {
        // Decimal only: no sign, exponent or hexadecimal form.
        size_t dot = text.find(L'.');
        std::wstring digits = dot == std::wstring::npos ? text : text.substr(0, dot) + text.substr(dot + 1);
        if (!AllDigits(digits)) return false;
        rate = std::wcstod(text.c_str(), &end);
        if (*end) return false;
    }
    return rate >= 0.1 && rate <= 1000;
}

bool ParseHook(const std::wstring& text, EncoderOptions& out, std::wstring& error) {
    std::vector<std::wstring> words = SplitHookWords(text);
    if (words.empty()) {
        error = L"-vhook: empty hook";
        return false;
    }
    // The module may be named with a path or a library extension, as the old hooks were.
    std::wstring module = words[0];
    size_t slash = module.find_last_of(L"/\\");
    if (slash != std::wstring::npos) module = module.substr(slash + 1);
    size_t dot = module.rfind(L'.');
    if (dot != std::wstring::npos) module = module.substr(0, dot);
    if (module != L"watermark") {
        error = L"-vhook: unknown hook '" + words[0] + L"' (only watermark exists)";
        return false;
    }
    out.watermark = true;
    out.watermarkPath.clear();
    for (size_t i = 1; i < words.size(); ++i) {
        const std::wstring& w = words[i];
        if (i + 1 >= words.size() || (w != L"-f" && w != L"-m" && w != L"-t")) {
            error = L"watermark: unknown or incomplete option '" + w + L"'";
            return false;
        }
        const std::wstring& value = words[++i];
        long n;
        if (w == L"-f") {
            out.watermarkPath = value;
        } else if (w == L"-m") {
            if (!ParseInt(value, 0, 1, n)) {
                error = L"watermark: -m takes 0 or 1, not '" + value + L"'";
                return false;
            }
            out.watermarkMode = static_cast<int>(n);
        } else {
            if (value.size() != 6 || !AllDigits(value, true)) {
                error = L"watermark: -t takes a colour RRGGBB, not '" + value + L"'";
                return false;
            }
            out.watermarkThreshold = static_cast<uint32_t>(std::wcstoul(value.c_str(), nullptr, 16));
        }
    }
    if (out.watermarkPath.empty()) {
        error = L"watermark: no picture given (-f PATH)";
        return false;
    }
    return true;
}

}  // namespace

std::vector<std::wstring> SplitHookWords(const std::wstring& text) {
    std::vector<std::wstring> words;
    std::wstring word;
    bool inWord = false;
    for (size_t i = 0; i < text.size();) {
        if (text[i] == L'\\' && i + 1 < text.size() && text[i + 1] == L' ') {
            ++i;
            while (i < text.size() && text[i] == L' ') word += text[i++];
            inWord = true;
        } else if (text[i] == L' ') {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
            ++i;
        } else {
            word += text[i++];
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

bool ParseFeedUrl(const std::wstring& url, FeedUrl& out) {
    const std::wstring scheme = L"http://";
    if (url.compare(0, scheme.size(), scheme) != 0) return false;
    for (wchar_t c : url)
        if (c <= L' ' || c > L'~') return false;
    size_t hostStart = scheme.size();
    size_t slash = url.find(L'/', hostStart);
    std::wstring authority = url.substr(hostStart,
                                        slash == std::wstring::npos ? std::wstring::npos : slash - hostStart);
    std::wstring path = slash == std::wstring::npos ? L"/" : url.substr(slash);
    // The host is a name or IPv4 address, or an IPv6 address in brackets; a port may follow.
    std::wstring host, portText;
    bool hasPort = false;
    if (!authority.empty() && authority[0] == L'[') {
        size_t close = authority.find(L']');
        if (close == std::wstring::npos) return false;
        host = authority.substr(1, close - 1);
        std::wstring rest = authority.substr(close + 1);
        if (!rest.empty() && rest[0] != L':') return false;
        hasPort = !rest.empty();
        if (hasPort) portText = rest.substr(1);
        if (host.find(L':') == std::wstring::npos ||
            host.find_first_not_of(L"0123456789abcdefABCDEF:.") != std::wstring::npos)
            return false;
    } else {
        size_t colon = authority.find(L':');
        host = authority.substr(0, colon);
        hasPort = colon != std::wstring::npos;
        if (hasPort) portText = authority.substr(colon + 1);
        for (wchar_t c : host)
            if (!std::iswalnum(c) && c != L'-' && c != L'.' && c != L'_') return false;
    }
    long port = 80;
    if (hasPort && !ParseInt(portText, 1, 65535, port)) return false;
    if (host.empty()) return false;
    out.host.assign(host.begin(), host.end());
    out.port = static_cast<uint16_t>(port);
    out.path.assign(path.begin(), path.end());
    return true;
}

bool ParseEncoderOptions(const std::vector<std::wstring>& args, EncoderOptions& out, std::wstring& error) {
    out = EncoderOptions();
    bool haveOutput = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& a = args[i];
        bool takesValue = a == L"-f" || a == L"-r" || a == L"-i" || a == L"-vhook";
        if (takesValue && i + 1 >= args.size()) {
            error = L"option " + a + L" needs a value";
            return false;
        }
        if (a == L"-f") {
            const std::wstring& v = args[++i];
            if (v != L"vfwcap" && v != L"testsrc") {
                error = L"unknown input format '" + v + L"' (vfwcap or testsrc)";
                return false;
            }
            out.format = v;
        } else if (a == L"-r") {
            if (!ParseRate(args[++i], out.frameRate)) {
                error = L"bad frame rate '" + args[i] + L"'";
                return false;
            }
        } else if (a == L"-i") {
            long n;
            if (!ParseInt(args[++i], 0, 9, n)) {
                error = L"bad capture device '" + args[i] + L"' (0 to 9)";
                return false;
            }
            out.device = static_cast<int>(n);
        } else if (a == L"-sameq") {
            out.sameQuality = true;
        } else if (a == L"-vhook") {
            if (!ParseHook(args[++i], out, error)) return false;
        } else if (!a.empty() && a[0] == L'-') {
            error = L"unknown option '" + a + L"'";
            return false;
        } else {
            if (haveOutput) {
                error = L"more than one output '" + a + L"'";
                return false;
            }
            if (!ParseFeedUrl(a, out.output)) {
                error = L"bad output address '" + a + L"' (http://host:port/feed.ffm)";
                return false;
            }
            haveOutput = true;
        }
    }
    if (!haveOutput) {
        error = L"no output address given";
        return false;
    }
    return true;
}
