// orvane.conf on disk: the panel writes it in full and reads its settings back.
#pragma once
#include <string>

#include "backend/stream_settings.h"

// Writes the file for settings: the result of closing it (0), or 0 when it cannot be
// opened (nothing is written then).
int SaveServerConfig(const std::wstring& path, const StreamSettings& settings);
// Reads what the file sets into settings; a missing file changes nothing.
void LoadServerConfig(const std::wstring& path, StreamSettings& settings);
