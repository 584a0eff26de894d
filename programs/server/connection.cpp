#include "programs/server/connection.h"

#include <ctime>

#include "programs/server/responses.h"
#include "programs/server/server_state.h"

using asio::ip::tcp;

Connection::Connection(std::shared_ptr<ServerState> state, tcp::socket socket, bool admitted)
    : socket(std::move(socket)), state_(std::move(state)), admitted_(admitted) {
    asio::error_code ec;
    tcp::endpoint remote = this->socket.remote_endpoint(ec);
    if (!ec && remote.address().is_v4()) peer = remote.address().to_v4().to_uint();
    client = ec ? "-" : remote.address().to_string();
    if (admitted_) ++state_->connections;
    state_->open.insert(this);
}

Connection::~Connection() {
    state_->open.erase(this);
    if (admitted_) --state_->connections;
    if (!requestLine.empty()) state_->Log(AccessLogLine(client, std::time(nullptr), requestLine, status, sent));
}

void Connection::Close() {
    asio::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
}

void Connection::Cut() {
    asio::error_code ignored;
    socket.set_option(asio::socket_base::linger(true, 0), ignored);
    socket.close(ignored);
}
