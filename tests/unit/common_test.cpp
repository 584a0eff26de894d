// The facts and helpers that the panel and both programs share.
#include <gtest/gtest.h>

#include "common/ascii_case.h"
#include "common/utf8.h"

namespace {

TEST(AsciiCase, FoldsOnlyAToZ) {
    EXPECT_EQ(AsciiLower(std::string("Content-LENGTH: 5 @[`{")), "content-length: 5 @[`{");
    EXPECT_EQ(AsciiLower(std::string("\xC3\x84")), "\xC3\x84");  // whatever the locale
    EXPECT_EQ(AsciiLower(L'Q'), L'q');
    EXPECT_EQ(AsciiLower(wchar_t(0xC4)), wchar_t(0xC4));
    EXPECT_TRUE(StartsWithNoCase(L"c:\\PROGRAM files\\cam\\server.dll -f x", L"C:\\Program Files\\Cam\\server.dll"));
    EXPECT_TRUE(StartsWithNoCase(L"VIDEOSIZE 640x480", L"VideoSize "));
    EXPECT_TRUE(StartsWithNoCase(L"abc", L""));
    EXPECT_FALSE(StartsWithNoCase(L"VideoSiz", L"VideoSize "));
    EXPECT_FALSE(StartsWithNoCase(L"\u00c4x", L"\u00e4x"));
    EXPECT_FALSE(StartsWithNoCase(L"VideoSize\t640x480", L"VideoSize "));
}

TEST(Utf8, RoundTripAndBadBytes) {
    std::wstring text = L"caf\u00e9 \u20ac";
    EXPECT_EQ(ToUtf8(text), "caf\xc3\xa9 \xe2\x82\xac");
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(FromUtf8("\xff"), std::wstring(1, wchar_t(0xFFFD)));
    EXPECT_EQ(FromUtf8("\xe2\x82"), L"\uFFFD\uFFFD");
    // ASCII, such as a dotted address: each byte becomes the character of its value.
    EXPECT_EQ(FromUtf8("192.168.1.10"), L"192.168.1.10");
    EXPECT_EQ(FromUtf8(""), L"");
}

}  // namespace
