// Files and folders of the Windows tests.
#pragma once
#include <windows.h>

#include <string>

namespace wintest {

std::wstring ModuleDir();  // folder of the running test executable
// A fresh empty folder under the temporary folder, named `name` (spaces allowed) and
// then the process id and the time: Wine reuses process ids, and a folder of an
// earlier test must never be taken for this one's.
std::wstring MakeTempDir(const std::wstring& name);
void RemoveTree(const std::wstring& dir);
bool FileExists(const std::wstring& path);
std::string ReadFileBytes(const std::wstring& path);
std::wstring ReadUtf16File(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);

}  // namespace wintest
