// The feed protocol over the socket: the stream's parameters (GET), the push (POST with
// "Expect: 100-continue") and its frames, and the bounded wait for the server.
#include "programs/encoder/feed_client.h"

#include <algorithm>
#include <thread>

#include "programs/encoder/delivery_ledger.h"
#include "programs/encoder/feed_framing.h"
#include "programs/encoder/feed_socket.h"
#include "programs/encoder/feed_wait.h"
#include "programs/encoder/http_answer.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kIoTimeout{10000};
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

}  // namespace

struct FeedClient::Impl {
    FeedUrl url;
    const std::atomic<bool>& stop;
    milliseconds stall;  // a write may take nothing for this long
    FeedSocket socket;
    DeliveryLedger ledger;
    bool accepted = false;  // the server took the feed on this connection
    // What the server said on the feed connection; any final answer there ends the feed.
    HttpAnswer feedAnswer;
    bool saidContinue = false;        // it said "100 Continue" on this connection
    bool serverSaysContinue = false;  // it has done so once: its silence is no acceptance
    std::string connectionEnd;        // why it ended, when it ended without an answer
    std::string frameHead;            // the chunk's and the part's head of the frame being sent

    Impl(FeedUrl u, const std::atomic<bool>& s, milliseconds w, milliseconds st)
        : url(std::move(u)), stop(s), stall(st), socket(s), ledger(w) {}

    std::string HostHeader() const { return HostAndPort(url.host, url.port); }
    bool ConnectWhenServerIsUp(const Deadline& deadline, std::string& error);
    bool FetchParameters(StreamParameters& params, const Deadline& deadline, std::string& error);
    bool Open(const Deadline& deadline, std::string& error);
    void ListenForFeedAnswer();
    std::string FeedAnswerText() const;
    void CountFromHere();
    void EndBodyAndClose();
    void DropConnection();
};

