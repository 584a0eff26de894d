// The rule by which a dialog accepts the text of an integer edit.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace fw {

// Only this many characters of an edit's text are looked at.
constexpr size_t kIntegerTextLimit = 31;

// Accepts optional blanks or tabs, an optional sign, at least one decimal digit and
// optional blanks or tabs, in the first kIntegerTextLimit characters. Values beyond
// the 32-bit range are clamped to its ends. A zero value is accepted only when the
// first non-blank character is the digit 0, so "-0" and "+0" are refused.
std::optional<int32_t> ParseIntegerText(std::wstring_view text);

}  // namespace fw
