#include "backend/server_config_file.h"

#include <cstdio>

#include "backend/server_config.h"
#include "backend/text_mode.h"

int SaveServerConfig(const std::wstring& path, const StreamSettings& settings) {
    FILE* f = _wfopen(path.c_str(), L"wb");
    if (!f) return 0;
    std::string bytes = EncodeTextFile(FormatServerConfig(settings));
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    return std::fclose(f);
}

void LoadServerConfig(const std::wstring& path, StreamSettings& settings) {
    FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return;
    ReadServerConfigFile([f](char* buffer, size_t size) { return std::fread(buffer, 1, size, f); }, settings);
    std::fclose(f);
}
