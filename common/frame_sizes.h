// The frame size names of the old command-line tools ("qvga" is 320x240): the
// panel's size list, the server's VideoSize and the encoder's stream parameters.
#pragma once
#include <cstddef>
#include <string>

struct FrameSize {
    const char* name;
    int width, height;
};

// Every name; the panel's size list shows the first seven, in this order.
extern const FrameSize kFrameSizes[];
extern const size_t kFrameSizeCount;

// The size of that name, compared without case; null for a name not in the table.
const FrameSize* FindFrameSize(const std::string& name);
