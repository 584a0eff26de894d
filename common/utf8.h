// Narrow and wide text: our narrow texts are UTF-8 (plain ASCII is a part of it).
#pragma once
#include <string>

std::string ToUtf8(const std::wstring& text);
// A byte that does not belong to a UTF-8 sequence becomes U+FFFD.
std::wstring FromUtf8(const std::string& text);
