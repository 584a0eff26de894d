// The stand-in capture driver (tests/camera) seen from a test: its script, its log, and
// a capture window of the test's own that asks whether the camera is free.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace wintest {

class StandInCamera {
public:
    // Writes the script `dir`\camera.txt and names it in ORVANE_CAMERA, which this
    // process's capture windows read and the programs it starts inherit.
    StandInCamera(const std::wstring& dir, const std::string& script);
    ~StandInCamera();
    StandInCamera(const StandInCamera&) = delete;
    StandInCamera& operator=(const StandInCamera&) = delete;

    // Rewrites the script: it takes effect at the next connect.
    void Script(const std::string& script);
    // Copies the driver into a program folder, where a program started there loads it.
    static bool CopyDriverTo(const std::wstring& dir);

    // The driver's log lines so far ("<pid> <event>"), and the events of one process.
    std::vector<std::string> Log() const;
    std::vector<std::string> Events(DWORD pid) const;
    // The camera has been marked unplugged (by the driver, or by the test).
    bool Unplugged() const;
    void Unplug();

    // Connects a capture window of this thread and disconnects it again: whether an
    // exclusive camera is free.
    static bool Free();

private:
    std::wstring m_path;
};

}  // namespace wintest
