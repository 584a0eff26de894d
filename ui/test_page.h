// The browser test page demo.html and the choice of the address it points at.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The page as text with LF line ends: the embed of the SWF stream and, for browsers
// without Flash, a line that puts the MJPEG stream in its place. Width and height fall
// back to 320 and 240 when not positive, each on its own.
std::wstring FormatTestPage(const std::wstring& address, int32_t port, int32_t width, int32_t height);

// An IPv4 address as its four bytes in network order.
using Ipv4Address = std::array<uint8_t, 4>;

// The first address outside 127.0.0.0/8, in the resolver's order; none when every
// address is a loopback one or the list is empty.
std::optional<Ipv4Address> ChooseLocalAddress(const std::vector<Ipv4Address>& addresses);
