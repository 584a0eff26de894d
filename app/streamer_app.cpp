#include "app/streamer_app.h"

#include <cwchar>

#include "backend/program_paths.h"
#include "common/executable_path.h"

namespace {

void CopyPath(wchar_t (&dst)[MAX_PATH], const std::wstring& src) {
    std::wmemset(dst, 0, MAX_PATH);
    // Callers refuse to run when a path does not fit; never write past the buffer.
    size_t n = src.size() < MAX_PATH - 1 ? src.size() : MAX_PATH - 1;
    std::wmemcpy(dst, src.data(), n);
}

}  // namespace

CStreamerApp::CStreamerApp() { Init(ExecutablePath().c_str()); }

CStreamerApp::CStreamerApp(const wchar_t* modulePath) { Init(modulePath); }

void CStreamerApp::Init(const wchar_t* modulePath) {
    ProgramPaths paths;
    m_pathsFit = ComposeProgramPaths(modulePath, paths);
    CopyPath(m_moduleDir, paths.moduleDir);
    CopyPath(m_encoderPath, paths.encoderPath);
    CopyPath(m_serverPath, paths.serverPath);
    ZeroMemory(&m_serverProcess, sizeof m_serverProcess);
    ZeroMemory(&m_encoderProcess, sizeof m_encoderProcess);
    m_settings = StreamSettings{};
}

CStreamerApp& App() { return static_cast<CStreamerApp&>(*fw::AppBase::Current()); }
