#include "programs/server/http_request.h"

#include <gtest/gtest.h>

#include <vector>

#include "programs/server/multipart.h"

namespace {

using State = HttpRequestParser::State;

HttpRequestParser ParseAll(const std::string& text) {
    HttpRequestParser p;
    p.Feed(text.data(), text.size());
    return p;
}

struct Collected {
    std::vector<std::string> parts;
    std::vector<uint64_t> refused;
};

// Feeds the body in pieces of the given size (0: whole).
bool ReadParts(const std::string& body, size_t piece, Collected& out, uint64_t limit = 1000,
               const std::string& boundary = "b") {
    MultipartReader reader(
        boundary, limit, [&](std::string p) { out.parts.push_back(std::move(p)); },
        [&](uint64_t n) { out.refused.push_back(n); });
    if (piece == 0) piece = body.size();
    for (size_t at = 0; at < body.size(); at += piece)
        if (!reader.Feed(body.data() + at, std::min(piece, body.size() - at))) return false;
    return true;
}

std::string Part(const std::string& data) {
    return "--b\r\nContent-Type: image/jpeg\r\nContent-Length: " + std::to_string(data.size()) + "\r\n\r\n" + data +
           "\r\n";
}

}  // namespace

TEST(HttpRequestParse, RequestSplitAnywhereGivesTheSameResult) {
    const std::string text =
        "POST /feed.ffm?x=1 HTTP/1.1\r\nHost: h\r\nContent-TYPE:  multipart/x-mixed-replace;boundary=b \r\n\r\nBODY";
    for (size_t split = 0; split <= text.size(); ++split) {
        HttpRequestParser p;
        size_t used = p.Feed(text.data(), split);
        if (p.state() == State::Incomplete) used += p.Feed(text.data() + split, text.size() - split);
        ASSERT_EQ(p.state(), State::Done) << split;
        EXPECT_EQ(text.substr(used), "BODY");
        EXPECT_EQ(p.request().method, "POST");
        EXPECT_EQ(p.request().target, "/feed.ffm?x=1");
        EXPECT_EQ(p.request().path, "/feed.ffm");
        ASSERT_NE(p.request().Header("Content-Type"), nullptr);
        EXPECT_EQ(*p.request().Header("content-type"), "multipart/x-mixed-replace;boundary=b");
    }
}

TEST(HttpRequestParse, LenientWhereClientsDiffer) {
    HttpRequestParser p = ParseAll("\r\nGET http://host:80/demo.swf HTTP/1.0\nAccept: */*\n\n");
    ASSERT_EQ(p.state(), State::Done);
    EXPECT_EQ(p.request().path, "/demo.swf");
    EXPECT_EQ(p.request().Header("missing"), nullptr);
}

TEST(HttpRequestParse, MalformedRequestsAreBadRequests) {
    for (const char* text : {"GET /x\r\n\r\n", "GET  /x HTTP/1.1\r\n\r\n", "GET x HTTP/1.1\r\n\r\n",
                             "GET /x HTTP/2.0\r\n\r\n", "G(T /x HTTP/1.1\r\n\r\n", "GET /a\x01 HTTP/1.1\r\n\r\n",
                             "GET /x HTTP/1.1\r\nNoColon\r\n\r\n", "GET /x HTTP/1.1\r\n: v\r\n\r\n",
                             "GET /x HTTP/1.1\r\nA: 1\r\n folded\r\n\r\n", "GET /x HTTP/1.1\r\nBad Name: 1\r\n\r\n"}) {
        HttpRequestParser p = ParseAll(text);
        EXPECT_EQ(p.state(), State::BadRequest) << text;
        EXPECT_EQ(p.ErrorStatus(), 400);
    }
}

