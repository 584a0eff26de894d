#include "programs/server/acl.h"

#include <cstdio>

bool ParseIpv4(const std::string& text, Ipv4& out) {
    Ipv4 value = 0;
    size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= text.size() || text[i] != '.') return false;
            ++i;
        }
        size_t start = i;
        unsigned n = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3) n = n * 10 + (text[i++] - '0');
        if (i == start || n > 255) return false;
        value = (value << 8) | n;
    }
    if (i != text.size()) return false;
    out = value;
    return true;
}

std::string FormatIpv4(Ipv4 a) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", a >> 24, (a >> 16) & 255, (a >> 8) & 255, a & 255);
    return buf;
}

bool AclAllows(const std::vector<AclRule>& rules, Ipv4 address) {
    if (rules.empty()) return true;
    for (const AclRule& r : rules)
        if (address >= r.first && address <= r.last) return r.allow;
    return !rules.front().allow;
}
