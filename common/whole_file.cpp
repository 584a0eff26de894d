#include "common/whole_file.h"

#include <cstdio>

#include "common/utf8.h"

ReadResult ReadWholeFile(const std::wstring& path, size_t maxBytes, std::string& bytes) {
#ifdef _WIN32
    // The panel keeps some files open for writing; msvcrt opens without share restrictions.
    std::FILE* f = _wfopen(path.c_str(), L"rb");
#else
    std::FILE* f = std::fopen(ToUtf8(path).c_str(), "rb");
#endif
    if (!f) return ReadResult::Unreadable;
    bytes.clear();
    ReadResult result = ReadResult::Ok;
    char buffer[16384];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        if (n > maxBytes - bytes.size()) {
            result = ReadResult::TooLarge;
            break;
        }
        bytes.append(buffer, n);
    }
    if (result == ReadResult::Ok && std::ferror(f)) result = ReadResult::Unreadable;
    std::fclose(f);
    return result;
}
