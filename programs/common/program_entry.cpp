#include "programs/common/program_entry.h"

#include "common/utf8.h"

#ifdef _WIN32
#include <windows.h>

#include "common/executable_path.h"
#include "programs/common/arguments.h"
#include "programs/common/run_log.h"

int wmain() {
    // server.dll writes server.log beside it, orvane.dll orvane.log.
    const std::wstring self = ExecutablePath();
    const size_t dot = self.rfind(L'.');
    if (dot != std::wstring::npos && dot > self.rfind(L'\\')) OpenRunLog(self.substr(0, dot) + L".log");
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
