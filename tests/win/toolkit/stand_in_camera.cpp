#include "toolkit/stand_in_camera.h"

#include <vfw.h>

#include <sstream>

#include "toolkit/files.h"

namespace wintest {

StandInCamera::StandInCamera(const std::wstring& dir, const std::string& script) : m_path(dir + L"\\camera.txt") {
    Script(script);
    ::SetEnvironmentVariableW(L"ORVANE_CAMERA", m_path.c_str());
}

StandInCamera::~StandInCamera() { ::SetEnvironmentVariableW(L"ORVANE_CAMERA", nullptr); }

void StandInCamera::Script(const std::string& script) { WriteFileBytes(m_path, script); }

bool StandInCamera::CopyDriverTo(const std::wstring& dir) {
    return ::CopyFileW((ModuleDir() + L"\\avicap32.dll").c_str(), (dir + L"\\avicap32.dll").c_str(), FALSE) != FALSE;
}

std::vector<std::string> StandInCamera::Log() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFileBytes(m_path + L".log"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> StandInCamera::Events(DWORD pid) const {
    std::vector<std::string> events;
    const std::string prefix = std::to_string(pid) + " ";
    for (const std::string& line : Log())
        if (line.compare(0, prefix.size(), prefix) == 0) events.push_back(line.substr(prefix.size()));
    return events;
}

bool StandInCamera::Unplugged() const { return FileExists(m_path + L".unplugged"); }

void StandInCamera::Unplug() { WriteFileBytes(m_path + L".unplugged", ""); }

bool StandInCamera::Free() {
    HWND window = ::capCreateCaptureWindowW(nullptr, WS_POPUP, 0, 0, 0, 0, nullptr, 0);
    if (!window) return false;
    const bool connected = capDriverConnect(window, 0) != FALSE;
    ::DestroyWindow(window);
    return connected;
}

}  // namespace wintest
