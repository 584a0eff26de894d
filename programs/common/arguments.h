// Finding a streaming program's arguments on the command line it was given.
#pragma once
#include <string>
#include <vector>

// The panel does not quote the program's own path, so "C:\Program Files\Cam\server.dll -f x"
// reaches us with spaces in the first token. When the line starts with our module path
// (compared without case, optionally quoted), that path is skipped; otherwise the first
// token is skipped by the usual rules. The rest is split as the C run-time splits it
// (quotes group, 2n backslashes before a quote give n and a quote, 2n+1 give n and a
// literal quote, other backslashes are literal).
std::vector<std::wstring> ProgramArguments(const std::wstring& commandLine, const std::wstring& modulePath);

// Splits a command line (without the program name) into arguments, as above.
std::vector<std::wstring> SplitCommandLine(const std::wstring& text);
