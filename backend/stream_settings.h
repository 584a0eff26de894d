// The five stream settings that the panel keeps and the server configuration stores.
#pragma once
#include <cstdint>

struct StreamSettings {
    int32_t port = 80;
    int32_t width = 0;  // 0: no resize (a resize needs both width and height)
    int32_t height = 0;
    int32_t frameRate = 15;
    int32_t bitRate = 0;  // kbit/s; 0: the encoder chooses the quality

    bool operator==(const StreamSettings& o) const {
        return port == o.port && width == o.width && height == o.height && frameRate == o.frameRate &&
               bitRate == o.bitRate;
    }
};
