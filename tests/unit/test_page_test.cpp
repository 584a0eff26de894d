#include "ui/test_page.h"

#include <gtest/gtest.h>

#include "backend/text_mode.h"

namespace {

const std::wstring kHead =
    L"<html>\n<h3>Orvane DEMO Page</h3>\n";
const std::wstring kWarning =
    L"<p>If you see pop-up security warning band about ActiveX controls in IE browser, please click on it "
    L"and select <b>\"Allow Blocked Content\"</b></p><br>\n";

std::wstring EmbedLine(const std::wstring& page) {
    size_t start = page.find(L"<embed");
    size_t end = page.find(L'\n', start);
    return start == std::wstring::npos ? L"" : page.substr(start, end - start);
}

std::wstring ExpectedEmbed(const std::wstring& src, const std::wstring& width, const std::wstring& height) {
    return L"<embed src=\"" + src + L"\" quality=\"high\" bgcolor=\"#ffffff\" width=\"" + width +
           L"\" height=\"" + height +
           L"\" name=\"Orvane DEMO\" align=\"center\" allowScriptAccess=\"sameDomain\" "
           L"type=\"application/x-shockwave-flash\" pluginspage=\"http://www.orvane.example/player/\" />";
}

}  // namespace

TEST(TestPage, SixLinesWithTheFixedBlockAndTheEmbed) {
    std::wstring page = FormatTestPage(L"192.168.1.10", 80, 0, 0);
    ASSERT_EQ(page.compare(0, kHead.size(), kHead), 0);
    size_t lines = 0;
    for (wchar_t c : page) lines += c == L'\n';
    EXPECT_EQ(lines, 6u);
    // Line 3 is the copyright notice, line 4 the fixed warning, line 6 the end.
    size_t third = page.find(L'\n', kHead.size());
    EXPECT_EQ(page.compare(kHead.size(), 3, L"<p>"), 0);
    EXPECT_NE(page.substr(kHead.size(), third - kHead.size()).find(L"Copyright"), std::wstring::npos);
    EXPECT_EQ(page.compare(third + 1, kWarning.size(), kWarning), 0);
    EXPECT_EQ(page.substr(page.size() - 13), L"\" />\n</html>\n");
    // On disk every line ends in CR LF, one byte per character.
    std::string bytes = EncodeTextFile(page);
    EXPECT_EQ(bytes.size(), page.size() + 6);
    EXPECT_EQ(bytes.substr(0, 8), "<html>\r\n");
}

TEST(TestPage, EmbedFallsBackPerDimension) {
    EXPECT_EQ(EmbedLine(FormatTestPage(L"127.0.0.1", 80, 0, 0)),
              ExpectedEmbed(L"http://127.0.0.1:80/demo.swf", L"320", L"240"));
    EXPECT_EQ(EmbedLine(FormatTestPage(L"10.0.0.2", 80, 640, 0)),
              ExpectedEmbed(L"http://10.0.0.2:80/demo.swf", L"640", L"240"));
    EXPECT_EQ(EmbedLine(FormatTestPage(L"10.0.0.2", 80, -640, 480)),
              ExpectedEmbed(L"http://10.0.0.2:80/demo.swf", L"320", L"480"));
    EXPECT_EQ(EmbedLine(FormatTestPage(L"10.0.0.2", 80, 1, -1)),
              ExpectedEmbed(L"http://10.0.0.2:80/demo.swf", L"1", L"240"));
}

TEST(TestPage, PortGoesIntoTheStreamAddress) {
    EXPECT_EQ(EmbedLine(FormatTestPage(L"192.168.1.10", 8080, 352, 288)),
              ExpectedEmbed(L"http://192.168.1.10:8080/demo.swf", L"352", L"288"));
    // Unvalidated values are printed as they stand.
    EXPECT_EQ(EmbedLine(FormatTestPage(L"255.255.255.255", -2147483647 - 1, 2147483647, 8)),
              ExpectedEmbed(L"http://255.255.255.255:-2147483648/demo.swf", L"2147483647", L"8"));
}

TEST(LocalAddress, FirstOutsideTheLoopbackBlock) {
    EXPECT_EQ(ChooseLocalAddress({{127, 0, 1, 1}, {192, 168, 1, 10}}), (Ipv4Address{192, 168, 1, 10}));
    EXPECT_EQ(ChooseLocalAddress({{10, 1, 2, 3}, {192, 168, 1, 10}, {127, 0, 0, 1}}),
              (Ipv4Address{10, 1, 2, 3}));
    EXPECT_EQ(ChooseLocalAddress({{127, 0, 0, 1}, {127, 255, 255, 254}, {128, 0, 0, 1}}),
              (Ipv4Address{128, 0, 0, 1}));
    // Only the first byte decides: 1.127.0.0 is an ordinary address.
    EXPECT_EQ(ChooseLocalAddress({{1, 127, 0, 0}}), (Ipv4Address{1, 127, 0, 0}));
    EXPECT_FALSE(ChooseLocalAddress({{127, 0, 0, 1}}).has_value());
    EXPECT_FALSE(ChooseLocalAddress({{127, 0, 0, 1}, {127, 0, 1, 1}}).has_value());
    EXPECT_FALSE(ChooseLocalAddress({}).has_value());
}

TEST(LocalAddress, WidensEachByte) {
    EXPECT_EQ(WidenAscii("192.168.1.10"), L"192.168.1.10");
    EXPECT_EQ(WidenAscii(""), L"");
    EXPECT_EQ(WidenAscii("\xff"), std::wstring(1, L'\xff'));  // a byte, not a sign-extended char
}
