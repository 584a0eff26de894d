// The streaming server's configuration file, as text: what the panel writes and
// the four directives it reads back.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "backend/stream_settings.h"

// The whole file, with LF line ends (18 to 21 lines).
std::wstring FormatServerConfig(const StreamSettings& s);

// The tolerance line's value: bit rate / frame rate + 1, for a positive bit rate.
// A frame rate of 0 counts as 1, and the result is clamped to the 32-bit range.
int32_t BitRateTolerance(int32_t bitRate, int32_t frameRate);

// Reads settings from the decoded file text. Lines are taken as a 1024-character
// line reader delivers them: at most 1023 characters a piece, each piece tested
// on its own. Fields whose directive is absent or does not scan keep their value.
void ReadServerConfig(const std::wstring& text, StreamSettings& s);

// Fills buffer with up to size bytes of the file; 0 at its end (or on an error).
using ReadBytes = std::function<size_t(char* buffer, size_t size)>;
// The same, from the file's bytes as they are read: a chunk and a piece of a line
// at a time, so that a huge hand-edited file costs no more memory than a small one.
void ReadServerConfigFile(const ReadBytes& read, StreamSettings& s);
void ReadServerConfigLine(const std::wstring& line, StreamSettings& s);

// "%d" as the C scanner reads it: white space skipped, optional sign, digits.
// Returns the number of characters consumed (0 when there is no number). Values
// beyond the 32-bit range are clamped to it.
size_t ScanInt(const wchar_t* text, int32_t& value);
