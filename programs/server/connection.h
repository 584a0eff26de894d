// One client's connection: the socket, who the client is, and the access log
// line written when the connection ends. It is handed from the request reader
// to whatever serves the request (an answer, the feed intake, a viewer).
#pragma once
#include <asio/ip/tcp.hpp>

#include <cstdint>
#include <memory>
#include <string>

#include "programs/server/acl.h"

class ServerState;

class Connection {
public:
    // admitted: whether it holds a place under MaxHTTPConnections. A connection
    // refused for being over the limit does not: it is answered 503 and closed
    // at once, and counting it would refuse a client that comes back as it goes.
    Connection(std::shared_ptr<ServerState> state, asio::ip::tcp::socket socket, bool admitted);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Closes in order: what was written still reaches the client. Whoever closes first
    // keeps the port in TIME_WAIT for a minute, so the server does this once the client
    // has closed, or for a client that sent nothing it should wait for.
    void Close();
    // Closes abortively (a reset): the system drops what it still holds to
    // send, instead of going on sending it for minutes to a peer that stopped reading.
    void Cut();

    asio::ip::tcp::socket socket;
    Ipv4 peer = 0;       // the client's IPv4 address, 0 for another family
    std::string client;  // the client's address as the log gives it
    // For the access log: the request line ("-" when there was none), status, bytes sent.
    std::string requestLine;
    int status = 0;
    uint64_t sent = 0;
    bool head = false;  // a HEAD request: headers only

    bool admitted() const { return admitted_; }

private:
    std::shared_ptr<ServerState> state_;
    bool admitted_;
};

using ConnectionPtr = std::unique_ptr<Connection>;
