// Where the panel's files lie: everything sits in the executable's directory.
#pragma once
#include <string>

struct ProgramPaths {
    std::wstring moduleDir;    // no trailing backslash; "C:" for a drive root
    std::wstring encoderPath;  // <dir>\orvane.dll
    std::wstring serverPath;   // <dir>\server.dll
};

// From the executable's full path. False when a path composed there (a program, or a
// file of kConfigFile's length or shorter) would pass 259 characters: the program
// refuses to start rather than cut a path.
bool ComposeProgramPaths(const std::wstring& modulePath, ProgramPaths& paths);
