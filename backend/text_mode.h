// The on-disk form of our text files: one byte per character, CR LF line ends,
// no byte-order mark, as a C text-mode stream under the "C" locale writes them.
#pragma once
#include <string>

// Every character must be below 256; each LF is written as CR LF.
std::string EncodeTextFile(const std::wstring& text);
// CR LF becomes LF, a lone CR stays, a 0x1A byte ends the file, and every
// other byte becomes the character of the same value.
std::wstring DecodeTextFile(const std::string& bytes);
