// Reading a small file whole, with a bound on its size.
#pragma once
#include <cstddef>
#include <string>

enum class ReadResult { Ok, Unreadable, TooLarge };

// Reads every byte of the file at path into bytes (complete only with Ok); a file
// larger than maxBytes is TooLarge.
ReadResult ReadWholeFile(const std::wstring& path, size_t maxBytes, std::string& bytes);
