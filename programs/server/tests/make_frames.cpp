// Writes numbered JPEG test frames: a moving bar, a grey level that changes
// with the frame, and the frame number as a row of black and white blocks, so
// that a screenshot shows which frame it is.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBIW_WINDOWS_UTF8
#include <stb/stb_image_write.h>

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: make_frames <dir> <count> <width> <height> <quality>\n");
        return 1;
    }
    std::string dir = argv[1];
    int count = std::atoi(argv[2]), w = std::atoi(argv[3]), h = std::atoi(argv[4]), quality = std::atoi(argv[5]);
    if (count <= 0 || w < 32 || h < 32) return 1;
    std::vector<unsigned char> rgb(static_cast<size_t>(w) * h * 3);
    for (int n = 0; n < count; ++n) {
        int bar = (n * 16) % w;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                unsigned char* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
                bool inBar = x >= bar && x < bar + w / 8;
                p[0] = inBar ? 255 : static_cast<unsigned char>((x * 255) / w);
                p[1] = inBar ? 40 : static_cast<unsigned char>((n * 37) & 255);
                p[2] = inBar ? 40 : static_cast<unsigned char>((y * 255) / h);
                // Sixteen blocks along the bottom give the frame number in binary.
                if (y >= h - h / 8) {
                    int bit = x * 16 / w;
                    unsigned char v = (n >> (15 - bit)) & 1 ? 255 : 0;
                    p[0] = p[1] = p[2] = v;
                }
            }
        char name[64];
        std::snprintf(name, sizeof name, "/frame%05d.jpg", n);
        if (!stbi_write_jpg((dir + name).c_str(), w, h, 3, rgb.data(), quality)) {
            std::fprintf(stderr, "make_frames: cannot write %s%s\n", dir.c_str(), name);
            return 1;
        }
    }
    return 0;
}
