#include "ui/test_page.h"

#include <gtest/gtest.h>

#include <vector>

#include "backend/text_mode.h"

namespace {

const std::wstring kHead = L"<html>\n<h3>Orvane DEMO Page</h3>\n";
const std::wstring kWarning =
    L"<p>If you see pop-up security warning band about ActiveX controls in IE browser, please click on it "
    L"and select <b>\"Allow Blocked Content\"</b></p><br>\n";

std::vector<std::wstring> Lines(const std::wstring& page) {
    std::vector<std::wstring> lines;
    for (size_t at = 0; at < page.size();) {
        size_t end = page.find(L'\n', at);
        if (end == std::wstring::npos) end = page.size();
        lines.push_back(page.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

std::wstring EmbedLine(const std::wstring& page) {
    size_t start = page.find(L"<embed");
    size_t end = page.find(L'\n', start);
    return start == std::wstring::npos ? L"" : page.substr(start, end - start);
}

// The line that shows the MJPEG stream where Flash is missing.
std::wstring NoFlashLine(const std::wstring& page) {
    std::vector<std::wstring> lines = Lines(page);
    return lines.size() == 7 ? lines[5] : L"";
}

std::wstring ExpectedEmbed(const std::wstring& src, const std::wstring& width, const std::wstring& height) {
    return L"<embed src=\"" + src + L"\" quality=\"high\" bgcolor=\"#ffffff\" width=\"" + width + L"\" height=\"" +
           height +
           L"\" name=\"Orvane DEMO\" align=\"center\" allowScriptAccess=\"sameDomain\" "
           L"type=\"application/x-shockwave-flash\" pluginspage=\"http://www.orvane.example/player/\" />";
}

// The picture the line puts in the embed's place: address, port and size.
std::wstring ExpectedPicture(const std::wstring& src, const std::wstring& width, const std::wstring& height) {
    return L"i.src=\"" + src + L"\";i.width=" + width + L";i.height=" + height + L";";
}

}  // namespace

TEST(TestPage, FixedLinesEmbedThenTheLineForBrowsersWithoutFlash) {
    std::wstring page = FormatTestPage(L"192.168.1.10", 80, 0, 0);
    ASSERT_EQ(page.compare(0, kHead.size(), kHead), 0);
    std::vector<std::wstring> lines = Lines(page);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(page.back(), L'\n');
    // Line 3 is the copyright notice, line 4 the fixed warning, 5 the embed, 7 the end.
    EXPECT_EQ(lines[2], L"<p>Copyright (C) 2026 Orvane. All rights reserved.</p>");
    EXPECT_EQ(lines[3] + L"\n", kWarning);
    EXPECT_EQ(lines[4], ExpectedEmbed(L"http://192.168.1.10:80/demo.swf", L"320", L"240"));
    EXPECT_EQ(lines[6], L"</html>");
    // Line 6: one script that leaves the embed alone where Flash is (plug-in or
    // ActiveX control) and otherwise puts the MJPEG stream in its place.
    const std::wstring& swap = lines[5];
    EXPECT_EQ(swap.rfind(L"<script type=\"text/javascript\">", 0), 0u);
    EXPECT_EQ(swap.substr(swap.size() - 9), L"</script>");
    EXPECT_NE(swap.find(L"navigator.mimeTypes[\"application/x-shockwave-flash\"]"), std::wstring::npos);
    EXPECT_NE(swap.find(L"new ActiveXObject(\"ShockwaveFlash.ShockwaveFlash\")"), std::wstring::npos);
    EXPECT_NE(swap.find(L"replaceChild(i,f)"), std::wstring::npos);
    EXPECT_NE(swap.find(ExpectedPicture(L"http://192.168.1.10:80/demo.mjpg", L"320", L"240")), std::wstring::npos);
    // On disk every line ends in CR LF, one byte per character.
    std::string bytes = EncodeTextFile(page);
    EXPECT_EQ(bytes.size(), page.size() + 7);
    EXPECT_EQ(bytes.substr(0, 8), "<html>\r\n");
    const std::string end = "})();</script>\r\n</html>\r\n";
    EXPECT_EQ(bytes.substr(bytes.size() - end.size()), end);
}

TEST(TestPage, EmbedAndPictureFallBackPerDimension) {
    struct Case {
        int32_t width, height;
        const wchar_t *shownWidth, *shownHeight;
    };
    const Case cases[] = {
        {0, 0, L"320", L"240"}, {640, 0, L"640", L"240"}, {-640, 480, L"320", L"480"}, {1, -1, L"1", L"240"}};
    for (const Case& c : cases) {
        std::wstring page = FormatTestPage(L"10.0.0.2", 80, c.width, c.height);
        EXPECT_EQ(EmbedLine(page), ExpectedEmbed(L"http://10.0.0.2:80/demo.swf", c.shownWidth, c.shownHeight));
        EXPECT_NE(NoFlashLine(page).find(ExpectedPicture(L"http://10.0.0.2:80/demo.mjpg", c.shownWidth, c.shownHeight)),
                  std::wstring::npos)
            << c.width << " x " << c.height;
    }
}

TEST(TestPage, AddressAndPortGoIntoBothStreamAddresses) {
    std::wstring page = FormatTestPage(L"192.168.1.10", 8080, 352, 288);
    EXPECT_EQ(EmbedLine(page), ExpectedEmbed(L"http://192.168.1.10:8080/demo.swf", L"352", L"288"));
    EXPECT_NE(NoFlashLine(page).find(ExpectedPicture(L"http://192.168.1.10:8080/demo.mjpg", L"352", L"288")),
              std::wstring::npos);
    // Unvalidated values are printed as they stand.
    page = FormatTestPage(L"255.255.255.255", -2147483647 - 1, 2147483647, 8);
    EXPECT_EQ(EmbedLine(page), ExpectedEmbed(L"http://255.255.255.255:-2147483648/demo.swf", L"2147483647", L"8"));
    EXPECT_NE(
        NoFlashLine(page).find(ExpectedPicture(L"http://255.255.255.255:-2147483648/demo.mjpg", L"2147483647", L"8")),
        std::wstring::npos);
}

TEST(LocalAddress, FirstOutsideTheLoopbackBlock) {
    EXPECT_EQ(ChooseLocalAddress({{127, 0, 1, 1}, {192, 168, 1, 10}}), (Ipv4Address{192, 168, 1, 10}));
    EXPECT_EQ(ChooseLocalAddress({{10, 1, 2, 3}, {192, 168, 1, 10}, {127, 0, 0, 1}}), (Ipv4Address{10, 1, 2, 3}));
    EXPECT_EQ(ChooseLocalAddress({{127, 0, 0, 1}, {127, 255, 255, 254}, {128, 0, 0, 1}}), (Ipv4Address{128, 0, 0, 1}));
    // Only the first byte decides: 1.127.0.0 is an ordinary address.
    EXPECT_EQ(ChooseLocalAddress({{1, 127, 0, 0}}), (Ipv4Address{1, 127, 0, 0}));
    EXPECT_FALSE(ChooseLocalAddress({{127, 0, 0, 1}}).has_value());
    EXPECT_FALSE(ChooseLocalAddress({{127, 0, 0, 1}, {127, 0, 1, 1}}).has_value());
    EXPECT_FALSE(ChooseLocalAddress({}).has_value());
}
