#include "backend/server_config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "backend/text_mode.h"

namespace {

size_t CountLines(const std::wstring& text) {
    size_t n = 0;
    for (wchar_t c : text) n += c == L'\n';
    return n;
}

StreamSettings Read(const std::wstring& text, StreamSettings s = {}) {
    ReadServerConfig(text, s);
    return s;
}

// Reads the file's bytes as a stream would deliver them: at most `chunk` bytes a read.
StreamSettings ReadFileInChunks(const std::string& bytes, size_t chunk, StreamSettings s = {}) {
    size_t at = 0;
    ReadServerConfigFile(
        [&](char* buffer, size_t size) {
            size_t n = std::min({chunk, size, bytes.size() - at});
            std::memcpy(buffer, bytes.data() + at, n);
            at += n;
            return n;
        },
        s);
    return s;
}

std::wstring DecodeInChunks(const std::string& bytes, size_t chunk) {
    TextModeDecoder decoder;
    std::wstring out;
    for (size_t at = 0; at < bytes.size(); at += chunk)
        decoder.Decode(bytes.data() + at, std::min(chunk, bytes.size() - at), out);
    decoder.Finish(out);
    return out;
}

}  // namespace

TEST(ServerConfigWriter, DefaultsGiveEighteenLines) {
    std::wstring text = FormatServerConfig(StreamSettings{});
    EXPECT_EQ(CountLines(text), 18u);
    EXPECT_EQ(text,
              L"Port 80\nBindAddress 0.0.0.0\nMaxHTTPConnections 2000\nMaxClients 1\n"
              L"MaxBandwidth 100000\nCustomLog -\nNoDaemon\n<Feed feed.ffm>\nFile mem:feed.ffm\n"
              L"FileMaxSize 200K\nACL allow 127.0.0.1\n</Feed>\n<Stream demo.swf>\nFormat swf\n"
              L"Feed feed.ffm\nNoAudio\nVideoFrameRate 15\n</Stream>\n");
}

TEST(ServerConfigWriter, SizeNeedsBothDimensionsAndBitRateMustBePositive) {
    StreamSettings s;
    s.width = 320;
    EXPECT_EQ(CountLines(FormatServerConfig(s)), 18u);
    s.height = 240;
    EXPECT_NE(FormatServerConfig(s).find(L"\nVideoSize 320x240\n"), std::wstring::npos);
    EXPECT_EQ(CountLines(FormatServerConfig(s)), 19u);
    s.width = -5;  // a negative value counts as set
    EXPECT_NE(FormatServerConfig(s).find(L"\nVideoSize -5x240\n"), std::wstring::npos);
    s.bitRate = -1;
    EXPECT_EQ(CountLines(FormatServerConfig(s)), 19u);
    s.bitRate = 100;
    std::wstring text = FormatServerConfig(s);
    EXPECT_EQ(CountLines(text), 21u);
    EXPECT_NE(text.find(L"VideoSize -5x240\nVideoBitRate 100\nVideoBitRateTolerance 7\n</Stream>\n"),
              std::wstring::npos);
}

TEST(ServerConfigWriter, ToleranceValues) {
    EXPECT_EQ(BitRateTolerance(100, 15), 7);
    EXPECT_EQ(BitRateTolerance(64, 60), 2);
    EXPECT_EQ(BitRateTolerance(500, 1), 501);
    // Beyond what the settings check admits: no division by zero, no overflow.
    EXPECT_EQ(BitRateTolerance(500, 0), 501);
    EXPECT_EQ(BitRateTolerance(INT_MAX, 1), INT_MAX);
    EXPECT_EQ(BitRateTolerance(INT_MAX, 0), INT_MAX);
    EXPECT_EQ(BitRateTolerance(100, -15), -5);
    StreamSettings s;
    s.frameRate = 0;
    s.bitRate = 300;
    EXPECT_NE(FormatServerConfig(s).find(L"VideoBitRateTolerance 301\n"), std::wstring::npos);
}

TEST(ServerConfigReader, RoundTrip) {
    StreamSettings s{8080, 640, 480, 30, 300};
    EXPECT_EQ(Read(FormatServerConfig(s)), s);
    StreamSettings partial{81, 320, 0, 5, -3};
    StreamSettings back = Read(FormatServerConfig(partial), StreamSettings{1, 2, 3, 4, 5});
    EXPECT_EQ(back, (StreamSettings{81, 2, 3, 5, 5}));
}