TEST(HttpRequestParse, OversizedHeadsAreRefusedWithoutWaitingForTheEnd) {
    // A request line that never ends is refused once it passes the limit.
    std::string longLine = "GET /" + std::string(HttpRequestParser::kMaxRequestLine, 'a');
    HttpRequestParser line = ParseAll(longLine);
    EXPECT_EQ(line.state(), State::BadRequest);

    std::string bigHeader = "GET / HTTP/1.1\r\nX: " + std::string(HttpRequestParser::kMaxHeaderBytes, 'v');
    HttpRequestParser big = ParseAll(bigHeader);
    EXPECT_EQ(big.state(), State::TooLarge);
    EXPECT_EQ(big.ErrorStatus(), 431);

    std::string many = "GET / HTTP/1.1\r\n";
    for (size_t i = 0; i <= HttpRequestParser::kMaxHeaderCount; ++i) many += "H" + std::to_string(i) + ": v\r\n";
    EXPECT_EQ(ParseAll(many + "\r\n").state(), State::TooLarge);

    // Just below the limits is fine.
    std::string fits = "GET / HTTP/1.1\r\nX: " + std::string(HttpRequestParser::kMaxHeaderBytes - 8, 'v') + "\r\n\r\n";
    EXPECT_EQ(ParseAll(fits).state(), State::Done);
}

TEST(HttpRequestParse, ExpectContinueOnlyFromHttp11Clients) {
    auto expects = [](const std::string& version, const std::string& headers) {
        return ExpectsContinue(ParseAll("POST /feed.ffm " + version + "\r\n" + headers + "\r\n").request());
    };
    EXPECT_TRUE(expects("HTTP/1.1", "Expect: 100-continue\r\n"));
    EXPECT_TRUE(expects("HTTP/1.1", "EXPECT:  100-Continue \r\n"));
    EXPECT_TRUE(expects("HTTP/1.1", "Expect: something-else, 100-continue\r\n"));
    EXPECT_FALSE(expects("HTTP/1.1", ""));
    EXPECT_FALSE(expects("HTTP/1.1", "Expect: 100-continued\r\n"));
    EXPECT_FALSE(expects("HTTP/1.1", "X-Expect: 100-continue\r\n"));
    // HTTP/1.0 defines no interim answers: such a client must not get one.
    EXPECT_FALSE(expects("HTTP/1.0", "Expect: 100-continue\r\n"));
}

TEST(HttpRequestParse, ContentLengthHeadersMustAgree) {
    struct Case {
        const char* headers;
        bool ok, present;
        unsigned long long length;
    };
    const Case cases[] = {
        {"", true, false, 0},
        {"Content-Length: 12\r\n", true, true, 12},
        {"Content-Length: 12\r\ncontent-length: 12\r\n", true, true, 12},
        {"Content-Length: 12\r\nContent-Length: 13\r\n", false, true, 0},
        {"Content-Length: 12\r\nX: y\r\nContent-Length: 0\r\n", false, true, 0},
        {"Content-Length: 12\r\nContent-Length: x\r\n", false, true, 0},
        {"Content-Length: -1\r\n", false, false, 0},
    };
    for (const Case& c : cases) {
        bool present = false;
        unsigned long long length = 0;
        HttpRequestParser p = ParseAll(std::string("POST /feed.ffm HTTP/1.1\r\n") + c.headers + "\r\n");
        ASSERT_EQ(p.state(), State::Done) << c.headers;
        EXPECT_EQ(RequestContentLength(p.request(), present, length), c.ok) << c.headers;
        if (!c.ok) continue;
        EXPECT_EQ(present, c.present) << c.headers;
        EXPECT_EQ(length, c.length) << c.headers;
    }
}

TEST(MultipartBody, BoundaryFromContentType) {
    EXPECT_EQ(MultipartBoundary("multipart/x-mixed-replace;boundary=ffserver"), "ffserver");
    EXPECT_EQ(MultipartBoundary("Multipart/X-Mixed-Replace; Boundary=\"a b\"; x=y"), "a b");
    EXPECT_EQ(MultipartBoundary("multipart/x-mixed-replace; boundary=abc;x=1"), "abc");
    EXPECT_EQ(MultipartBoundary("multipart/x-mixed-replace; xboundary=abc"), "");
    EXPECT_EQ(MultipartBoundary("image/jpeg; boundary=abc"), "");
    EXPECT_EQ(MultipartBoundary("multipart/x-mixed-replace"), "");
}

