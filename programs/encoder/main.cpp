// orvane.dll: the encoder program (a console program despite its name).
#include "programs/common/program_entry.h"
#include "programs/encoder/encoder_main.h"

int RunProgram(const std::vector<std::wstring>& args) { return RunEncoder(args); }
