#include "programs/encoder/feed_socket.h"

#include <algorithm>
#include <vector>

#include "programs/encoder/http_answer.h"

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kConnectTimeout{3000};

// IPv4 first: Windows may list ::1 first for localhost, and on Windows a refused loopback
// connection takes two seconds, while servers of this kind listen on IPv4.
std::vector<asio::ip::tcp::endpoint> Ipv4First(const asio::ip::tcp::resolver::results_type& endpoints) {
    std::vector<asio::ip::tcp::endpoint> addresses;
    for (const auto& entry : endpoints)
        if (entry.endpoint().address().is_v4()) addresses.push_back(entry.endpoint());
    for (const auto& entry : endpoints)
        if (!entry.endpoint().address().is_v4()) addresses.push_back(entry.endpoint());
    return addresses;
}

}  // namespace

std::string HostAndPort(const std::string& host, uint16_t port) {
    std::string name = host.find(':') != std::string::npos ? "[" + host + "]" : host;
    return name + ":" + std::to_string(port);
}

bool FeedSocket::Run(const Operation& start, Clock::time_point deadline, std::string& error) {
    bool done = false;
    asio::error_code result;
    timedOut_ = false;
    start([&](asio::error_code ec) {
        result = ec;
        done = true;
    });
    io_.restart();
    while (!done) {
        if (stop_ || answered_ || Clock::now() >= deadline) {
            asio::error_code ignored;
            socket_.close(ignored);
            io_.restart();
            io_.run();  // lets the cancelled handler run
            error = stop_ ? "stopped" : answered_ ? "answered" : "timed out";
            timedOut_ = !stop_ && !answered_;
            return false;
        }
        // One handler at a time: the listener's read is always pending.
        io_.run_one_for(milliseconds(50));
        if (io_.stopped()) io_.restart();
    }
    if (result) {
        error = result.message();
        return false;
    }
    return true;
}

bool FeedSocket::ConnectToAnyAddress(const std::string& host, uint16_t port, Clock::time_point end,
                                     std::string& error) {
    asio::ip::tcp::resolver resolver(io_);
    asio::error_code ec;
    auto endpoints = resolver.resolve(host, std::to_string(port), ec);
    if (ec) {
        error = "cannot resolve " + host + ": " + ec.message();
        return false;
    }
    std::string lastError = "no address";
    for (const auto& address : Ipv4First(endpoints)) {
        asio::error_code ignored;
        socket_.close(ignored);
        socket_.open(address.protocol(), ec);
        if (ec) continue;
        std::string attempt;
        if (Run([&](const std::function<void(asio::error_code)>& done) { socket_.async_connect(address, done); },
                std::min(Clock::now() + kConnectTimeout, end), attempt)) {
            socket_.set_option(asio::ip::tcp::no_delay(true), ignored);
            // For the frames' direct writes; the asynchronous operations are not affected.
            socket_.non_blocking(true, ignored);
            return true;
        }
        lastError = address.address().to_string() + ": " + attempt;
        if (stop_ || Clock::now() >= end) break;
    }
    socket_.close(ec);
    error = "cannot connect to " + HostAndPort(host, port) + " (" + lastError + ")";
    return false;
}

bool FeedSocket::Write(const std::string& data, Clock::time_point deadline, std::string& error) {
    return Run(
        [&](const std::function<void(asio::error_code)>& done) {
            asio::async_write(socket_, asio::buffer(data), [done](asio::error_code ec, size_t) { done(ec); });
        },
        deadline, error);
}

bool FeedSocket::WriteGathered(const Pieces& pieces, milliseconds stall, std::string& error) {
    size_t total = 0;
    for (const asio::const_buffer& b : pieces) total += b.size();
    size_t done = 0;
    while (done < total) {
        Pieces rest;
        size_t skip = done;
        for (size_t i = 0; i < pieces.size(); ++i) {
            rest[i] = pieces[i] + std::min(skip, pieces[i].size());
            skip -= std::min(skip, pieces[i].size());
        }
        // Straight into the socket's buffer while it takes the frame, which it mostly
        // does at once: an asynchronous write and its completion cost system calls (and,
        // per frame, a thread's wake) that a plain send does not.
        asio::error_code ec;
        size_t n = socket_.write_some(rest, ec);
        if (!ec) {
            done += n;
            continue;
        }
        if (ec != asio::error::would_block && ec != asio::error::try_again) {
            // An answer that came with the failure says more than the failure: the
            // listener's handler runs first.
            io_.restart();
            io_.poll();
            if (io_.stopped()) io_.restart();
            timedOut_ = false;
            error = ec.message();
            return false;
        }
        n = 0;
        bool ok = Run(
            [&](const std::function<void(asio::error_code)>& complete) {
                socket_.async_write_some(rest, [&n, complete](asio::error_code ec, size_t k) {
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

void FeedSocket::WriteWithoutWaiting(const std::string& data) {
    asio::error_code ignored;
    socket_.non_blocking(true, ignored);
    asio::write(socket_, asio::buffer(data), ignored);
}

bool FeedSocket::ReadAnswer(HttpAnswer& answer, Clock::time_point end, milliseconds eachRead, std::string& error) {
    answer.Clear();
    char buffer[4096];
    for (;;) {
        size_t got = 0;
        asio::error_code readError;
        bool ok = Run(
            [&](const std::function<void(asio::error_code)>& done) {
                socket_.async_read_some(asio::buffer(buffer), [&, done](asio::error_code ec, size_t n) {
                    got = n;
                    readError = ec;
                    done(asio::error_code());
                });
            },
            std::min(Clock::now() + eachRead, end), error);
        if (!ok) return false;
        answer.Append(buffer, got);
        if (readError == asio::error::eof) return true;
        if (readError) {
            error = readError.message();
            return false;
        }
        if (answer.TooLong()) {
            error = "answer too long";
            return false;
        }
        if (answer.CompleteByLength()) return true;
    }
}

int FeedSocket::SetSendBuffer(int bytes) {
    asio::error_code ignored;
    socket_.set_option(asio::socket_base::send_buffer_size(bytes), ignored);
    asio::socket_base::send_buffer_size size;
    socket_.get_option(size, ignored);
    return size.value();
}

void FeedSocket::Listen(Listener listener) {
    listener_ = std::move(listener);
    ListenOnce();
}

void FeedSocket::ListenOnce() {
    socket_.async_read_some(asio::buffer(listenBuffer_), [this](asio::error_code ec, size_t n) {
        if (ec == asio::error::operation_aborted) return;  // we closed it
        if (listener_(listenBuffer_, n, ec) || ec) {
            answered_ = true;
            return;
        }
        ListenOnce();
    });
}

void FeedSocket::AwaitAnswer(Clock::time_point until, const std::function<bool()>& enough) {
    io_.restart();
    io_.poll();
    if (io_.stopped()) io_.restart();
    while (!answered_ && !(enough && enough()) && !stop_ && Clock::now() < until) {
        io_.run_one_for(std::min<Clock::duration>(until - Clock::now(), milliseconds(50)));
        if (io_.stopped()) io_.restart();
    }
}

void FeedSocket::Close() {
    asio::error_code ignored;
    socket_.close(ignored);
    io_.restart();
    io_.run();  // lets the cancelled handlers run
    answered_ = false;
}