TEST(ServerConfigReader, PrefixesFoldAsciiCaseAndNeedTheSpace) {
    EXPECT_EQ(Read(L"port 8080\n").port, 8080);
    EXPECT_EQ(Read(L"PORT 8080\n").port, 8080);
    EXPECT_EQ(Read(L"Port\t8080\n").port, 80);
    EXPECT_EQ(Read(L"  Port 8080\n").port, 80);
    EXPECT_EQ(Read(L"Port abc\n").port, 80);
    EXPECT_EQ(Read(L"Port    -12xyz\n").port, -12);
    EXPECT_EQ(Read(L"VIDEOFRAMERATE 25").frameRate, 25);
    // The tolerance line is never read back: its 13th character is 'T'.
    EXPECT_EQ(Read(L"VideoBitRateTolerance 7\n"), StreamSettings{});
    EXPECT_EQ(Read(L"VideoBitRate -5\n").bitRate, -5);
    // Only A-Z fold: a dotted capital I is not an 'i'.
    EXPECT_EQ(Read(L"V\u0130deoFrameRate 1\n").frameRate, 15);
}

TEST(ServerConfigReader, VideoSizeRules) {
    StreamSettings s = Read(L"VideoSize 640x480\n");
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 480);
    s = Read(L"VideoSize 640\n");
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 0);
    s = Read(L"VideoSize 640X480\n");
    EXPECT_EQ(s.width, 640);
    EXPECT_EQ(s.height, 0);
    s = Read(L"VideoSize 640x  480\n");
    EXPECT_EQ(s.height, 480);
    s = Read(L"VideoSize 640 x480\n");
    EXPECT_EQ(s.height, 0);
    s = Read(L"VideoSize x480\n");
    EXPECT_EQ(s.width, 0);
    EXPECT_EQ(s.height, 0);
}

TEST(ServerConfigReader, LaterLineWinsAndValuesClamp) {
    EXPECT_EQ(Read(L"Port 1\nPort 2\n").port, 2);
    EXPECT_EQ(Read(L"Port 99999999999999999999\n").port, INT_MAX);
    EXPECT_EQ(Read(L"Port -99999999999\n").port, INT_MIN);
    EXPECT_EQ(Read(L"Port 2147483648\n").port, INT_MAX);
    EXPECT_EQ(Read(L"Port -2147483648\n").port, INT_MIN);
}

TEST(ServerConfigReader, LongLinesAreReadInPieces) {
    // 1023 characters of padding, then a directive: the second piece starts with it.
    std::wstring text = std::wstring(1023, L'#') + L"Port 81\n";
    EXPECT_EQ(Read(text).port, 81);
    // A 3000-character line: pieces start at 0, 1023 and 2046.
    std::wstring line(3000, L' ');
    line.replace(2046, 8, L"Port 82 ");
    EXPECT_EQ(Read(line + L"\n").port, 82);
    line = std::wstring(3000, L' ');
    line.replace(2045, 8, L"Port 83 ");  // straddles a piece boundary
    EXPECT_EQ(Read(line + L"\n").port, 80);
}

TEST(TextFileCodec, WritesCrLfAndReadsAsTextModeDoes) {
    EXPECT_EQ(EncodeTextFile(L"a\nb\n"), "a\r\nb\r\n");
    EXPECT_EQ(DecodeTextFile("a\r\nb\r\n"), L"a\nb\n");
    EXPECT_EQ(DecodeTextFile("a\rb\r\r\n"), L"a\rb\r\n");
    EXPECT_EQ(DecodeTextFile(std::string("Port 1\r\n\x1APort 2\r\n")), L"Port 1\n");
    EXPECT_EQ(DecodeTextFile("\xE9"), std::wstring(1, wchar_t(0xE9)));
    // A lone CR ends no line: "Port 81\rPort 82" is one line for the reader.
    EXPECT_EQ(Read(DecodeTextFile("Port 81\rPort 82\r\n")).port, 81);
    // Whole file on disk, byte for byte: no BOM, CR LF.
    std::string bytes = EncodeTextFile(FormatServerConfig(StreamSettings{}));
    EXPECT_EQ(bytes.substr(0, 9), "Port 80\r\n");
    EXPECT_EQ(bytes.substr(bytes.size() - 11), "</Stream>\r\n");
}

