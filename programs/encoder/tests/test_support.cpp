#include "programs/encoder/tests/test_support.h"

#include <asio.hpp>
#include <jpeglib.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>

std::vector<uint8_t> LiteralLzw(const std::vector<uint8_t>& indices, int minCodeSize) {
    const int clear = 1 << minCodeSize, width = minCodeSize + 1;
    // After a clear, the decoder's table reaches the next width after this many literals.
    const size_t run = static_cast<size_t>((1 << width) - clear - 2);
    std::vector<uint8_t> out;
    uint32_t acc = 0;
    int bits = 0;
    auto emit = [&](int code) {
        acc |= static_cast<uint32_t>(code) << bits;
        bits += width;
        while (bits >= 8) {
            out.push_back(static_cast<uint8_t>(acc));
            acc >>= 8;
            bits -= 8;
        }
    };
    for (size_t i = 0; i < indices.size(); ++i) {
        if (i % run == 0) emit(clear);
        emit(indices[i]);
    }
    emit(clear + 1);
    if (bits) out.push_back(static_cast<uint8_t>(acc));
    return out;
}

std::vector<uint8_t> SubBlocks(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < data.size(); i += 255) {
        size_t n = std::min<size_t>(255, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + n));
    }
    out.push_back(0);
    return out;
}

namespace {

void Word(std::vector<uint8_t>& out, int v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

// Size bits of a colour table: 2 << bits entries.
uint8_t TableBits(const std::vector<uint8_t>& table) {
    uint8_t bits = 0;
    while ((2u << bits) * 3 < table.size()) ++bits;
    return bits;
}

}  // namespace

std::vector<uint8_t> MakeGif(const GifLayout& s) {
    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
    Word(out, s.screenW);
    Word(out, s.screenH);
    out.push_back(s.globalTable.empty() ? 0 : static_cast<uint8_t>(0xF0 | TableBits(s.globalTable)));
    out.push_back(0);
    out.push_back(0);
    if (!s.globalTable.empty()) {
        out.insert(out.end(), s.globalTable.begin(), s.globalTable.end());
        out.resize(out.size() + (2u << TableBits(s.globalTable)) * 3 - s.globalTable.size());
    }
    out.insert(out.end(), s.extensions.begin(), s.extensions.end());
    out.push_back(0x2C);
    Word(out, s.left);
    Word(out, s.top);
    Word(out, s.width);
    Word(out, s.height);
    uint8_t flags = s.interlaced ? 0x40 : 0;
    if (!s.localTable.empty()) flags |= static_cast<uint8_t>(0x80 | TableBits(s.localTable));
    out.push_back(flags);
    if (!s.localTable.empty()) {
        out.insert(out.end(), s.localTable.begin(), s.localTable.end());
        out.resize(out.size() + (2u << TableBits(s.localTable)) * 3 - s.localTable.size());
    }
    out.push_back(static_cast<uint8_t>(s.minCodeSize));
    std::vector<uint8_t> blocks = SubBlocks(LiteralLzw(s.pixels, s.minCodeSize));
    out.insert(out.end(), blocks.begin(), blocks.end());
    out.push_back(0x3B);
    return out;
}

struct FakeFeedServer::Net {
    asio::io_context io;
    asio::ip::tcp::acceptor acceptor{io};
    std::mutex mutex;
    std::vector<std::shared_ptr<asio::ip::tcp::socket>> sockets;
};

FakeFeedServer::FakeFeedServer(std::string parameters, std::string status, uint16_t port)
    : parameters_(std::move(parameters)), status_(std::move(status)), net_(new Net) {
    asio::ip::tcp::endpoint at(asio::ip::make_address("127.0.0.1"), port);
    net_->acceptor.open(at.protocol());
    net_->acceptor.set_option(asio::socket_base::reuse_address(true));
    net_->acceptor.bind(at);
    net_->acceptor.listen();
    port_ = net_->acceptor.local_endpoint().port();
    acceptor_ = std::thread([this] { Serve(); });
}

FakeFeedServer::~FakeFeedServer() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        arrived_.notify_all();  // wakes the feeds it does not read
    }
    // Wake the blocking accept with a connection of our own.
    try {
        asio::io_context io;
        asio::ip::tcp::socket wake(io);
        wake.connect(asio::ip::tcp::endpoint(asio::ip::make_address("127.0.0.1"), port_));
    } catch (const std::exception&) {
    }
    acceptor_.join();
    {
        std::lock_guard<std::mutex> lock(net_->mutex);
        for (auto& s : net_->sockets) {
            asio::error_code ignored;
            s->shutdown(asio::socket_base::shutdown_both, ignored);
        }
    }
    for (auto& t : threads_) t.join();
    delete net_;
}

