// The panel's size list: the first seven named frame sizes; the row index is the list index.
#pragma once
#include <cstdint>

#include "common/frame_sizes.h"

constexpr int kSizePresetCount = 7;   // rows 0 to 6
constexpr int kCustomSizePreset = 7;  // "Custom": the list's last entry, no row
constexpr int kQvgaSizePreset = 5;    // what "Resize to" starts from

// Row 0 to kSizePresetCount - 1 of the list.
inline const FrameSize& SizePreset(int row) { return kFrameSizes[row]; }

// The first row with exactly this size, or kCustomSizePreset when none has it.
int FindSizePreset(int32_t width, int32_t height);
