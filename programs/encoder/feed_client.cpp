#include "programs/encoder/feed_client.h"

#include <asio.hpp>
#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <thread>

#include "common/ascii_case.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kConnectTimeout{3000};
constexpr milliseconds kIoTimeout{10000};
constexpr milliseconds kRetryPause{250};
constexpr size_t kMaxAnswer = 65536;
// The feed is sent with "Expect: 100-continue": the server answers "100 Continue" when it
// takes the feed and a final status when it refuses it, both as soon as it has read the
// request head. A server that ignores the expectation says nothing while it takes the feed:
// until a server has answered one "100 Continue", a feed that has drawn no answer for this
// long is taken as accepted (a client may go on without the 100 after a while).
constexpr milliseconds kAcceptQuiet{500};
// The feed socket's send buffer: a few frames. The system would grow it to megabytes,
// which a server that stops reading fills with seconds of frames before a write waits.
constexpr int kFeedSendBuffer = 128 * 1024;
// What the server's side may hold of the feed without having read it (its receive
// buffer; the window of a connection whose reader does not read stays small).
constexpr uint64_t kServerMayHold = 1 << 20;

// The status code of an answer's status line ("HTTP/1.1 100 Continue"), or 0.
int StatusCode(const std::string& line) {
    size_t space = line.find(' ');
    if (line.compare(0, 5, "HTTP/") != 0 || space == std::string::npos || line.size() < space + 4) return 0;
    int code = 0;
    for (size_t i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') return 0;
        code = code * 10 + (line[i] - '0');
    }
    return code;
}

std::string Hex(size_t n) {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%zx", n);
    return buf;
}

// "20 s", or "1.5 s" for the short waits of tests.
std::string WaitText(milliseconds wait) {
    char text[32];
    if (wait.count() % 1000 == 0)
        std::snprintf(text, sizeof text, "%lld s", static_cast<long long>(wait.count() / 1000));
    else std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(wait.count()) / 1000);
    return text;
}

// The end of a wait, and how long the whole wait is (for the messages).
struct Deadline {
    Clock::time_point at;
    milliseconds whole;

    static Deadline After(milliseconds wait) { return Deadline{Clock::now() + wait, wait}; }
    // Each attempt's own time-out, never past the end of the wait.
    Clock::time_point Cap(milliseconds timeout) const { return std::min(Clock::now() + timeout, at); }
    // Whether a pause before the next attempt would end the wait.
    bool NoTimeForAnother() const { return Clock::now() + kRetryPause >= at; }
};

}  // namespace

struct FeedClient::Impl {
    FeedUrl url;
    const std::atomic<bool>& stop;
    milliseconds wait;
    milliseconds stall;  // a write may take nothing for this long
    asio::io_context io;
    asio::ip::tcp::socket socket{io};
    bool open = false;                // accepted by the server
    bool connected = false;           // once
    Clock::time_point lastDelivered;  // or when the first Connect began
    // Frames written on this connection may still sit in the buffers on the way: only
    // those followed by more than the buffers hold have surely been read by the server.
    struct Written {
        uint64_t end;  // bytes written on the connection up to the end of the frame
        Clock::time_point at;
    };
    std::deque<Written> unsure;
    uint64_t written = 0, buffersHold = 0;
    Clock::time_point surelyRead;  // the last frame surely read (or lastDelivered at the start)
    bool timedOut = false;         // the last Run ended at its deadline
    // What the server said on the feed connection; any final answer there ends the feed.
    std::string answer;
    bool answered = false;
    bool continued = false;        // it said "100 Continue": the feed is accepted
    bool serverContinues = false;  // it has done so once: its silence is no acceptance
    std::string connectionEnd;     // why it ended, when it ended without an answer
    char answerBuffer[512];
    std::string frameHead;  // the chunk's and the part's head of the frame being sent

    Impl(FeedUrl u, const std::atomic<bool>& s, milliseconds w, milliseconds st)
        : url(std::move(u)), stop(s), wait(w), stall(st) {}

