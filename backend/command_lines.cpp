#include "backend/command_lines.h"

#include "backend/stream_names.h"

bool EscapeSpaceRuns(const std::wstring& dir, std::wstring& escaped) {
    escaped.clear();
    for (size_t i = 0; i < dir.size(); ++i) {
        if (dir[i] == L' ' && (i == 0 || dir[i - 1] != L' ')) escaped += L'\\';
        escaped += dir[i];
    }
    if (escaped.size() > kMaxPathChars) {
        escaped.clear();
        return false;
    }
    return true;
}

std::wstring ServerCommandLine(const std::wstring& serverPath, const std::wstring& moduleDir) {
    return serverPath + L" -f \"" + moduleDir + kConfigFile + L"\"";
}

std::wstring EncoderCommandLine(const std::wstring& encoderPath, const std::wstring& escapedDir, int32_t frameRate,
                                int32_t bitRate, int32_t port) {
    std::wstring line = encoderPath + L" -f vfwcap -r " + std::to_wstring(frameRate) + L" -i 0 ";
    if (bitRate == 0) line += L"-sameq ";
    line += L"-vhook \"watermark -f " + escapedDir + kWatermarkFile + L"\" ";
    line += L"http://localhost:" + std::to_wstring(port) + L"/" + kFeedName;
    return line;
}
