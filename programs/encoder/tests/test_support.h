// Helpers for the encoder's tests: camera frames, writing small GIFs, and a stand-in feed
// receiver.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "programs/encoder/capture_format.h"
#include "programs/encoder/image.h"

// The picture as a camera in `format` would deliver it (RGB DIBs, YUY2, UYVY, NV12, I420;
// limited-range BT.601 for the YUV formats).
std::vector<uint8_t> Frame(const RgbImage& img, const CaptureFormat& f);
// A JPEG of the picture at quality 90: with the standard Huffman tables, or with tables
// made for it; the luma sampled 2x2 against the chroma (4:2:0) unless told otherwise.
std::vector<uint8_t> Jpeg(const RgbImage& img, bool ownTables, int lumaWidthFactor = 2, int lumaHeightFactor = 2);
// The frame as a webcam sends it: the Huffman table segments (FF C4) left out.
std::vector<uint8_t> WithoutHuffmanTables(const std::vector<uint8_t>& jpeg);

// Builds a GIF with one image whose pixels are coded as literals (a clear code before
// the table would widen), so tests can make any picture, well-formed or not.
struct GifLayout {
    int screenW = 4, screenH = 4;
    std::vector<uint8_t> globalTable;  // RGB triples; empty for none
    std::vector<uint8_t> localTable;   // RGB triples; empty for none
    int left = 0, top = 0, width = 4, height = 4;
    bool interlaced = false;
    int minCodeSize = 2;
    std::vector<uint8_t> pixels;      // width * height indices, in file order
    std::vector<uint8_t> extensions;  // raw extension blocks placed before the image
};
std::vector<uint8_t> MakeGif(const GifLayout& layout);
// Just the LZW stream (without sub-blocks) of literal codes for `indices`.
std::vector<uint8_t> LiteralLzw(const std::vector<uint8_t>& indices, int minCodeSize);
// Wraps data in GIF sub-blocks with the terminator.
std::vector<uint8_t> SubBlocks(const std::vector<uint8_t>& data);

// A feed receiver on 127.0.0.1: answers GET with `parameters` (or `status` when it is not
// "200 OK") and collects the JPEG parts of POSTed multipart bodies (chunked or not). Like
// servers that ignore "Expect: 100-continue", it takes a feed in silence unless told to
// answer the expectation.
class FakeFeedServer {
public:
    explicit FakeFeedServer(std::string parameters, std::string status = "200 OK", uint16_t port = 0);
    ~FakeFeedServer();
    uint16_t Port() const { return port_; }
    // Waits until `count` parts have arrived (or the timeout passed); returns what arrived.
    std::vector<std::string> WaitForParts(size_t count, int timeoutMs);
    int Gets() const { return gets_; }
    int Posts() const { return posts_; }

    // Answers the next `count` GETs (every one when negative) with `status`.
    void RefuseGets(std::string status, int count = -1);
    // Answers the next `count` feeds (every one when negative) with `status`, a feed in
    // progress at its next read; then, as the real server does, reads and discards until
    // the client closes. `afterContinue`: a new feed that asks hears "100 Continue" first,
    // in the same write.
    void RefuseFeeds(std::string status, int count = -1, bool afterContinue = false);
    // Answers "Expect: 100-continue" with "100 Continue" when it takes a feed.
    void AnswerContinue() { answerContinue_ = true; }
    // How long it takes to answer a feed's request head (its 100 or its refusal).
    void SetFeedAnswerDelay(int ms) { feedAnswerDelayMs_ = ms; }
    // Takes new feeds but reads nothing of them, as a server that hangs.
    void StopReadingFeeds() { stopReading_ = true; }
    int Continues() const { return continues_; }
    // Body bytes that had come on feeds before their "100 Continue" was sent.
    size_t BodyBytesBeforeContinue() const { return bodyBeforeContinue_; }

private:
    struct Net;
    struct Refusal {
        std::string status;
        int count = 0;
        bool afterContinue = false;
    };
    void Serve();
    void Handle(size_t connection);
    bool TakeRefusal(Refusal& refusal, std::string& status, bool* afterContinue = nullptr);

    std::string parameters_, status_;
    Refusal getRefusal_, feedRefusal_;
    std::atomic<int> posts_{0};
    std::atomic<bool> answerContinue_{false};
    std::atomic<int> feedAnswerDelayMs_{0};
    std::atomic<int> continues_{0};
    std::atomic<bool> stopReading_{false};
    std::atomic<size_t> bodyBeforeContinue_{0};
    Net* net_;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<int> gets_{0};
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::string> parts_;
    std::vector<std::thread> threads_;
    std::thread acceptor_;
};