// Connection attempts until one succeeds, the wait ends or a stop is asked.
bool FeedClient::Impl::ConnectWhenServerIsUp(const Deadline& deadline, std::string& error) {
    for (;;) {
        if (socket.ConnectToAnyAddress(url.host, url.port, deadline.at, error)) return true;
        if (stop) return false;
        if (deadline.NoTimeForAnother()) {
            error += "; the server did not come up within " + WaitText(deadline.whole);
            return false;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
}

bool FeedClient::Impl::FetchParameters(StreamParameters& params, const Deadline& deadline, std::string& error) {
    EndBodyAndClose();
    const std::string request = "GET " + url.path + " HTTP/1.1\r\nHost: " + HostHeader() +
                                "\r\nUser-Agent: orvane\r\nConnection: close\r\n\r\n";
    for (;;) {
        if (!ConnectWhenServerIsUp(deadline, error)) return false;
        HttpAnswer answer;
        bool ok = socket.Write(request, deadline.Cap(kIoTimeout), error) &&
                  socket.ReadAnswer(answer, deadline.at, kIoTimeout, error);
        socket.Close();
        if (ok) {
            StatusLine status;
            std::string body;
            if (!answer.Body(body) || !answer.Status(status)) {
                error = "the server's answer is not HTTP";
                return false;
            }
            if (status.code == 200) return ParseStreamParameters(body, params, error);
            error = "the server refused the feed " + url.path + ": " + status.status;
            // Busy (all its connections taken) may pass; anything else will not.
            if (status.code != 503) return false;
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
    const std::string request = "POST " + url.path + " HTTP/1.1\r\nHost: " + HostHeader() +
                                "\r\nUser-Agent: orvane\r\nContent-Type: multipart/x-mixed-replace;boundary=" +
                                kFeedBoundary +
                                "\r\nTransfer-Encoding: chunked\r\nExpect: 100-continue\r\nConnection: close\r\n\r\n";
    for (;;) {
        EndBodyAndClose();
        if (!ConnectWhenServerIsUp(deadline, error)) return false;
        // A busy server answers before it reads anything.
        ListenForFeedAnswer();
        if (socket.Write(request, deadline.Cap(kIoTimeout), error) || socket.Answered()) {
            // A server known to answer the expectation is waited for as for any answer.
            Clock::time_point quietUntil = Clock::now() + kAcceptQuiet;
            socket.AwaitAnswer(serverSaysContinue ? deadline.Cap(kIoTimeout) : std::min(quietUntil, deadline.at),
                               [this] { return saidContinue; });
            if (stop) return false;
            if (socket.Answered()) {
                // Refused (another feeder holds it, it does not exist for us, the server is busy)
                // or dropped at once: a failed attempt.
                error = FeedAnswerText();
            } else if (saidContinue || (!serverSaysContinue && Clock::now() >= quietUntil)) {
                // Accepted; or a server that ignores the expectation was silent all this time.
                if (saidContinue) serverSaysContinue = true;
                accepted = true;
                CountFromHere();
                return true;
            } else if (Clock::now() < deadline.at) {
                // This attempt's own time-out: a failed attempt.
                error = "the server did not answer the feed " + url.path;
            } else {
                // The wait ended before a refusal could have come.
                error = "the server did not take the feed within " + WaitText(deadline.whole);
                EndBodyAndClose();
                return false;
            }
        }
        if (stop) return false;
        if (deadline.NoTimeForAnother()) {
            error += "; the server did not take the feed within " + WaitText(deadline.whole);
            EndBodyAndClose();
            return false;
        }
        std::this_thread::sleep_for(kRetryPause);
    }
}

// Hears the server on the feed connection, from the moment it is connected, until a final
// status line or the end of the connection.
void FeedClient::Impl::ListenForFeedAnswer() {
    socket.Listen([this](const char* data, size_t size, const asio::error_code& end) {
        feedAnswer.Append(data, size);
        if (end) {
            connectionEnd = end == asio::error::eof ? "closed" : end.message();
            return true;
        }
        return feedAnswer.TakeInterimAnswers(saidContinue) || feedAnswer.TooLong();
    });
}

std::string FeedClient::Impl::FeedAnswerText() const {
    if (feedAnswer.Empty()) return "the server ended the feed connection (" + connectionEnd + ")";
    StatusLine status;
    if (!feedAnswer.Status(status)) return "the server's answer is not HTTP";
    if (status.code / 100 == 2) return "the server ended the feed " + url.path + ": " + status.status;
    return "the server refused the feed " + url.path + ": " + status.status;
}

// Starts the count of what the server has surely read on a new connection.
void FeedClient::Impl::CountFromHere() {
    const int sendBuffer = std::max(socket.SetSendBuffer(kFeedSendBuffer), kFeedSendBuffer);
    ledger.NewConnection(static_cast<uint64_t>(sendBuffer) + kServerMayHold);
}

void FeedClient::Impl::EndBodyAndClose() {
    // Small enough for the socket's buffer; never waits, should a server that has stopped
    // reading have filled it.
    if (accepted && !socket.Answered()) socket.WriteWithoutWaiting(FeedBodyEnd());
    DropConnection();
}

// Closes the connection and forgets it, answer included.
void FeedClient::Impl::DropConnection() {
    socket.Close();
    accepted = false;
    feedAnswer.Clear();
    saidContinue = false;
    connectionEnd.clear();
}

FeedClient::FeedClient(FeedUrl url, const std::atomic<bool>& stop, std::chrono::milliseconds wait,
                       std::chrono::milliseconds stall)
    : impl_(new Impl(std::move(url), stop, wait, stall)) {}

FeedClient::~FeedClient() { Close(); }

bool FeedClient::FetchParametersAndOpen(StreamParameters& params, std::string& error) {
    Impl& d = *impl_;
    // The wait runs from the last frame that got through, or from the first call.
    d.ledger.StartWaitOnce(Clock::now());
    if (d.ledger.WaitIsOver(Clock::now())) {
        error = "no frame got through within " + WaitText(d.ledger.Wait());
        return false;
    }
    const Deadline deadline{d.ledger.WaitEnd(), d.ledger.Wait()};
    return d.FetchParameters(params, deadline, error) && d.Open(deadline, error);
}

bool FeedClient::FetchParameters(StreamParameters& params, std::chrono::milliseconds wait, std::string& error) {
    return impl_->FetchParameters(params, Deadline::After(wait), error);
}

bool FeedClient::Open(std::chrono::milliseconds wait, std::string& error) {
    return impl_->Open(Deadline::After(wait), error);
}

bool FeedClient::Send(const std::vector<uint8_t>& jpeg, std::string& error) {
    Impl& d = *impl_;
    if (!d.accepted) {
        error = "the feed is not open";
        return false;
    }
    // The chunk's size line and the part's head, the JPEG as it is, and the ends of both,
    // in one gathered write: the JPEG is not copied on its way to the socket.
    FrameHead(jpeg.size(), d.frameHead);
    const FeedSocket::Pieces frame = {asio::buffer(d.frameHead), asio::buffer(jpeg),
                                      asio::buffer(kFrameTail.data(), kFrameTail.size())};
    // An answer that came since the last frame ends the feed before this one is written.
    d.socket.AwaitAnswer(Clock::now());
    if (d.socket.Answered() || !d.socket.WriteGathered(frame, d.stall, error)) {
        if (d.socket.Answered()) {
            error = d.FeedAnswerText();
        } else if (d.socket.TimedOut()) {
            // What it took lately may still sit in the buffers: it did not get through.
            error = "the server has stopped reading the feed (it took nothing for " + WaitText(d.stall) + ")";
            d.ledger.ServerStoppedReading();
        } else {
            error = "the feed connection failed (" + error + ")";
        }
        d.DropConnection();
        return false;
    }
    d.ledger.Written(d.frameHead.size() + jpeg.size() + kFrameTail.size(), Clock::now());
    return true;
}

bool FeedClient::StillUsable(std::string& error) {
    Impl& d = *impl_;
    if (!d.accepted) {
        error = "the feed is not open";
        return false;
    }
    d.socket.AwaitAnswer(Clock::now());
    if (d.socket.Answered()) {
        error = d.FeedAnswerText();
        d.DropConnection();
        return false;
    }
    return true;
}

bool FeedClient::WaitIsOver(std::string& error) const {
    const Impl& d = *impl_;
    if (!d.ledger.WaitIsOver(Clock::now())) return false;
    error = "no frame got through within " + WaitText(d.ledger.Wait());
    return true;
}

void FeedClient::Close() { impl_->EndBodyAndClose(); }
