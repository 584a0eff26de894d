#include "programs/common/arguments.h"

namespace {

wchar_t FoldCase(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool StartsWithNoCase(const std::wstring& text, size_t at, const std::wstring& prefix) {
    if (prefix.empty() || text.size() - at < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (FoldCase(text[at + i]) != FoldCase(prefix[i])) return false;
    return true;
}

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// Skips the program name as the C run-time does: quoted up to the next quote, else up to a blank.
size_t SkipFirstToken(const std::wstring& line) {
    size_t i = 0;
    if (i < line.size() && line[i] == L'"') {
        size_t close = line.find(L'"', 1);
        return close == std::wstring::npos ? line.size() : close + 1;
    }
    while (i < line.size() && !IsBlank(line[i])) ++i;
    return i;
}

}  // namespace

std::vector<std::wstring> SplitCommandLine(const std::wstring& text) {
    std::vector<std::wstring> args;
    size_t i = 0;
    for (;;) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        if (i >= text.size()) break;
        std::wstring arg;
        bool quoted = false;
        while (i < text.size() && (quoted || !IsBlank(text[i]))) {
            if (text[i] == L'\\') {
                size_t n = 0;
                while (i < text.size() && text[i] == L'\\') ++n, ++i;
                if (i < text.size() && text[i] == L'"') {
                    arg.append(n / 2, L'\\');
                    if (n % 2) {
                        arg += L'"';
                        ++i;
                    }
                } else {
                    arg.append(n, L'\\');
                }
            } else if (text[i] == L'"') {
                // A doubled quote inside quotes is a literal quote.
                if (quoted && i + 1 < text.size() && text[i + 1] == L'"') {
                    arg += L'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += text[i++];
            }
        }
        args.push_back(arg);
    }
    return args;
}

std::vector<std::wstring> ProgramArguments(const std::wstring& commandLine, const std::wstring& modulePath) {
    size_t start = 0;
    while (start < commandLine.size() && IsBlank(commandLine[start])) ++start;
    size_t rest;
    if (StartsWithNoCase(commandLine, start, modulePath) &&
        (start + modulePath.size() == commandLine.size() || IsBlank(commandLine[start + modulePath.size()])))
        rest = start + modulePath.size();
    else if (commandLine[start] == L'"' && StartsWithNoCase(commandLine, start + 1, modulePath) &&
             start + 1 + modulePath.size() < commandLine.size() &&
             commandLine[start + 1 + modulePath.size()] == L'"')
        rest = start + modulePath.size() + 2;
    else
        rest = start + SkipFirstToken(commandLine.substr(start));
    return SplitCommandLine(commandLine.substr(rest));
}

std::string ToUtf8(const std::wstring& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
            uint32_t low = static_cast<uint32_t>(text[i + 1]);
            if (low >= 0xDC00 && low < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            }
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring FromUtf8(const std::string& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size();) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        uint32_t c;
        size_t len;
        if (b < 0x80) c = b, len = 1;
        else if ((b & 0xE0) == 0xC0) c = b & 0x1F, len = 2;
        else if ((b & 0xF0) == 0xE0) c = b & 0x0F, len = 3;
        else if ((b & 0xF8) == 0xF0) c = b & 0x07, len = 4;
        else c = 0xFFFD, len = 1;
        if (len > 1) {
            if (i + len > text.size()) { c = 0xFFFD; len = 1; }
            else for (size_t k = 1; k < len; ++k) {
                unsigned char t = static_cast<unsigned char>(text[i + k]);
                if ((t & 0xC0) != 0x80) { c = 0xFFFD; len = 1; break; }
                c = (c << 6) | (t & 0x3F);
            }
        }
        i += len;
        if (sizeof(wchar_t) == 2 && c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
    }
    return out;
}
