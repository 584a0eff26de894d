// Case folding of A-Z alone, whatever the locale: how directive and header names,
// size names and the programs' own paths compare.
#pragma once
#include <string>
#include <string_view>

inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
inline wchar_t AsciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }
std::string AsciiLower(std::string text);

// Whether text begins with prefix, A-Z and a-z counting as the same letters.
bool StartsWithNoCase(std::wstring_view text, std::wstring_view prefix);
