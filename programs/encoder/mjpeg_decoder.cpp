#include "programs/encoder/mjpeg_decoder.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

namespace {

struct DecodeErrors {
    jpeg_error_mgr base;
    jmp_buf escape;
    bool damaged = false;                // the data ended or broke off before the picture did
    char message[JMSG_LENGTH_MAX] = {};  // the first error or damage, for the caller's message
};

DecodeErrors& ErrorsOf(j_common_ptr cinfo) { return *reinterpret_cast<DecodeErrors*>(cinfo->err); }

// libjpeg's default handler exits the process; we return to Decode instead.
void OnError(j_common_ptr cinfo) {
    (*cinfo->err->format_message)(cinfo, ErrorsOf(cinfo).message);
    std::longjmp(ErrorsOf(cinfo).escape, 1);
}

// The library goes on after a truncated or broken frame, filling the rest with grey; such a
// frame is not shown. Other warnings (stray bytes between markers, which some cameras
// write) leave the picture intact.
void OnMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    int code = cinfo->err->msg_code;
    DecodeErrors& errors = ErrorsOf(cinfo);
    if ((code == JWRN_JPEG_EOF || code == JWRN_HIT_MARKER) && !errors.damaged) {
        errors.damaged = true;
        (*cinfo->err->format_message)(cinfo, errors.message);
    }
}

// The reduction (1, 2, 4 or 8) that still gives at least the size asked for.
unsigned Reduction(int width, int height, int minWidth, int minHeight) {
    if (minWidth <= 0 || minHeight <= 0) return 1;
    for (unsigned d = 8; d > 1; d /= 2) {
        if ((static_cast<unsigned>(width) + d - 1) / d >= static_cast<unsigned>(minWidth) &&
            (static_cast<unsigned>(height) + d - 1) / d >= static_cast<unsigned>(minHeight))
            return d;
    }
    return 1;
}

// The part that longjmp may leave: no object with a destructor lives here.
bool Run(jpeg_decompress_struct& c, DecodeErrors& errors, const uint8_t* data, size_t size, int width, int height,
         unsigned reduction, RgbImage& out, std::vector<uint8_t*>& rows, std::string& why) {
    if (setjmp(errors.escape)) {
        why = errors.message;
        return false;
    }
    jpeg_mem_src(&c, data, static_cast<unsigned long>(size));
    jpeg_read_header(&c, TRUE);
    if (c.image_width != static_cast<JDIMENSION>(width) || c.image_height != static_cast<JDIMENSION>(height)) {
        why = "the frame is " + std::to_string(c.image_width) + "x" + std::to_string(c.image_height) +
              ", the camera's format says " + std::to_string(width) + "x" + std::to_string(height);
        return false;
    }
    c.out_color_space = JCS_RGB;
    c.scale_num = 1;
    c.scale_denom = reduction;
    jpeg_start_decompress(&c);
    out.Resize(static_cast<int>(c.output_width), static_cast<int>(c.output_height));
    rows.resize(c.output_height);
    for (JDIMENSION y = 0; y < c.output_height; ++y) rows[y] = out.Row(static_cast<int>(y));
    while (c.output_scanline < c.output_height) {
        jpeg_read_scanlines(&c, rows.data() + c.output_scanline, c.output_height - c.output_scanline);
        if (errors.damaged) break;
    }
    if (errors.damaged) {
        why = errors.message;
        return false;
    }
    // The picture is whole; what follows it (normally just the end marker) is not read.
    return true;
}

}  // namespace

bool MjpegDecoder::Decode(const uint8_t* data, size_t size, int width, int height, int minWidth, int minHeight,
                          RgbImage& out, std::string& why) {
    why.clear();
    if (size == 0) {
        why = "the frame is empty";
        return false;
    }
    // A new decompressor for every frame: one frame's Huffman tables must not stand in
    // for the standard ones in a later frame that carries none.
    jpeg_decompress_struct c;
    DecodeErrors errors;
    c.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnError;
    errors.base.emit_message = OnMessage;
    jpeg_create_decompress(&c);
    bool ok = Run(c, errors, data, size, width, height, Reduction(width, height, minWidth, minHeight), out, rows_, why);
    jpeg_destroy_decompress(&c);
    return ok;
}
