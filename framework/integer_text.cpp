#include "framework/integer_text.h"

#include <limits>

namespace fw {

static bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::optional<int32_t> ParseIntegerText(std::wstring_view text) {
    text = text.substr(0, kIntegerTextLimit);
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    const size_t first = i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    const size_t digitsStart = i;
    // Accumulate in 64 bits and stop growing once past the 32-bit range: 31 digits
    // would overflow any integer type, and the clamp only needs to know "too big".
    const int64_t limit = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
    int64_t magnitude = 0;
    while (i < text.size() && text[i] >= L'0' && text[i] <= L'9') {
        if (magnitude <= limit) magnitude = magnitude * 10 + (text[i] - L'0');
        ++i;
    }
    if (i == digitsStart) return std::nullopt;
    while (i < text.size() && IsBlank(text[i])) ++i;
    if (i != text.size()) return std::nullopt;
    if (magnitude == 0 && text[first] != L'0') return std::nullopt;
    int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

}  // namespace fw