TEST(MultipartBody, PartsArriveWholeHoweverTheBodyIsSplit) {
    std::string body = "preamble\r\n" + Part("first") + Part(std::string(300, 'x')) +
                       "--b\r\n\r\nopen part\r\n--b\r\nContent-Length: 3\r\n\r\nend\r\n--b--\r\nepilogue";
    for (size_t piece : {0, 1, 2, 3, 7, 64}) {
        Collected got;
        ASSERT_TRUE(ReadParts(body, piece, got)) << piece;
        ASSERT_EQ(got.parts.size(), 4u) << piece;
        EXPECT_EQ(got.parts[0], "first");
        EXPECT_EQ(got.parts[1], std::string(300, 'x'));
        EXPECT_EQ(got.parts[2], "open part");
        EXPECT_EQ(got.parts[3], "end");
        EXPECT_TRUE(got.refused.empty());
    }
}

TEST(MultipartBody, OversizedPartsAreRefusedAndTheFeedGoesOn) {
    std::string big(5000, 'z');
    std::string body = Part(big) + "--b\r\n\r\n" + big + "\r\n" + Part("after");
    for (size_t piece : {0, 1, 100, 4096}) {
        Collected got;
        ASSERT_TRUE(ReadParts(body, piece, got, 1000)) << piece;
        ASSERT_EQ(got.parts.size(), 1u);
        EXPECT_EQ(got.parts[0], "after");
        ASSERT_EQ(got.refused.size(), 2u);
        EXPECT_EQ(got.refused[0], 5000u);
        EXPECT_EQ(got.refused[1], 5000u);
    }
    // Exactly at the limit is taken.
    Collected exact;
    ASSERT_TRUE(ReadParts(Part(std::string(1000, 'e')), 0, exact, 1000));
    EXPECT_EQ(exact.parts.size(), 1u);
}

// The encoder's parts all have lengths, but another producer may send tiny
// parts without: in one large read, their work must grow with the bytes, not
// with their square (it would not end in hours here).
TEST(MultipartBody, ManySmallOpenPartsInOneReadAreReadInOnePass) {
    const std::string open = "--b\r\n\r\nx\r\n";
    std::string body;
    body.reserve(16u << 20);
    while (body.size() + open.size() <= (16u << 20)) body += open;
    size_t parts = body.size() / open.size();
    body += "--b--\r\n";
    size_t got = 0;
    MultipartReader reader(
        "b", 1000, [&](std::string p) { got += p == "x"; }, [](uint64_t) {});
    ASSERT_TRUE(reader.Feed(body.data(), body.size()));
    EXPECT_TRUE(reader.finished());
    EXPECT_EQ(got, parts);
}

TEST(MultipartBody, MalformedBodiesStopTheReader) {
    Collected got;
    EXPECT_FALSE(ReadParts("--b\r\nno colon here\r\n\r\n", 0, got));
    EXPECT_FALSE(ReadParts("--b\r\nContent-Length: lots\r\n\r\n", 0, got));
    EXPECT_FALSE(ReadParts("--b\r\nContent-Length: 4\r\nContent-Length: 2\r\n\r\nabcd\r\n", 0, got));
    EXPECT_FALSE(ReadParts(std::string(MultipartReader::kMaxLine + 1, 'l'), 0, got));
    std::string headers = "--b\r\n";
    while (headers.size() <= MultipartReader::kMaxPartHeaders) headers += "X-Pad: " + std::string(100, 'p') + "\r\n";
    EXPECT_FALSE(ReadParts(headers, 0, got));
    EXPECT_TRUE(got.parts.empty());
}

TEST(ChunkedBody, DecodesSplitChunksAndEnds) {
    std::string coded = "5;ext=1\r\nhello\r\nA\r\n0123456789\r\n0\r\nTrailer: x\r\n\r\n";
    for (size_t piece = 1; piece <= coded.size(); ++piece) {
        ChunkedDecoder d;
        std::string out;
        for (size_t at = 0; at < coded.size(); at += piece)
            ASSERT_TRUE(d.Feed(coded.data() + at, std::min(piece, coded.size() - at), out));
        EXPECT_EQ(out, "hello0123456789");
        EXPECT_TRUE(d.done());
    }
    std::string trailers = "0\r\n";
    for (int i = 0; i <= ChunkedDecoder::kMaxTrailerLines; ++i) trailers += "T: x\r\n";
    for (const std::string& bad :
         {std::string("xyz\r\n"), std::string("5\r\nhelloX\r\n"), std::string("1234567890123456\r\n"), trailers}) {
        ChunkedDecoder d;
        std::string out;
        EXPECT_FALSE(d.Feed(bad.data(), bad.size(), out)) << bad;
    }
}