    // Runs one asynchronous operation to completion, giving up at `deadline`, on a stop
    // request or on an answer on the feed (the socket is then closed, which cancels the
    // operation).
    bool Run(const std::function<void(std::function<void(asio::error_code)>)>& start, Clock::time_point deadline,
             std::string& error) {
        bool done = false;
        asio::error_code result;
        timedOut = false;
        start([&](asio::error_code ec) {
            result = ec;
            done = true;
        });
        io.restart();
        while (!done) {
            if (stop || answered || Clock::now() >= deadline) {
                asio::error_code ignored;
                socket.close(ignored);
                io.restart();
                io.run();  // lets the cancelled handler run
                error = stop ? "stopped" : answered ? "answered" : "timed out";
                timedOut = !stop && !answered;
                return false;
            }
            // One handler at a time: the watch on the feed's answer is always pending.
            io.run_one_for(milliseconds(50));
            if (io.stopped()) io.restart();
        }
        if (result) {
            error = result.message();
            return false;
        }
        return true;
    }

    std::string HostHeader() const {
        std::string host = url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
        return host + ":" + std::to_string(url.port);
    }

    // One attempt over every address of the host.
    bool ConnectOnce(const Deadline& deadline, std::string& error) {
        asio::ip::tcp::resolver resolver(io);
        asio::error_code ec;
        auto endpoints = resolver.resolve(url.host, std::to_string(url.port), ec);
        if (ec) {
            error = "cannot resolve " + url.host + ": " + ec.message();
            return false;
        }
        // IPv4 first: Windows may list ::1 first for localhost, and on Windows a refused
        // loopback connection takes two seconds, while servers of this kind listen on IPv4.
        std::vector<asio::ip::tcp::endpoint> addresses;
        for (const auto& entry : endpoints)
            if (entry.endpoint().address().is_v4()) addresses.push_back(entry.endpoint());
        for (const auto& entry : endpoints)
            if (!entry.endpoint().address().is_v4()) addresses.push_back(entry.endpoint());
        std::string lastError = "no address";
        for (const auto& address : addresses) {
            asio::error_code ignored;
            socket.close(ignored);
            socket.open(address.protocol(), ec);
            if (ec) continue;
            std::string attempt;
            if (Run([&](std::function<void(asio::error_code)> done) { socket.async_connect(address, done); },
                    deadline.Cap(kConnectTimeout), attempt)) {
                socket.set_option(asio::ip::tcp::no_delay(true), ignored);
                return true;
            }
            lastError = address.address().to_string() + ": " + attempt;
            if (stop || Clock::now() >= deadline.at) break;
        }
        socket.close(ec);
        error = "cannot connect to " + HostHeader() + " (" + lastError + ")";
        return false;
    }

    bool Connect(const Deadline& deadline, std::string& error) {
        for (;;) {
            if (ConnectOnce(deadline, error)) return true;
            if (stop) return false;
            if (deadline.NoTimeForAnother()) {
                error += "; the server did not come up within " + WaitText(deadline.whole);
                return false;
            }
            std::this_thread::sleep_for(kRetryPause);
        }
    }

    bool Write(const std::string& data, Clock::time_point deadline, std::string& error) {
        return Run(
            [&](const std::function<void(asio::error_code)>& done) {
                asio::async_write(socket, asio::buffer(data), [done](asio::error_code ec, size_t) { done(ec); });
            },
            deadline, error);
    }

    // Writes a frame for as long as the server takes some of it: a server that has taken
    // nothing for the stall time has stopped reading.
    // Writes the frame's pieces as one gathered write after the other, without joining
    // them first.
    bool WriteFrame(const std::array<asio::const_buffer, 3>& pieces, std::string& error) {
        size_t total = 0;
        for (const asio::const_buffer& b : pieces) total += b.size();
        size_t done = 0;
        while (done < total) {
            std::array<asio::const_buffer, 3> rest;
            size_t skip = done;
            for (size_t i = 0; i < pieces.size(); ++i) {
                rest[i] = pieces[i] + std::min(skip, pieces[i].size());
                skip -= std::min(skip, pieces[i].size());
            }
            size_t n = 0;
            bool ok = Run(
                [&](const std::function<void(asio::error_code)>& complete) {
                    socket.async_write_some(rest, [&n, complete](asio::error_code ec, size_t k) {
                        n = k;
                        complete(ec);
                    });
                },
                Clock::now() + stall, error);
            if (!ok) return false;
            done += n;
        }
        return true;
    }

