#include "programs/server/log_writer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "programs/common/run_log.h"

namespace {

// Writes below the C library's streams: a write that blocks then holds no
// stream lock, so the process can still flush its streams and exit.
void WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
#ifdef _WIN32
        int n = _write(fd, data, static_cast<unsigned>(std::min<size_t>(size, 1u << 20)));
#else
        ssize_t n = write(fd, data, size);
#endif
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // the stream is gone: nothing more can be said there
        data += n;
        size -= static_cast<size_t>(n);
    }
}

}  // namespace

struct LogWriter::State {
    std::FILE* stream;
    int fd;
    bool closeWhenDone;
    size_t queueBytes;
    std::mutex mutex;
    std::condition_variable wake, finished;
    std::string queue;
    uint64_t dropped = 0, droppedUnsaid = 0;
    bool stopping = false, done = false;

    void Run() {
        std::unique_lock<std::mutex> lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stopping || !queue.empty() || droppedUnsaid > 0; });
            if (queue.empty() && droppedUnsaid == 0) break;  // stopping, and all is written
            std::string text;
            text.swap(queue);
            if (droppedUnsaid > 0) {
                text = "(" + std::to_string(droppedUnsaid) + " log lines dropped: the output was not taking them)\n" +
                       text;
                droppedUnsaid = 0;
            }
            lock.unlock();
            WriteAll(fd, text.data(), text.size());
            lock.lock();
        }
        if (closeWhenDone) std::fclose(stream);
        done = true;
        finished.notify_all();
    }
};

LogWriter::LogWriter(std::FILE* stream, bool closeWhenDone, size_t queueBytes) : state_(std::make_shared<State>()) {
    state_->stream = stream;
    // What the stream has buffered so far goes first.
    std::fflush(stream);
#ifdef _WIN32
    state_->fd = _fileno(stream);
#else
    state_->fd = fileno(stream);
#endif
    state_->closeWhenDone = closeWhenDone;
    state_->queueBytes = queueBytes;
    std::thread([state = state_] { state->Run(); }).detach();
}

LogWriter::~LogWriter() {
    std::unique_lock<std::mutex> lock(state_->mutex);
    state_->stopping = true;
    state_->wake.notify_all();
    state_->finished.wait_for(lock, std::chrono::seconds(2), [this] { return state_->done; });
}

void LogWriter::Write(const std::string& text) {
    if (copyToRunLog_) AddToRunLog(text);
    std::lock_guard<std::mutex> lock(state_->mutex);
    if (state_->queue.size() + text.size() > state_->queueBytes) {
        ++state_->dropped;
        ++state_->droppedUnsaid;
        return;
    }
    state_->queue += text;
    state_->wake.notify_all();
}

uint64_t LogWriter::dropped() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->dropped;
}
