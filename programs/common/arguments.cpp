#include "programs/common/arguments.h"

#include "common/ascii_case.h"

namespace {

// Whether our own path stands at this place of the command line (an unknown, empty one never does).
bool OwnPathAt(const std::wstring& commandLine, size_t at, const std::wstring& modulePath) {
    return !modulePath.empty() && at <= commandLine.size() &&
           StartsWithNoCase(std::wstring_view(commandLine).substr(at), modulePath);
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
    if (OwnPathAt(commandLine, start, modulePath) &&
        (start + modulePath.size() == commandLine.size() || IsBlank(commandLine[start + modulePath.size()])))
        rest = start + modulePath.size();
    else if (commandLine[start] == L'"' && OwnPathAt(commandLine, start + 1, modulePath) &&
             start + 1 + modulePath.size() < commandLine.size() && commandLine[start + 1 + modulePath.size()] == L'"')
        rest = start + modulePath.size() + 2;
    else rest = start + SkipFirstToken(commandLine.substr(start));
    return SplitCommandLine(commandLine.substr(rest));
}
