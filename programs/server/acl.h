// Address rules of a feed or stream: "ACL allow|deny first [last]".
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// An IPv4 address in host order.
using Ipv4 = uint32_t;

// Parses dotted decimal ("127.0.0.1"); false for anything else.
bool ParseIpv4(const std::string& text, Ipv4& out);
std::string FormatIpv4(Ipv4 address);

struct AclRule {
    bool allow = true;
    Ipv4 first = 0;
    Ipv4 last = 0;  // inclusive; equals first for a single address
};

// The first rule whose range holds the address decides. An address no rule
// holds gets the opposite of the first rule's action, so a lone "allow" admits
// only its range and a lone "deny" admits everyone else. No rules admit all.
bool AclAllows(const std::vector<AclRule>& rules, Ipv4 address);
