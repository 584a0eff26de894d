#include "backend/program_paths.h"

#include <iterator>

#include "backend/command_lines.h"

bool ComposeProgramPaths(const std::wstring& modulePath, ProgramPaths& paths) {
    size_t slash = modulePath.rfind(L'\\');
    paths.moduleDir = slash == std::wstring::npos ? modulePath : modulePath.substr(0, slash);
    paths.encoderPath = paths.moduleDir + L"\\orvane.dll";
    paths.serverPath = paths.moduleDir + L"\\server.dll";
    // The longest file we compose there is the configuration file.
    static_assert(std::size(kConfigFile) > std::size(kWatermarkFile) &&
                  std::size(kConfigFile) > std::size(kTestPageFile));
    return modulePath.size() <= kMaxPathChars && paths.moduleDir.size() + std::size(kConfigFile) - 1 <= kMaxPathChars;
}
