// Writes lines to a stream from a thread of its own, so that a stream that
// blocks (a pipe nobody reads; on Windows, a console in selection mode) never
// holds up the server. Lines that do not fit in the queue are dropped and
// counted; the count is written as a line of its own once the stream takes
// lines again.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class LogWriter {
public:
    static constexpr size_t kQueueBytes = 256 * 1024;

    // With closeWhenDone the writer owns the stream and closes it after the
    // last line. Create it after the stop handler is installed (it starts a thread).
    LogWriter(std::FILE* stream, bool closeWhenDone, size_t queueBytes = kQueueBytes);
    // Writes what is queued; a stream that is still blocked after a moment is
    // left to the thread, which finishes (and closes it) if the stream ever
    // takes the lines, or ends with the process.
    ~LogWriter();
    LogWriter(const LogWriter&) = delete;
    LogWriter& operator=(const LogWriter&) = delete;

    // Queues text (whole lines, each with its line feed) without waiting.
    void Write(const std::string& text);
    uint64_t dropped() const;
    // Everything written from now on also goes to the program's run log (run_log.h).
    void CopyToRunLog() { copyToRunLog_ = true; }

    struct State;

private:
    std::shared_ptr<State> state_;
    bool copyToRunLog_ = false;
};
