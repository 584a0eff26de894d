#include "programs/server/server.h"

#include <asio.hpp>

#include "common/exit_reasons.h"
#include "programs/server/connection.h"
#include "programs/server/message_throttle.h"
#include "programs/server/request_reader.h"
#include "programs/server/server_state.h"

using asio::ip::tcp;

// The listening socket and its accept loop.
class Server::Listener : public std::enable_shared_from_this<Server::Listener> {
public:
    explicit Listener(std::shared_ptr<ServerState> state)
        : state(std::move(state)), acceptor(this->state->io), pause(this->state->io) {}

    void Accept() {
        auto self = shared_from_this();
        acceptor.async_accept([self](const asio::error_code& ec, tcp::socket socket) {
            if (ec == asio::error::operation_aborted || !self->acceptor.is_open()) return;
            if (ec) return self->AcceptLater(ec);
            asio::error_code ignored;
            socket.set_option(tcp::no_delay(true), ignored);
            bool admitted = self->state->AdmitConnection();
            ServeConnection(self->state, std::make_unique<Connection>(self->state, std::move(socket), admitted));
            self->Accept();
        });
    }

    // Out of descriptors (or memory) the connection waits in the system's queue,
    // and accepting again at once fails again at once: wait a little, so that the
    // thread is free to serve what is open and to close what ends.
    void AcceptLater(const asio::error_code& ec) {
        uint64_t held = 0;
        if (errors.Allow(NowMs(), held))
            state->Message("server: cannot accept a connection: " + ec.message() + " (error " +
                           std::to_string(ec.value()) + ")" + HeldBackSuffix(held, "such errors"));
        auto self = shared_from_this();
        pause.expires_after(std::chrono::milliseconds(100));
        pause.async_wait([self](const asio::error_code& waited) {
            if (!waited && self->acceptor.is_open()) self->Accept();
        });
    }

    std::shared_ptr<ServerState> state;
    tcp::acceptor acceptor;
    asio::steady_timer pause;
    MessageThrottle errors{10000};
};

Server::Server(asio::io_context& io, ServerConfig config, std::shared_ptr<LogWriter> log,
               std::shared_ptr<LogWriter> messages, ServerTimeouts timeouts)
    : listener_(std::make_shared<Listener>(
          std::make_shared<ServerState>(io, std::move(config), std::move(log), std::move(messages), timeouts))) {}

Server::~Server() {
    // Cut now: a socket left to the io_context's end would be closed in order (Asio
    // turns a set linger off when it closes a socket it destroys).
    for (Connection* c : listener_->state->open) c->Cut();
    asio::error_code ignored;
    listener_->acceptor.close(ignored);
    listener_->pause.cancel();
}

bool Server::Listen(std::string& error, int& exitCode) {
    const ServerConfig& config = listener_->state->config;
    tcp::acceptor& acceptor = listener_->acceptor;
    asio::error_code ec;
    tcp::endpoint endpoint(asio::ip::address_v4(config.bindAddress), static_cast<unsigned short>(config.port));
    acceptor.open(endpoint.protocol(), ec);
#ifndef _WIN32
    // On Windows this option would let another program take the port too.
    if (!ec) acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
#endif
    if (!ec) acceptor.bind(endpoint, ec);
    if (!ec) acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
        // The system's text is not always there (MinGW builds may only say "system error"): add the code.
        error = "cannot listen on " + endpoint.address().to_string() + ":" + std::to_string(endpoint.port()) + ": " +
                ec.message() + " (error " + std::to_string(ec.value()) + ")";
        // Windows reserves port ranges (Hyper-V, WSL) and answers those with "access denied".
        exitCode = ec == asio::error::address_in_use  ? server_exit::kPortInUse
                   : ec == asio::error::access_denied ? server_exit::kPortForbidden
                                                      : server_exit::kCannotListen;
        return false;
    }
    listener_->Accept();
    return true;
}

ServerCounts Server::counts() const { return listener_->state->counts(); }

int Server::port() const {
    asio::error_code ec;
    auto endpoint = listener_->acceptor.local_endpoint(ec);
    return ec ? 0 : endpoint.port();
}
