// One TCP connection with blocking operations that each end by a deadline, on a stop
// request, or once the listener on the connection has heard its answer (the connection is
// then closed, which cancels what is under way).
#pragma once
#include <asio.hpp>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

class HttpAnswer;

// How a host and a port are written together (an IPv6 address in brackets): in the Host
// header and in messages.
std::string HostAndPort(const std::string& host, uint16_t port);

class FeedSocket {
public:
    using Clock = std::chrono::steady_clock;
    // What one gathered write sends: a frame's head, the frame, its tail.
    using Pieces = std::array<asio::const_buffer, 3>;
    // Gets each piece that the peer says, with the error that ended the connection, if
    // any; returns true once it has heard all it waits for.
    using Listener = std::function<bool(const char* data, size_t size, const asio::error_code& end)>;

    explicit FeedSocket(const std::atomic<bool>& stop) : stop_(stop) {}
    FeedSocket(const FeedSocket&) = delete;
    FeedSocket& operator=(const FeedSocket&) = delete;

    // One attempt over every address the host resolves to, IPv4 first, each for at most
    // a few seconds and none past `end`.
    bool ConnectToAnyAddress(const std::string& host, uint16_t port, Clock::time_point end, std::string& error);
    bool Write(const std::string& data, Clock::time_point deadline, std::string& error);
    // Writes the pieces, one gathered write after the other, for as long as the peer takes
    // some of them: one that has taken nothing for `stall` has stopped reading (TimedOut).
    bool WriteGathered(const Pieces& pieces, std::chrono::milliseconds stall, std::string& error);
    // Writes what the socket's buffer takes without waiting: a few bytes before a close.
    void WriteWithoutWaiting(const std::string& data);
    // Reads until the peer ends the connection or the answer is complete by its length,
    // each read within `eachRead` and none past `end`.
    bool ReadAnswer(HttpAnswer& answer, Clock::time_point end, std::chrono::milliseconds eachRead, std::string& error);
    // Sets the send buffer's size; the size the system then reports (0 if it does not).
    int SetSendBuffer(int bytes);

    // Hears what the peer says while we write, until the listener has its answer.
    void Listen(Listener listener);
    // Runs what is ready, then waits for the listener's answer until `until` (or until
    // `enough` says so).
    void AwaitAnswer(Clock::time_point until, const std::function<bool()>& enough = {});
    bool Answered() const { return answered_; }
    // Whether the last operation ended at its deadline.
    bool TimedOut() const { return timedOut_; }

    // Closes the connection, lets the cancelled handlers run, and forgets the answer.
    void Close();

private:
    using Operation = std::function<void(std::function<void(asio::error_code)>)>;
    bool Run(const Operation& start, Clock::time_point deadline, std::string& error);
    void ListenOnce();

    const std::atomic<bool>& stop_;
    asio::io_context io_;
    asio::ip::tcp::socket socket_{io_};
    Listener listener_;
    char listenBuffer_[512];
    bool answered_ = false;
    bool timedOut_ = false;
};
