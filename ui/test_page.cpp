#include "ui/test_page.h"

#include <cwchar>

namespace {

const wchar_t kPageHead[] =
    L"<html>\n"
    L"<h3>Orvane DEMO Page</h3>\n"
    L"<p>Copyright (C) 2026 Orvane. All rights reserved.</p>\n"
    L"<p>If you see pop-up security warning band about ActiveX controls in IE browser, please click "
    L"on it and select <b>\"Allow Blocked Content\"</b></p><br>\n";

const wchar_t kEmbedFormat[] =
    L"<embed src=\"http://%ls:%d/demo.swf\" quality=\"high\" bgcolor=\"#ffffff\" width=\"%d\" "
    L"height=\"%d\" name=\"Orvane DEMO\" align=\"center\" allowScriptAccess=\"sameDomain\" "
    L"type=\"application/x-shockwave-flash\" pluginspage=\"";

const wchar_t kPluginPage[] = L"http://www.orvane.example/player/";

}  // namespace

std::wstring FormatTestPage(const std::wstring& address, int32_t port, int32_t width, int32_t height) {
    // The address is at most a dotted quad, but the buffer is sized for anything passed in.
    std::wstring embed(sizeof kEmbedFormat / sizeof(wchar_t) + address.size() + 3 * 12, L'\0');
    int n = std::swprintf(&embed[0], embed.size(), kEmbedFormat, address.c_str(), port, width > 0 ? width : 320,
                          height > 0 ? height : 240);
    embed.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return kPageHead + embed + kPluginPage + L"\" />\n</html>\n";
}

std::optional<Ipv4Address> ChooseLocalAddress(const std::vector<Ipv4Address>& addresses) {
    for (const Ipv4Address& a : addresses)
        if (a[0] != 127) return a;
    return std::nullopt;
}

std::wstring WidenAscii(const char* text) {
    std::wstring wide;
    for (const char* p = text; *p; ++p) wide += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return wide;
}
