// This machine's address for the test page: the first IPv4 address outside
// 127.0.0.0/8 that the host name resolves to, or 127.0.0.1.
#pragma once
#include <winsock2.h>

// The Winsock calls the look-up makes; tests replace them to see every path.
struct WinsockCalls {
    decltype(&::WSAStartup) startup = ::WSAStartup;
    decltype(&::gethostname) gethostname = ::gethostname;
    decltype(&::gethostbyname) gethostbyname = ::gethostbyname;
    decltype(&::WSACleanup) cleanup = ::WSACleanup;
};

// The dotted address in a buffer shared by all calls (overwritten by each); never null.
const wchar_t* GetLocalAddress();
const wchar_t* GetLocalAddress(const WinsockCalls& calls);
