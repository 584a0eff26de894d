#include "ui/size_presets.h"

int FindSizePreset(int32_t width, int32_t height) {
    for (int i = 0; i < kSizePresetCount; ++i)
        if (SizePreset(i).width == width && SizePreset(i).height == height) return i;
    return kCustomSizePreset;
}
