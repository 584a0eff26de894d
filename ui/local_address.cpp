#include "ui/local_address.h"

#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "common/utf8.h"
#include "ui/test_page.h"

namespace {

// A dotted IPv4 address has at most 15 characters.
wchar_t s_address[16];

void Store(const std::wstring& text) {
    std::wmemset(s_address, 0, 16);
    std::wmemcpy(s_address, text.c_str(), text.size() < 15 ? text.size() : 15);
}

}  // namespace

const wchar_t* GetLocalAddress() { return GetLocalAddress(WinsockCalls{}); }

const wchar_t* GetLocalAddress(const WinsockCalls& calls) {
    Store(L"127.0.0.1");

    WSADATA data;
    calls.startup(MAKEWORD(1, 1), &data);  // a failure shows in the calls that follow
    char name[256] = {};
    if (calls.gethostname(name, 256) == SOCKET_ERROR) {
        calls.cleanup();
        return s_address;
    }
    const hostent* host = calls.gethostbyname(name);
    if (!host) {
        calls.cleanup();
        return s_address;
    }
    std::vector<Ipv4Address> addresses;
    if (host->h_addrtype == AF_INET && host->h_length == 4) {
        for (char** entry = host->h_addr_list; entry && *entry; ++entry) {
            Ipv4Address a;
            for (int i = 0; i < 4; ++i) a[i] = static_cast<uint8_t>((*entry)[i]);
            addresses.push_back(a);
        }
    }
    if (std::optional<Ipv4Address> chosen = ChooseLocalAddress(addresses)) {
        in_addr address;
        std::memcpy(&address, chosen->data(), 4);
        // Converted while Winsock is still started; its text lives in Winsock's buffer.
        // Dotted digits are ASCII: each byte becomes the wide character of its value.
        if (const char* text = ::inet_ntoa(address)) Store(FromUtf8(text));
    }
    calls.cleanup();
    return s_address;
}
