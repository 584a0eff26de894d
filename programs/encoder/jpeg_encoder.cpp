#include "programs/encoder/jpeg_encoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    jmp_buf escape;
};

// libjpeg's default handler exits the process; we return to Encode instead.
void OnError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->escape, 1); }
void OnMessage(j_common_ptr) {}

// Writes into a std::vector that grows as needed and is kept between frames.
struct VectorDestination {
    jpeg_destination_mgr base;
    std::vector<uint8_t>* out;

    static void Init(j_compress_ptr cinfo) {
        auto* self = reinterpret_cast<VectorDestination*>(cinfo->dest);
        if (self->out->size() < 65536) self->out->resize(65536);
        self->base.next_output_byte = self->out->data();
        self->base.free_in_buffer = self->out->size();
    }
    static boolean Grow(j_compress_ptr cinfo) {
        auto* self = reinterpret_cast<VectorDestination*>(cinfo->dest);
        size_t used = self->out->size();
        self->out->resize(used * 2);
        self->base.next_output_byte = self->out->data() + used;
        self->base.free_in_buffer = self->out->size() - used;
        return TRUE;
    }
    static void Term(j_compress_ptr cinfo) {
        auto* self = reinterpret_cast<VectorDestination*>(cinfo->dest);
        self->out->resize(self->out->size() - self->base.free_in_buffer);
    }
};

// The picture and quality of one frame; called after the caller's setjmp, where a
// library error returns to.
void SetUp(jpeg_compress_struct& c, int width, int height, J_COLOR_SPACE space, int quality) {
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 3;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality < 1 ? 1 : quality > 100 ? 100 : quality, TRUE);
    c.dct_method = JDCT_ISLOW;
}

}  // namespace

struct JpegEncoder::State {
    jpeg_compress_struct cinfo;
    ErrorManager error;
    VectorDestination dest;
};

JpegEncoder::JpegEncoder() : state_(new State()) {
    State& s = *state_;
    s.cinfo.err = jpeg_std_error(&s.error.base);
    s.error.base.error_exit = OnError;
    s.error.base.output_message = OnMessage;
    jpeg_create_compress(&s.cinfo);
    s.dest.base.init_destination = VectorDestination::Init;
    s.dest.base.empty_output_buffer = VectorDestination::Grow;
    s.dest.base.term_destination = VectorDestination::Term;
    s.cinfo.dest = &s.dest.base;
}

JpegEncoder::~JpegEncoder() { jpeg_destroy_compress(&state_->cinfo); }

bool JpegEncoder::Encode(const RgbImage& image, int quality, std::vector<uint8_t>& out) {
    State& s = *state_;
    jpeg_compress_struct& c = s.cinfo;
    s.dest.out = &out;
    out.resize(out.capacity());
    if (setjmp(s.error.escape)) {
        jpeg_abort_compress(&c);
        return false;
    }
    SetUp(c, image.width, image.height, JCS_RGB, quality);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.Row(static_cast<int>(c.next_scanline)));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    return true;
}

bool JpegEncoder::Encode(YuvImage& image, int quality, std::vector<uint8_t>& out) {
    if (!image.Is420() || image.width <= 0 || image.height <= 0) return false;
    // Whole 8-pixel blocks of each plane are read: luma to a multiple of 8, chroma of 16
    // pixels of the picture.
    image.y.PadRight((static_cast<size_t>(image.width) + 7) / 8 * 8);
    image.cb.PadRight((static_cast<size_t>(image.width) + 15) / 16 * 8);
    image.cr.PadRight((static_cast<size_t>(image.width) + 15) / 16 * 8);
    State& s = *state_;
    jpeg_compress_struct& c = s.cinfo;
    s.dest.out = &out;
    out.resize(out.capacity());
    if (setjmp(s.error.escape)) {
        jpeg_abort_compress(&c);
        return false;
    }
    SetUp(c, image.width, image.height, JCS_YCbCr, quality);  // defaults: luma 2x2, chroma 1x1, 4:2:0
    c.raw_data_in = TRUE;
    jpeg_start_compress(&c, TRUE);
    JSAMPROW y[16], cb[8], cr[8];
    JSAMPARRAY planes[3] = {y, cb, cr};
    while (c.next_scanline < c.image_height) {
        // Rows below the picture repeat its last one.
        const int top = static_cast<int>(c.next_scanline);
        for (int i = 0; i < 16; ++i) y[i] = image.y.Row(std::min(top + i, image.height - 1));
        for (int i = 0; i < 8; ++i) {
            cb[i] = image.cb.Row(std::min(top / 2 + i, image.cb.height - 1));
            cr[i] = image.cr.Row(std::min(top / 2 + i, image.cr.height - 1));
        }
        jpeg_write_raw_data(&c, planes, 16);
    }
    jpeg_finish_compress(&c);
    return true;
}
