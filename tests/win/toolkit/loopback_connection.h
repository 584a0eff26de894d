// A TCP connection to a port of this machine, for the tests that talk to the real server.
#pragma once
#include <winsock2.h>
#include <windows.h>

#include <string>

namespace wintest {

// Holds Winsock for its lifetime; the socket is closed with it.
class LoopbackConnection {
public:
    explicit LoopbackConnection(int port);
    ~LoopbackConnection();
    LoopbackConnection(const LoopbackConnection&) = delete;
    LoopbackConnection& operator=(const LoopbackConnection&) = delete;

    // Connects afresh (a socket that failed to connect is not used again), so it can be
    // called until the server listens. Once connected, a read waits kPatience at most.
    bool Connect();
    void Send(const std::string& data);
    // What recv gives: the bytes read, 0 at the end, less on failure or time-out.
    int Receive(char* buffer, int size);

private:
    void Close();

    sockaddr_in m_address = {};
    SOCKET m_socket = INVALID_SOCKET;
};

}  // namespace wintest
