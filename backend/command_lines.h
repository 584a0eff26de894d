// The command lines with which the panel starts the two streaming programs.
#pragma once
#include <cstdint>
#include <string>

// Longest path our 260-character buffers hold, terminator excluded.
constexpr size_t kMaxPathChars = 259;

// The files of the program folder that a path is composed for, each with its backslash.
// The watermark, which the panel writes and the encoder reads:
constexpr wchar_t kWatermarkFile[] = L"\\logo.gif";
// The server's configuration, which the panel writes and reads and the server reads:
constexpr wchar_t kConfigFile[] = L"\\orvane.conf";
// The test page, which the panel writes for the browser:
constexpr wchar_t kTestPageFile[] = L"\\demo.html";

// Puts one backslash before each run of spaces, so that the encoder's watermark
// argument keeps the directory as one word. False when the result would not fit
// kMaxPathChars (it is then left empty rather than cut).
bool EscapeSpaceRuns(const std::wstring& dir, std::wstring& escaped);

// server.dll -f "<dir>\orvane.conf" (the program path unquoted, as the panel always had it).
std::wstring ServerCommandLine(const std::wstring& serverPath, const std::wstring& moduleDir);

// orvane.dll -f vfwcap -r N -i 0 [-sameq ]-vhook "watermark -f <escaped dir>\logo.gif" http://localhost:P/feed.ffm
std::wstring EncoderCommandLine(const std::wstring& encoderPath, const std::wstring& escapedDir, int32_t frameRate,
                                int32_t bitRate, int32_t port);
