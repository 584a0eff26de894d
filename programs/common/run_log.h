// The messages of a program's last run, kept for someone who wants more than the panel's
// balloon: a file beside the program (server.log, orvane.log), written anew at each start
// and never larger than kRunLogBytes, so that a program running for weeks cannot fill the disk.
#pragma once
#include <cstddef>
#include <string>

constexpr size_t kRunLogBytes = 256 * 1024;

// Starts the file at path, empty (the entry point does, on Windows). Without it, or
// when it cannot be written, messages only go to the console.
void OpenRunLog(const std::wstring& path, size_t maxBytes = kRunLogBytes);
// Adds text (whole lines) to the file; past the bound, one line says that the rest
// went to the console only. Any thread.
void AddToRunLog(const std::string& text);
// Writes a message line to standard error and to the file.
void SayLine(const std::string& line);
