#include "programs/common/run_log.h"

#include <cstdio>
#include <mutex>

#include "common/utf8.h"

namespace {

struct RunLog {
    std::mutex lock;
    std::FILE* file = nullptr;
    size_t written = 0, max = 0;
    bool full = false;
};

RunLog& Log() {
    static RunLog log;  // lives to the end of the process: messages come until then
    return log;
}

}  // namespace

void OpenRunLog(const std::wstring& path, size_t maxBytes) {
    RunLog& log = Log();
    std::lock_guard<std::mutex> guard(log.lock);
    if (log.file) std::fclose(log.file);
#ifdef _WIN32
    log.file = _wfopen(path.c_str(), L"wb");
#else
    log.file = std::fopen(ToUtf8(path).c_str(), "wb");
#endif
    log.written = 0;
    log.max = maxBytes;
    log.full = false;
}

void AddToRunLog(const std::string& text) {
    static const char kFull[] = "(the log is full: later messages went to the console only)\n";
    RunLog& log = Log();
    std::lock_guard<std::mutex> guard(log.lock);
    if (!log.file || log.full) return;
    // Room is kept for the line that says the log is full.
    if (log.written + text.size() + sizeof kFull - 1 > log.max) {
        std::fputs(kFull, log.file);
        log.full = true;
    } else {
        std::fwrite(text.data(), 1, text.size(), log.file);
        log.written += text.size();
    }
    // Flushed at once: a program that ends abruptly (a hung driver) keeps what it said.
    std::fflush(log.file);
}

void SayLine(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
    AddToRunLog(line + "\n");
}