void FakeFeedServer::Serve() {
    for (;;) {
        auto socket = std::make_shared<asio::ip::tcp::socket>(net_->io);
        asio::error_code ec;
        net_->acceptor.accept(*socket, ec);
        if (stopping_) return;
        if (ec) continue;
        size_t index;
        {
            std::lock_guard<std::mutex> lock(net_->mutex);
            net_->sockets.push_back(socket);
            index = net_->sockets.size() - 1;
        }
        threads_.emplace_back([this, index] { Handle(index); });
    }
}

void FakeFeedServer::Handle(size_t connection) {
    std::shared_ptr<asio::ip::tcp::socket> socket;
    {
        std::lock_guard<std::mutex> lock(net_->mutex);
        socket = net_->sockets[connection];
    }
    std::string data;
    char buffer[65536];
    asio::error_code ec;
    auto readMore = [&] {
        size_t n = socket->read_some(asio::buffer(buffer), ec);
        data.append(buffer, n);
        return !ec;
    };
    while (data.find("\r\n\r\n") == std::string::npos)
        if (!readMore()) return;
    size_t headEnd = data.find("\r\n\r\n") + 4;
    std::string head = data.substr(0, headEnd);
    data.erase(0, headEnd);
    std::string refusal;
    bool continueFirst = false;
    auto refuse = [&] {
        std::string answer = std::string(continueFirst ? "HTTP/1.1 100 Continue\r\n\r\n" : "") + "HTTP/1.0 " + refusal +
                             "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        asio::write(*socket, asio::buffer(answer), ec);
        socket->shutdown(asio::socket_base::shutdown_send, ec);
        while (readMore()) data.clear();
    };
    if (head.compare(0, 4, "GET ") == 0) {
        ++gets_;
        if (TakeRefusal(getRefusal_, refusal)) return refuse();
        std::string answer = "HTTP/1.1 " + status_ +
                             "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(parameters_.size()) +
                             "\r\nConnection: close\r\n\r\n" + parameters_;
        asio::write(*socket, asio::buffer(answer), ec);
        return;
    }
    ++posts_;
    bool chunked = head.find("chunked") != std::string::npos;
    std::string lowerHead = head;
    for (char& c : lowerHead) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    bool continues = answerContinue_ && lowerHead.find("\r\nexpect: 100-continue\r\n") != std::string::npos;
    std::this_thread::sleep_for(std::chrono::milliseconds(feedAnswerDelayMs_));
    std::string body;
    if (stopReading_) {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait(lock, [&] { return stopping_.load(); });
        return;
    }
    for (bool first = true;; first = false) {
        if (TakeRefusal(feedRefusal_, refusal, &continueFirst)) {
            continueFirst = continueFirst && first && continues;
            return refuse();
        }
        if (first && continues) {
            bodyBeforeContinue_ += data.size() + socket->available(ec);
            asio::write(*socket, asio::buffer(std::string("HTTP/1.1 100 Continue\r\n\r\n")), ec);
            ++continues_;
        }
        // Undo the chunked coding as far as the data goes.
        if (chunked) {
            for (;;) {
                size_t eol = data.find("\r\n");
                if (eol == std::string::npos) break;
                size_t size = std::strtoul(data.substr(0, eol).c_str(), nullptr, 16);
                if (data.size() < eol + 2 + size + 2) break;
                body += data.substr(eol + 2, size);
                data.erase(0, eol + 2 + size + 2);
            }
        } else {
            body += data;
            data.clear();
        }
        // Take every complete part.
        for (;;) {
            size_t at = body.find("Content-Length: ");
            if (at == std::string::npos) break;
            size_t end = body.find("\r\n\r\n", at);
            if (end == std::string::npos) break;
            size_t length = std::strtoul(body.c_str() + at + 16, nullptr, 10);
            if (body.size() < end + 4 + length) break;
            std::lock_guard<std::mutex> lock(mutex_);
            parts_.push_back(body.substr(end + 4, length));
            body.erase(0, end + 4 + length);
            arrived_.notify_all();
        }
        if (!readMore()) return;
    }
}

