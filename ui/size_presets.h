// The named frame sizes of the panel's size list; the row index is the list index.
#pragma once
#include <cstdint>

struct SizePreset {
    const wchar_t* name;
    int32_t width;
    int32_t height;
};

constexpr int kSizePresetCount = 7;        // rows 0 to 6
constexpr int kCustomSizePreset = 7;       // "Custom": the list's last entry, no row
constexpr int kQvgaSizePreset = 5;         // what "Resize to" starts from

extern const SizePreset kSizePresets[kSizePresetCount];

// The first row with exactly this size, or kCustomSizePreset when none has it.
int FindSizePreset(int32_t width, int32_t height);
