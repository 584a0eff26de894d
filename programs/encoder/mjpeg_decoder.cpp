#include "programs/encoder/mjpeg_decoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include "programs/encoder/yuv_convert.h"

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

#if JPEG_LIB_VERSION >= 70
int ScaledBlock(const jpeg_component_info& comp) { return comp.DCT_v_scaled_size; }
#else
int ScaledBlock(const jpeg_component_info& comp) { return comp.DCT_scaled_size; }
#endif

// YCbCr with the luma at full resolution, or grey: the planes can be taken as they are.
bool PlanesUsable(const jpeg_decompress_struct& c) {
    if (c.jpeg_color_space == JCS_GRAYSCALE && c.num_components == 1) return true;
    return c.jpeg_color_space == JCS_YCbCr && c.num_components == 3 &&
           c.comp_info[0].h_samp_factor == c.max_h_samp_factor && c.comp_info[0].v_samp_factor == c.max_v_samp_factor;
}

// Reads the picture's planes as they are coded, one row of blocks at a time; false as soon
// as the data turn out damaged.
bool ReadPlanes(jpeg_decompress_struct& c, const DecodeErrors& errors, YuvImage& out, std::vector<uint8_t*>& rows) {
    Plane* planes[3] = {&out.y, &out.cb, &out.cr};
    int rowsPerCall[3] = {};
    for (int i = 0; i < c.num_components; ++i) {
        const jpeg_component_info& comp = c.comp_info[i];
        rowsPerCall[i] = comp.v_samp_factor * ScaledBlock(comp);
        planes[i]->Resize(static_cast<int>(comp.downsampled_width), static_cast<int>(comp.downsampled_height),
                          static_cast<int>(c.total_iMCU_rows) * rowsPerCall[i],
                          (static_cast<size_t>(comp.width_in_blocks) + 1) * static_cast<size_t>(ScaledBlock(comp)));
    }
    out.width = static_cast<int>(c.output_width);
    out.height = static_cast<int>(c.output_height);
    if (c.num_components == 1) {  // grey: neutral chroma
        for (Plane* p : {&out.cb, &out.cr}) {
            p->Resize((out.width + 1) / 2, (out.height + 1) / 2);
            std::fill(p->data.begin(), p->data.end(), 128);
        }
    }
    const int lines = c.max_v_samp_factor * (rowsPerCall[0] / c.comp_info[0].v_samp_factor);
    rows.resize(3 * 64);
    JSAMPARRAY arrays[3] = {rows.data(), rows.data() + 64, rows.data() + 128};
    for (JDIMENSION row = 0; c.output_scanline < c.output_height; ++row) {
        for (int i = 0; i < c.num_components; ++i)
            for (int k = 0; k < rowsPerCall[i]; ++k)
                arrays[i][k] = planes[i]->Row(static_cast<int>(row) * rowsPerCall[i] + k);
        if (jpeg_read_raw_data(&c, arrays, static_cast<JDIMENSION>(lines)) == 0 || errors.damaged) return false;
    }
    return true;
}

bool ReadRgb(jpeg_decompress_struct& c, const DecodeErrors& errors, RgbImage& out, std::vector<uint8_t*>& rows) {
    out.Resize(static_cast<int>(c.output_width), static_cast<int>(c.output_height));
    rows.resize(c.output_height);
    for (JDIMENSION y = 0; y < c.output_height; ++y) rows[y] = out.Row(static_cast<int>(y));
    while (c.output_scanline < c.output_height) {
        jpeg_read_scanlines(&c, rows.data() + c.output_scanline, c.output_height - c.output_scanline);
        if (errors.damaged) return false;
    }
    return true;
}

// The part that longjmp may leave: no object with a destructor lives here. Decodes to
// `rgb`, or to `yuv` (through `rgb` when the planes cannot be taken as they are).
bool Run(jpeg_decompress_struct& c, DecodeErrors& errors, const uint8_t* data, size_t size, int width, int height,
         unsigned reduction, RgbImage& rgb, YuvImage* yuv, std::vector<uint8_t*>& rows, std::string& why) {
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
    const bool planar = yuv && PlanesUsable(c);
    if (planar) {
        c.raw_data_out = TRUE;
        c.out_color_space = c.jpeg_color_space;
    } else {
        c.out_color_space = JCS_RGB;
    }
    c.scale_num = 1;
    c.scale_denom = reduction;
    jpeg_start_decompress(&c);
    bool whole = planar ? ReadPlanes(c, errors, *yuv, rows) : ReadRgb(c, errors, rgb, rows);
    if (!whole || errors.damaged) {
        why = errors.damaged ? errors.message : "the frame's data ended early";
        return false;
    }
    if (yuv && !planar) RgbToYuv444(rgb, *yuv);
    // The picture is whole; what follows it (normally just the end marker) is not read.
    return true;
}

}  // namespace

bool MjpegDecoder::Decode(const uint8_t* data, size_t size, int width, int height, int minWidth, int minHeight,
                          RgbImage& out, std::string& why) {
    return DecodeTo(data, size, width, height, minWidth, minHeight, out, nullptr, why);
}

bool MjpegDecoder::Decode(const uint8_t* data, size_t size, int width, int height, int minWidth, int minHeight,
                          YuvImage& out, std::string& why) {
    return DecodeTo(data, size, width, height, minWidth, minHeight, rgb_, &out, why);
}

bool MjpegDecoder::DecodeTo(const uint8_t* data, size_t size, int width, int height, int minWidth, int minHeight,
                            RgbImage& rgb, YuvImage* yuv, std::string& why) {
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
    bool ok = Run(c, errors, data, size, width, height, Reduction(width, height, minWidth, minHeight), rgb, yuv, rows_,
                  why);
    jpeg_destroy_decompress(&c);
    return ok;
}
