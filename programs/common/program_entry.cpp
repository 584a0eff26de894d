#include "programs/common/program_entry.h"

#include "common/utf8.h"

#ifdef _WIN32
#include <windows.h>

#include "common/executable_path.h"
#include "programs/common/arguments.h"

int wmain() {
    // The panel does not quote our path: find the arguments after it.
    return RunProgram(ProgramArguments(GetCommandLineW(), ExecutablePath()));
}
#else
int main(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.push_back(FromUtf8(argv[i]));
    return RunProgram(args);
}
#endif