std::vector<std::string> FakeFeedServer::WaitForParts(size_t count, int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    arrived_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return parts_.size() >= count; });
    return parts_;
}

void FakeFeedServer::RefuseGets(std::string status, int count) {
    std::lock_guard<std::mutex> lock(mutex_);
    getRefusal_ = Refusal{std::move(status), count};
}

void FakeFeedServer::RefuseFeeds(std::string status, int count, bool afterContinue) {
    std::lock_guard<std::mutex> lock(mutex_);
    feedRefusal_ = Refusal{std::move(status), count, afterContinue};
}

bool FakeFeedServer::TakeRefusal(Refusal& refusal, std::string& status, bool* afterContinue) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (refusal.count == 0) return false;
    if (refusal.count > 0) --refusal.count;
    status = refusal.status;
    if (afterContinue) *afterContinue = refusal.afterContinue;
    return true;
}

static void Yuv(const uint8_t* rgb, int& y, int& u, int& v) {
    int r = rgb[0], g = rgb[1], b = rgb[2];
    y = ((66 * r + 129 * g + 25 * b + 128) >> 8) + 16;
    u = ((-38 * r - 74 * g + 112 * b + 128) >> 8) + 128;
    v = ((112 * r - 94 * g - 18 * b + 128) >> 8) + 128;
}

std::vector<uint8_t> Frame(const RgbImage& img, const CaptureFormat& f) {
    int w = img.width, h = img.height;
    std::vector<uint8_t> out(CaptureFrameBytes(f));
    size_t stride = out.size() / h;
    uint8_t* uv = out.data() + static_cast<size_t>(w) * h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = img.Row(y) + x * 3;
            int Y, U, V;
            Yuv(p, Y, U, V);
            size_t c = static_cast<size_t>(y / 2) * (w / 2) + x / 2;
            switch (f.compression) {
            case 0: {
                uint8_t* d = out.data() + stride * (f.height > 0 ? h - 1 - y : y) + x * (f.bitCount / 8);
                d[0] = p[2], d[1] = p[1], d[2] = p[0];
                break;
            }
            case FourCC('Y', 'U', 'Y', '2'):
                out[(static_cast<size_t>(y) * w + x) * 2] = static_cast<uint8_t>(Y);
                out[(static_cast<size_t>(y) * w + x) * 2 + 1] = static_cast<uint8_t>(x % 2 ? V : U);
                break;
            case FourCC('U', 'Y', 'V', 'Y'):
                out[(static_cast<size_t>(y) * w + x) * 2 + 1] = static_cast<uint8_t>(Y);
                out[(static_cast<size_t>(y) * w + x) * 2] = static_cast<uint8_t>(x % 2 ? V : U);
                break;
            case FourCC('N', 'V', '1', '2'):
                out[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(Y);
                uv[c * 2] = static_cast<uint8_t>(U), uv[c * 2 + 1] = static_cast<uint8_t>(V);
                break;
            case FourCC('I', '4', '2', '0'):
                out[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(Y);
                uv[c] = static_cast<uint8_t>(U), uv[static_cast<size_t>(w) * h / 4 + c] = static_cast<uint8_t>(V);
                break;
            }
        }
    return out;
}

std::vector<uint8_t> Jpeg(const RgbImage& img, bool ownTables, int lumaWidthFactor, int lumaHeightFactor) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = static_cast<JDIMENSION>(img.width);
    c.image_height = static_cast<JDIMENSION>(img.height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    c.comp_info[0].h_samp_factor = lumaWidthFactor;
    c.comp_info[0].v_samp_factor = lumaHeightFactor;
    c.optimize_coding = ownTables ? TRUE : FALSE;
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(img.Row(static_cast<int>(c.next_scanline)));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return out;
}

std::vector<uint8_t> WithoutHuffmanTables(const std::vector<uint8_t>& jpeg) {
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at + 1] != 0xDA) {
        size_t length = 2 + (jpeg[at + 2] << 8 | jpeg[at + 3]);
        if (jpeg[at + 1] != 0xC4) out.insert(out.end(), jpeg.begin() + at, jpeg.begin() + at + length);
        at += length;
    }
    out.insert(out.end(), jpeg.begin() + at, jpeg.end());
    return out;
}