    // Starts the count of what the server has surely read on a new connection.
    void CountFromHere() {
        asio::error_code ignored;
        socket.set_option(asio::socket_base::send_buffer_size(kFeedSendBuffer), ignored);
        asio::socket_base::send_buffer_size size;
        socket.get_option(size, ignored);
        buffersHold = static_cast<uint64_t>(std::max(size.value(), kFeedSendBuffer)) + kServerMayHold;
        written = 0;
        unsure.clear();
        surelyRead = lastDelivered;
    }

    void Delivered(size_t bytes) {
        lastDelivered = Clock::now();
        written += bytes;
        unsure.push_back(Written{written, lastDelivered});
        while (unsure.front().end + buffersHold <= written) {
            surelyRead = unsure.front().at;
            unsure.pop_front();
        }
    }

    // Reads until the server closes, at most kMaxAnswer bytes.
    bool ReadAll(std::string& answer, const Deadline& deadline, std::string& error) {
        answer.clear();
        char buffer[4096];
        for (;;) {
            size_t got = 0;
            asio::error_code readError;
            bool ok = Run(
                [&](const std::function<void(asio::error_code)>& done) {
                    socket.async_read_some(asio::buffer(buffer), [&, done](asio::error_code ec, size_t n) {
                        got = n;
                        readError = ec;
                        done(asio::error_code());
                    });
                },
                deadline.Cap(kIoTimeout), error);
            if (!ok) return false;
            answer.append(buffer, got);
            if (readError == asio::error::eof) return true;
            if (readError) {
                error = readError.message();
                return false;
            }
            if (answer.size() > kMaxAnswer) {
                error = "answer too long";
                return false;
            }
            // A complete answer with a length needs no close to end it.
            size_t headEnd = answer.find("\r\n\r\n");
            if (headEnd != std::string::npos) {
                std::string head = AsciiLower(answer.substr(0, headEnd));
                size_t at = head.find("\ncontent-length:");
                if (at != std::string::npos) {
                    unsigned long long length = std::strtoull(head.c_str() + at + 16, nullptr, 10);
                    if (answer.size() - headEnd - 4 >= length) return true;
                }
            }
        }
    }

    // Reads what the server says on the feed connection, from the moment it is connected,
    // until a final status line or the end of the connection.
    void WatchAnswer() {
        socket.async_read_some(asio::buffer(answerBuffer), [this](asio::error_code ec, size_t n) {
            if (ec == asio::error::operation_aborted) return;  // we closed it
            answer.append(answerBuffer, n);
            if (ec) connectionEnd = ec == asio::error::eof ? "closed" : ec.message();
            if (ec || TakeInterimAnswers() || answer.size() > kMaxAnswer) {
                answered = true;
                return;
            }
            WatchAnswer();
        });
    }

    // Takes the interim (1xx) answers off the front of what the server said, noting a
    // "100 Continue". True once a final status line (or something that is not HTTP) is there.
    bool TakeInterimAnswers() {
        for (;;) {
            size_t lineEnd = answer.find("\r\n");
            if (lineEnd == std::string::npos) return false;
            int status = StatusCode(answer.substr(0, lineEnd));
            if (status < 100 || status > 199) return true;
            size_t headEnd = answer.find("\r\n\r\n");
            if (headEnd == std::string::npos) return false;
            if (status == 100) continued = true;
            answer.erase(0, headEnd + 4);
        }
    }

    // Runs ready handlers, waiting for an answer on the feed until `until` (or, with
    // `orContinue`, until the server says "100 Continue").
    void AwaitAnswer(Clock::time_point until, bool orContinue = false) {
        io.restart();
        io.poll();
        if (io.stopped()) io.restart();
        while (!answered && !(orContinue && continued) && !stop && Clock::now() < until) {
            io.run_one_for(std::min<Clock::duration>(until - Clock::now(), milliseconds(50)));
            if (io.stopped()) io.restart();
        }
    }

