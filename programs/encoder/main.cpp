// orvane.dll: the encoder program (a console program despite its name).
#include "programs/encoder/encoder_main.h"

#include "common/utf8.h"
#include "programs/common/arguments.h"

#ifdef _WIN32
#include <windows.h>

#include <vector>

int wmain() {
    // The panel does not quote our path: find the arguments after it.
    std::vector<wchar_t> module(32768);
    DWORD n = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    return RunEncoder(ProgramArguments(GetCommandLineW(), std::wstring(module.data(), n)));
}
#else
int main(int argc, char** argv) {
    std::vector<std::wstring> args;
    for (int i = 1; i < argc; ++i) args.push_back(FromUtf8(argv[i]));
    return RunEncoder(args);
}
#endif
