// The encoder program from its arguments to its exit code.
#pragma once
#include <string>
#include <vector>

// Exit codes: common/exit_reasons.h (encoder_exit), which the panel tells the user.
int RunEncoder(const std::vector<std::wstring>& args);
