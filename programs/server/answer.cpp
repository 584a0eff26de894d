#include "programs/server/answer.h"

#include <asio.hpp>

#include <array>
#include <vector>

#include "programs/server/responses.h"
#include "programs/server/server_state.h"

namespace {

class Answer : public std::enable_shared_from_this<Answer> {
public:
    Answer(std::shared_ptr<ServerState> state, ConnectionPtr connection, std::string response, FramePtr body)
        : state_(std::move(state)), c_(std::move(connection)), timer_(state_->io), text_(std::move(response)),
          body_(std::move(body)) {
        if (c_->head) {  // HEAD: the headers only
            size_t end = text_.find("\r\n\r\n");
            if (end != std::string::npos) text_.resize(end + 4);
            body_.reset();
        }
    }

    void Start() {
        auto self = shared_from_this();
        // A client that does not take the answer is cut after the viewer's time-out.
        timer_.expires_after(state_->timeouts.stalledViewer);
        timer_.async_wait([self](const asio::error_code& ec) {
            if (!ec) self->c_->Cut();
        });
        std::array<asio::const_buffer, 2> buffers = {asio::buffer(text_),
                                                     body_ ? asio::buffer(body_->jpeg) : asio::const_buffer()};
        asio::async_write(c_->socket, buffers, [self](const asio::error_code& ec, size_t n) {
            self->c_->sent += n;
            self->timer_.cancel();
            if (ec) return self->c_->Close();
            self->Linger();
        });
    }

private:
    // Lets the client read the answer and close first: the answer says where it ends,
    // and the side that closes first keeps the port in TIME_WAIT for a minute, which
    // under Wine (as on Linux) stops the next start of the server from binding it.
    // But a client that keeps the connection open holds a place under
    // MaxHTTPConnections, and one may wait for the close to end the answer, so only
    // for a moment; then the server closes, in order, so that the answer still arrives.
    void Linger() {
        auto self = shared_from_this();
        timer_.expires_after(state_->timeouts.closingAnswer);
        timer_.async_wait([self](const asio::error_code& ec) {
            if (!ec) self->c_->Close();
        });
        Drain();
    }

    // Reads and discards until the client closes (or the moment is over).
    void Drain() {
        auto self = shared_from_this();
        c_->socket.async_read_some(asio::buffer(buffer_), [self](const asio::error_code& ec, size_t) {
            if (!ec) return self->Drain();
            self->timer_.cancel();
            self->c_->Close();
        });
    }

    std::shared_ptr<ServerState> state_;
    ConnectionPtr c_;
    asio::steady_timer timer_;
    std::string text_;
    FramePtr body_;
    std::vector<char> buffer_ = std::vector<char>(4096);
};

}  // namespace

void SendAnswer(std::shared_ptr<ServerState> state, ConnectionPtr connection, int status, std::string response,
                FramePtr body) {
    connection->status = status;
    std::make_shared<Answer>(std::move(state), std::move(connection), std::move(response), std::move(body))->Start();
}

void SendStatus(std::shared_ptr<ServerState> state, ConnectionPtr connection, int status) {
    SendAnswer(std::move(state), std::move(connection), status, SimpleResponse(status));
}
