#include "common/frame_sizes.h"

#include "common/ascii_case.h"

// A table read by rows and columns: the formatter would put one entry per line.
// clang-format off
const FrameSize kFrameSizes[] = {
    // The panel's list (its row index is the combo box index): keep these first.
    {"sqcif", 128, 96},     {"qcif", 176, 144},     {"cif", 352, 288},      {"4cif", 704, 576},
    {"qqvga", 160, 120},    {"qvga", 320, 240},     {"vga", 640, 480},
    // The others.
    {"ntsc", 720, 480},     {"pal", 720, 576},      {"qntsc", 352, 240},    {"qpal", 352, 288},
    {"sntsc", 640, 480},    {"spal", 768, 576},     {"film", 352, 240},     {"ntsc-film", 352, 240},
    {"16cif", 1408, 1152},  {"svga", 800, 600},     {"xga", 1024, 768},     {"uxga", 1600, 1200},
    {"qxga", 2048, 1536},   {"sxga", 1280, 1024},   {"qsxga", 2560, 2048},  {"hsxga", 5120, 4096},
    {"wvga", 852, 480},     {"wxga", 1366, 768},    {"wsxga", 1600, 1024},  {"wuxga", 1920, 1200},
    {"woxga", 2560, 1600},  {"wqsxga", 3200, 2048}, {"wquxga", 3840, 2400}, {"whsxga", 6400, 4096},
    {"whuxga", 7680, 4800}, {"cga", 320, 200},      {"ega", 640, 350},      {"hd480", 852, 480},
    {"hd720", 1280, 720},   {"hd1080", 1920, 1080},
};
// clang-format on
const size_t kFrameSizeCount = sizeof kFrameSizes / sizeof kFrameSizes[0];

const FrameSize* FindFrameSize(const std::string& name) {
    const std::string lower = AsciiLower(name);
    for (const FrameSize& size : kFrameSizes)
        if (lower == size.name) return &size;
    return nullptr;
}
