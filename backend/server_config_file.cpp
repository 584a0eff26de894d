// Reads and writes orvane.conf beside the executable.
#include <cstdio>
#include <string>

#include "app/streamer_app.h"
#include "backend/server_config.h"
#include "backend/text_mode.h"

static std::wstring ConfigPath(const CStreamerApp& app) { return std::wstring(app.m_moduleDir) + L"\\orvane.conf"; }

int CStreamerApp::SaveServerConfig() {
    FILE* f = _wfopen(ConfigPath(*this).c_str(), L"wb");
    if (!f) return 0;
    std::string bytes = EncodeTextFile(FormatServerConfig(m_settings));
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    return std::fclose(f);
}

void CStreamerApp::LoadServerConfig() {
    FILE* f = _wfopen(ConfigPath(*this).c_str(), L"rb");
    if (!f) return;
    ReadServerConfigFile([f](char* buffer, size_t size) { return std::fread(buffer, 1, size, f); }, m_settings);
    std::fclose(f);
}
