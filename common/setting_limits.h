// The limits of the five stream settings: what the panel lets the user start with is
// exactly what the server and the encoder serve. The panel's checks, the configuration
// writer, the server's directives and the encoder's stream parameters all read them here.
#pragma once
#include <cstdint>

struct SettingRange {
    int32_t min, max;
    constexpr bool Holds(int64_t v) const { return v >= min && v <= max; }
};

// A TCP port.
constexpr SettingRange kPortRange{1, 65535};
// A side of the stream's frame, in pixels. The panel asks for even sides (0: no resize);
// the programs take any side in the range. 4096 is the most the encoder's buffers take.
constexpr SettingRange kFrameSideRange{8, 4096};
// Frames per second.
constexpr SettingRange kFrameRateRange{1, 60};
// kbit/s when set (0: the encoder chooses the quality). The top is the server's
// MaxBandwidth, which the writer writes: a stream above it could never be served.
constexpr SettingRange kBitRateRange{64, 100000};
