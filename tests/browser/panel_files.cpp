// Writes orvane.conf and demo.html into a folder as the panel writes them (same text,
// same on-disk form), for browser checks that run without Wine.
//   panel_files DIR PORT WIDTH HEIGHT
#include <cstdio>
#include <cstdlib>
#include <string>

#include "backend/server_config.h"
#include "backend/text_mode.h"
#include "ui/test_page.h"

static bool WriteFile(const std::string& path, const std::wstring& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const std::string bytes = EncodeTextFile(text);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: panel_files DIR PORT WIDTH HEIGHT\n");
        return 1;
    }
    const std::string dir = argv[1];
    StreamSettings s;
    s.port = std::atoi(argv[2]);
    s.width = std::atoi(argv[3]);
    s.height = std::atoi(argv[4]);
    // The browser runs on this machine: the loopback address stands for the PC's own.
    if (!WriteFile(dir + "/orvane.conf", FormatServerConfig(s)) ||
        !WriteFile(dir + "/demo.html", FormatTestPage(L"127.0.0.1", s.port, s.width, s.height))) {
        std::perror(dir.c_str());
        return 1;
    }
    return 0;
}