TEST(TextFileCodec, ChunksDecodeAsTheWholeFile) {
    // A CR at the end of a chunk: whether it ends a line shows only in the next one.
    TextModeDecoder decoder;
    std::wstring out;
    decoder.Decode("a\r", 2, out);
    EXPECT_EQ(out, L"a");
    decoder.Decode("\nb\r", 3, out);
    EXPECT_EQ(out, L"a\nb");
    decoder.Decode("c", 1, out);
    EXPECT_EQ(out, L"a\nb\rc");
    decoder.Decode("\r", 1, out);
    decoder.Finish(out);  // a CR at the very end is a lone one
    EXPECT_EQ(out, L"a\nb\rc\r");
    EXPECT_FALSE(decoder.Ended());
    // Nothing after the end-of-file byte, in that chunk or later ones.
    decoder.Decode(
        "d\x1A"
        "e",
        3, out);
    EXPECT_TRUE(decoder.Ended());
    decoder.Decode("f", 1, out);
    decoder.Finish(out);
    EXPECT_EQ(out, L"a\nb\rc\rd");

    const std::string files[] = {
        "a\r\nb\r\n",
        "a\rb\r\r\n",
        "\r\r\r\n\r",
        std::string("Port 1\r\n\x1APort 2\r\n"),
        std::string("\r\x1A\r\n", 4),
        "\xE9\r\n\n\r",
    };
    for (const std::string& file : files)
        for (size_t chunk : {1, 2, 3, 5}) EXPECT_EQ(DecodeInChunks(file, chunk), DecodeTextFile(file)) << chunk;
}

TEST(ServerConfigReader, FileReadInChunksGivesTheSameSettings) {
    std::string longLines = std::string(1023, '#') + "Port 81\r\n";
    std::string straddling(3000, ' ');
    straddling.replace(2045, 8, "Port 83 ");  // across a piece boundary: ignored
    std::string inPiece(3000, ' ');
    inPiece.replace(2046, 12, "VideoSize 8x");  // starts the third piece
    const std::string files[] = {
        EncodeTextFile(FormatServerConfig(StreamSettings{8080, 640, 480, 30, 300})),
        "port 81\r\nVideoFrameRate 5\rX\r\n\x1AVideoBitRate 9\r\n",
        "Port 81\rPort 82\r\n",
        longLines,
        straddling + "\r\nVideoFrameRate 7",  // no line end at the end of the file
        inPiece + "\r\n6\r\n",
        "VideoSize 640x\r\n480\r\n",                 // the height is not looked for on the next line
        std::string(1022, ' ') + "\r\nPort 84\r\n",  // the CR LF falls on the piece boundary
    };
    const StreamSettings expected[] = {
        {8080, 640, 480, 30, 300}, {81, 0, 0, 5, 0},  {81, 0, 0, 15, 0},   {81, 0, 0, 15, 0},
        {80, 0, 0, 7, 0},          {80, 8, 0, 15, 0}, {80, 640, 0, 15, 0}, {84, 0, 0, 15, 0},
    };
    for (size_t i = 0; i < sizeof files / sizeof files[0]; ++i) {
        EXPECT_EQ(Read(DecodeTextFile(files[i])), expected[i]) << "file " << i;
        for (size_t chunk : {1, 2, 3, 1023, 1024, 4096, 100000})
            EXPECT_EQ(ReadFileInChunks(files[i], chunk), expected[i]) << "file " << i << ", chunks of " << chunk;
    }
}

TEST(ServerConfigReader, HugeFileIsReadAsItComesAndNotPastItsEnd) {
    // 16 MB of 100-byte comment lines made as they are asked for, then the directive.
    const size_t size = 160000 * 100;
    const std::string tail = "Port 8085\r\n\x1A";
    size_t at = 0;
    size_t asked = 0;
    StreamSettings s;
    ReadServerConfigFile(
        [&](char* buffer, size_t n) {
            if (at == size) {
                // An endless file: only the end-of-file byte stops the reading.
                std::memcpy(buffer, tail.data(), tail.size());
                at += tail.size();
                return tail.size();
            }
            if (at > size) {
                ++asked;
                std::memset(buffer, 'x', n);
                return n;
            }
            n = std::min(n, size - at);
            for (size_t i = 0; i < n; ++i) buffer[i] = (at + i) % 100 == 99 ? '\n' : '#';
            at += n;
            return n;
        },
        s);
    EXPECT_EQ(s.port, 8085);
    EXPECT_EQ(asked, 0u);
}
