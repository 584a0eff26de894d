// Windows only: the full path of the running executable.
#pragma once
#include <string>

// However long the path is; empty when Windows cannot tell.
std::wstring ExecutablePath();
