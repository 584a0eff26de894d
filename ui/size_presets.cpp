#include "ui/size_presets.h"

const SizePreset kSizePresets[kSizePresetCount] = {
    {L"sqcif", 128, 96},  {L"qcif", 176, 144},  {L"cif", 352, 288}, {L"4cif", 704, 576},
    {L"qqvga", 160, 120}, {L"qvga", 320, 240}, {L"vga", 640, 480},
};

int FindSizePreset(int32_t width, int32_t height) {
    for (int i = 0; i < kSizePresetCount; ++i)
        if (kSizePresets[i].width == width && kSizePresets[i].height == height) return i;
    return kCustomSizePreset;
}
