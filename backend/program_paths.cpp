#include "backend/program_paths.h"

#include "backend/command_lines.h"

bool ComposeProgramPaths(const std::wstring& modulePath, ProgramPaths& paths) {
    size_t slash = modulePath.rfind(L'\\');
    paths.moduleDir = slash == std::wstring::npos ? modulePath : modulePath.substr(0, slash);
    paths.encoderPath = paths.moduleDir + L"\\orvane.dll";
    paths.serverPath = paths.moduleDir + L"\\server.dll";
    // The longest file we compose there is "\orvane.conf" (12 characters).
    return modulePath.size() <= kMaxPathChars && paths.moduleDir.size() + 12 <= kMaxPathChars;
}
