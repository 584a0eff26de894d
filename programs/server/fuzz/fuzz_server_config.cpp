// Any file text must give either a configuration or an error with a line number.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "programs/server/config.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    ServerConfig config;
    std::string error;
    if (ParseServerConfig(text, "f.conf", config, error)) {
        for (const StreamConfig& s : config.streams)
            if (!config.FindFeed(s.feed)) std::abort();
        if (config.maxClients > config.maxHttpConnections) std::abort();
    } else if (error.compare(0, 7, "f.conf:") != 0) {
        std::abort();
    }
    return 0;
}