    std::string AnswerText() const {
        if (answer.empty()) return "the server ended the feed connection (" + connectionEnd + ")";
        std::string status = answer.substr(0, answer.find("\r\n"));
        size_t space = status.find(' ');
        if (status.compare(0, 5, "HTTP/") != 0 || space == std::string::npos) return "the server's answer is not HTTP";
        status.erase(0, space + 1);
        if (status[0] == '2') return "the server ended the feed " + url.path + ": " + status;
        return "the server refused the feed " + url.path + ": " + status;
    }

    bool FetchParameters(StreamParameters& params, const Deadline& deadline, std::string& error);
    bool Open(const Deadline& deadline, std::string& error);

    // Closes the connection and forgets it, answer included.
    void Disconnect() {
        asio::error_code ignored;
        socket.close(ignored);
        io.restart();
        io.run();  // lets the cancelled handlers run
        open = false;
        answer.clear();
        answered = false;
        continued = false;
        connectionEnd.clear();
    }

    void Close() {
        if (open && !answered) {
            // Small enough for the socket's buffer; never waits, should a server that has
            // stopped reading have filled it.
            std::string end = std::string("--") + Boundary() + "--\r\n";
            std::string last = Hex(end.size()) + "\r\n" + end + "\r\n0\r\n\r\n";
            asio::error_code ignored;
            socket.non_blocking(true, ignored);
            asio::write(socket, asio::buffer(last), ignored);
        }
        Disconnect();
    }
};

FeedClient::FeedClient(FeedUrl url, const std::atomic<bool>& stop, std::chrono::milliseconds wait,
                       std::chrono::milliseconds stall)
    : impl_(new Impl(std::move(url), stop, wait, stall)) {}

FeedClient::~FeedClient() { Close(); }

bool FeedClient::Connect(StreamParameters& params, std::string& error) {
    Impl& d = *impl_;
    // The wait runs from the last frame that got through, or from the start.
    if (!d.connected) d.lastDelivered = Clock::now();
    d.connected = true;
    Deadline deadline{d.lastDelivered + d.wait, d.wait};
    if (Clock::now() >= deadline.at) {
        error = "no frame got through within " + WaitText(d.wait);
        return false;
    }
    return d.FetchParameters(params, deadline, error) && d.Open(deadline, error);
}

bool FeedClient::FetchParameters(StreamParameters& params, std::chrono::milliseconds wait, std::string& error) {
    return impl_->FetchParameters(params, Deadline::After(wait), error);
}

bool FeedClient::Open(std::chrono::milliseconds wait, std::string& error) {
    return impl_->Open(Deadline::After(wait), error);
}

