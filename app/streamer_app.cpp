#include "app/streamer_app.h"

#include "backend/command_lines.h"
#include "backend/program_paths.h"
#include "backend/server_config_file.h"
#include "common/executable_path.h"

CStreamerApp::CStreamerApp() { Init(ExecutablePath().c_str()); }

CStreamerApp::CStreamerApp(const wchar_t* modulePath) { Init(modulePath); }

void CStreamerApp::Init(const wchar_t* modulePath) {
    ProgramPaths paths;
    m_pathsFit = ComposeProgramPaths(modulePath, paths);
    m_moduleDir = std::move(paths.moduleDir);
    m_encoderPath = std::move(paths.encoderPath);
    m_serverPath = std::move(paths.serverPath);
    m_settings = StreamSettings{};
}

int CStreamerApp::SaveServerConfig() { return ::SaveServerConfig(m_moduleDir + kConfigFile, m_settings); }

void CStreamerApp::LoadServerConfig() { ::LoadServerConfig(m_moduleDir + kConfigFile, m_settings); }

DWORD CStreamerApp::StartStreaming() {
    // A program of the last run that has ended since the last tick is no reason to
    // start nothing: its record goes now, and a new one is launched.
    m_programs.Reap();
    m_programs.ForgetUnaskedEnds();
    if (!m_programs.Runs(Program::Server))
        if (DWORD error = m_programs.Launch(Program::Server, m_serverPath,
                                            ServerCommandLine(m_serverPath, m_moduleDir)))
            return error;
    if (m_programs.Runs(Program::Encoder)) return 0;

    std::wstring escapedDir;
    DWORD error = ERROR_FILENAME_EXCED_RANGE;
    if (EscapeSpaceRuns(m_moduleDir, escapedDir)) {
        std::wstring line = EncoderCommandLine(m_encoderPath, escapedDir, m_settings.frameRate, m_settings.bitRate,
                                               m_settings.port);
        error = m_programs.Launch(Program::Encoder, m_encoderPath, line);
        if (error == 0) return 0;
    }
    StopStreaming();
    return error;
}

DWORD CStreamerApp::StopStreaming() {
    m_programs.Stop();
    return 0;
}

void CStreamerApp::ReapProcesses() { m_programs.Reap(); }

void CStreamerApp::FinishStopping() { m_programs.FinishStopping(); }

bool CStreamerApp::TakeUnaskedEnd(bool& server, DWORD& exitCode) { return m_programs.TakeUnaskedEnd(server, exitCode); }

CStreamerApp& App() { return static_cast<CStreamerApp&>(*fw::AppBase::Current()); }
