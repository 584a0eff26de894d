#include "programs/server/log_writer.h"

#include <gtest/gtest.h>

#include <fcntl.h>

#include <sstream>
#include <thread>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

struct Pipe {
    int read = -1, write = -1;
    Pipe() {
        int fds[2];
#ifdef _WIN32
        EXPECT_EQ(_pipe(fds, 4096, _O_BINARY), 0);
#else
        EXPECT_EQ(pipe(fds), 0);
#endif
        read = fds[0];
        write = fds[1];
    }
    std::string ReadAll() {
        std::string text;
        char buf[4096];
        int n;
#ifdef _WIN32
        while ((n = _read(read, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
        _close(read);
#else
        while ((n = static_cast<int>(::read(read, buf, sizeof buf))) > 0) text.append(buf, static_cast<size_t>(n));
        close(read);
#endif
        return text;
    }
};

std::FILE* Open(int fd) {
#ifdef _WIN32
    return _fdopen(fd, "wb");
#else
    return fdopen(fd, "w");
#endif
}

}  // namespace

TEST(LogWriter, AStreamNobodyReadsCostsLinesNotTime) {
    Pipe pipe;
    uint64_t dropped = 0;
    std::string text;
    std::thread reader;
    {
        LogWriter log(Open(pipe.write), true, 1000);
        // Far more than the pipe and the queue hold, with nobody reading: every
        // call returns, and what does not fit is dropped and counted.
        for (int i = 0; i < 20000; ++i) log.Write("line " + std::to_string(i) + " of the log\n");
        dropped = log.dropped();
        EXPECT_GT(dropped, 0u);
        reader = std::thread([&] { text = pipe.ReadAll(); });
        // Now that the stream is read, the writer finishes and closes it.
    }
    reader.join();
    // Written lines come in order; each gap is announced with its size.
    std::istringstream in(text);
    int last = -1, written = 0;
    uint64_t announced = 0;
    for (std::string line; std::getline(in, line);) {
        int n = -1;
        unsigned long long gap = 0;
        if (std::sscanf(line.c_str(), "line %d of the log", &n) == 1) {
            EXPECT_GT(n, last) << line;
            last = n;
            ++written;
            continue;
        }
        ASSERT_EQ(std::sscanf(line.c_str(), "(%llu log lines dropped", &gap), 1) << line;
        announced += gap;
    }
    EXPECT_EQ(announced, dropped);
    EXPECT_EQ(written + announced, 20000u);
}

TEST(LogWriter, WritesEverythingWhenTheStreamKeepsUp) {
    std::FILE* file = std::tmpfile();
    {
        LogWriter log(file, false);
        for (int i = 0; i < 1000; ++i) log.Write("line " + std::to_string(i) + "\n");
        EXPECT_EQ(log.dropped(), 0u);
    }
    std::rewind(file);
    std::string expected, text;
    for (int i = 0; i < 1000; ++i) expected += "line " + std::to_string(i) + "\n";
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, file)) > 0) text.append(buf, n);
    std::fclose(file);
    EXPECT_EQ(text, expected);
}