bool FeedClient::Impl::FetchParameters(StreamParameters& params, const Deadline& deadline, std::string& error) {
    Close();
    for (;;) {
        if (!Connect(deadline, error)) return false;
        std::string answer;
        std::string request = "GET " + url.path + " HTTP/1.1\r\nHost: " + HostHeader() +
                              "\r\nUser-Agent: orvane\r\nConnection: close\r\n\r\n";
        bool ok = Write(request, deadline.Cap(kIoTimeout), error) && ReadAll(answer, deadline, error);
        asio::error_code ignored;
        socket.close(ignored);
        if (ok) {
            size_t headEnd = answer.find("\r\n\r\n");
            if (answer.compare(0, 5, "HTTP/") != 0 || headEnd == std::string::npos) {
                error = "the server's answer is not HTTP";
                return false;
            }
            std::string status = answer.substr(0, answer.find("\r\n"));
            size_t space = status.find(' ');
            status.erase(0, space == std::string::npos ? 0 : space + 1);
            if (status.compare(0, 3, "200") == 0) {
                std::string body = answer.substr(headEnd + 4);
                return ParseStreamParameters(body, params, error);
            }
            error = "the server refused the feed " + url.path + ": " + status;
            // Busy (all its connections taken) may pass; anything else will not.
            if (status.compare(0, 3, "503") != 0) return false;
        } else {
            // The connection broke before an answer: the server may be starting; try again.
            error = "no answer from " + HostHeader() + ": " + error;
        }
        if (stop) return false;
        if (deadline.NoTimeForAnother()) {
            error += "; the server did not take the feed within " + WaitText(deadline.whole);
            return false;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
}

bool FeedClient::Impl::Open(const Deadline& deadline, std::string& error) {
    std::string request = "POST " + url.path + " HTTP/1.1\r\nHost: " + HostHeader() +
                          "\r\nUser-Agent: orvane\r\nContent-Type: multipart/x-mixed-replace;boundary=" + Boundary() +
                          "\r\nTransfer-Encoding: chunked\r\nExpect: 100-continue\r\nConnection: close\r\n\r\n";
    for (;;) {
        Close();
        if (!Connect(deadline, error)) return false;
        // A busy server answers before it reads anything.
        WatchAnswer();
        if (Write(request, deadline.Cap(kIoTimeout), error) || answered) {
            // A server known to answer the expectation is waited for as for any answer.
            Clock::time_point quietUntil = Clock::now() + kAcceptQuiet;
            AwaitAnswer(serverContinues ? deadline.Cap(kIoTimeout) : std::min(quietUntil, deadline.at), true);
            if (stop) return false;
            if (answered) {
                // Refused (another feeder holds it, it does not exist for us, the server is busy)
                // or dropped at once: a failed attempt.
                error = AnswerText();
            } else if (continued || (!serverContinues && Clock::now() >= quietUntil)) {
                // Accepted; or a server that ignores the expectation was silent all this time.
                if (continued) serverContinues = true;
                open = true;
                CountFromHere();
                return true;
            } else if (Clock::now() < deadline.at) {
                // This attempt's own time-out: a failed attempt.
                error = "the server did not answer the feed " + url.path;
            } else {
                // The wait ended before a refusal could have come.
                error = "the server did not take the feed within " + WaitText(deadline.whole);
                Close();
                return false;
            }
        }
        if (stop) return false;
        if (deadline.NoTimeForAnother()) {
            error += "; the server did not take the feed within " + WaitText(deadline.whole);
            Close();
            return false;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
}

bool FeedClient::Send(const std::vector<uint8_t>& jpeg, std::string& error) {
    Impl& d = *impl_;
    if (!d.open) {
        error = "the feed is not open";
        return false;
    }
    // The chunk's size line and the part's head, the JPEG as it is, and the ends of both;
    // the heads are built in buffers kept from frame to frame.
    std::string& head = d.frameHead;
    static const std::string partHead = std::string("--") + Boundary() +
                                        "\r\nContent-Type: image/jpeg\r\nContent-Length: ";
    const std::string length = std::to_string(jpeg.size());
    const size_t partSize = partHead.size() + length.size() + 4 + jpeg.size() + 2;
    head.clear();
    head.append(Hex(partSize)).append("\r\n").append(partHead).append(length).append("\r\n\r\n");
    static const char kTail[] = "\r\n\r\n";  // the part's line end, then the chunk's
    const std::array<asio::const_buffer, 3> chunk = {asio::buffer(head), asio::buffer(jpeg),
                                                     asio::buffer(kTail, sizeof kTail - 1)};
    const size_t chunkSize = head.size() + jpeg.size() + sizeof kTail - 1;
    // An answer that came since the last frame ends the feed before this one is written.
    d.AwaitAnswer(Clock::now());
    if (d.answered || !d.WriteFrame(chunk, error)) {
        if (d.answered) {
            error = d.AnswerText();
        } else if (d.timedOut) {
            // What it took lately may still sit in the buffers: it did not get through.
            error = "the server has stopped reading the feed (it took nothing for " + WaitText(d.stall) + ")";
            d.lastDelivered = d.surelyRead;
        } else {
            error = "the feed connection failed (" + error + ")";
        }
        d.Disconnect();
        return false;
    }
    d.Delivered(chunkSize);
    return true;
}

bool FeedClient::StillUsable(std::string& error) {
    Impl& d = *impl_;
    if (!d.open) {
        error = "the feed is not open";
        return false;
    }
    d.AwaitAnswer(Clock::now());
    if (d.answered) {
        error = d.AnswerText();
        d.Disconnect();
        return false;
    }
    return true;
}

bool FeedClient::WaitIsOver(std::string& error) const {
    const Impl& d = *impl_;
    if (!d.connected || Clock::now() < d.lastDelivered + d.wait) return false;
    error = "no frame got through within " + WaitText(d.wait);
    return true;
}

void FeedClient::Close() { impl_->Close(); }
