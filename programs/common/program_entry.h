// The entry point both streaming programs share: it finds the program's arguments
// and hands them to RunProgram, which each program defines.
#pragma once
#include <string>
#include <vector>

// The program from its arguments (without its own name) to its exit code.
int RunProgram(const std::vector<std::wstring>& args);
