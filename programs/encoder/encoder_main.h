// The encoder program from its arguments to its exit code.
#pragma once
#include <string>
#include <vector>

// Exit codes: 0 stopped on request; 1 bad command line or unreadable watermark;
// 2 the camera failed; 3 the server could not be reached or dropped the feed for good.
int RunEncoder(const std::vector<std::wstring>& args);
