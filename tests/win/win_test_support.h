// Helpers shared by the Windows tests.
#pragma once
#include <windows.h>

#include <string>

namespace wintest {

std::wstring ModuleDir();  // directory of the running test executable
// A fresh empty directory under the temporary folder; name may contain spaces.
std::wstring MakeTempDir(const std::wstring& name);
void RemoveTree(const std::wstring& dir);
bool FileExists(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
// Waits up to timeoutMs for a file to appear.
bool WaitForFile(const std::wstring& path, DWORD timeoutMs);

}  // namespace wintest
