// For the tests with the stand-in camera: says of each JPEG file named on the command line
// whether it shows the camera's picture, one line each: "WIDTHxHEIGHT COUNTER" (the frame
// counter the picture carries), "WIDTHxHEIGHT other" or "unreadable".
#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

#include "tests/camera/camera_pattern.h"

namespace {

struct Errors {
    jpeg_error_mgr base;
    jmp_buf escape;
};

void OnError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<Errors*>(cinfo->err)->escape, 1); }

bool Read(FILE* file, std::vector<uint8_t>& rgb, int& width, int& height) {
    jpeg_decompress_struct c;
    Errors errors;
    c.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    jpeg_create_decompress(&c);
    if (setjmp(errors.escape)) {
        jpeg_destroy_decompress(&c);
        return false;
    }
    jpeg_stdio_src(&c, file);
    jpeg_read_header(&c, TRUE);
    c.out_color_space = JCS_RGB;
    jpeg_start_decompress(&c);
    width = static_cast<int>(c.output_width);
    height = static_cast<int>(c.output_height);
    rgb.resize(static_cast<size_t>(width) * height * 3);
    while (c.output_scanline < c.output_height) {
        JSAMPROW row = &rgb[static_cast<size_t>(c.output_scanline) * width * 3];
        jpeg_read_scanlines(&c, &row, 1);
    }
    jpeg_finish_decompress(&c);
    jpeg_destroy_decompress(&c);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        FILE* file = std::fopen(argv[i], "rb");
        std::vector<uint8_t> rgb;
        int w = 0, h = 0;
        bool read = file && Read(file, rgb, w, h);
        if (file) std::fclose(file);
        if (!read) {
            std::printf("unreadable\n");
            continue;
        }
        auto pixel = [&](int x, int y) {
            const uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            return camera_pattern::Rgb{p[0], p[1], p[2]};
        };
        uint32_t counter = 0;
        if (camera_pattern::Read(pixel, w, h, counter)) std::printf("%dx%d %u\n", w, h, counter);
        else std::printf("%dx%d other\n", w, h);
    }
    return 0;
}
