// image_jpeg_codec.cpp --
//
//     JPEG decoding into RGBA and encoding from RGB (pixels that are not
//     fully opaque become white). libjpeg's fatal errors leave through
//     longjmp to the step function that set the jump point; that function
//     owns no C++ object. Library messages are never printed. A file cut
//     short or with garbled picture data is an error here, not the
//     library's grey fill, and a progressive file with an absurd number
//     of scans is refused, so a small hostile file cannot buy a long
//     decode. The memory a picture takes is checked against the image
//     cap from the header, before libjpeg or this file allocates it:
//     the pixels, and for a file of several scans the library's store
//     of every coefficient, which a near-empty progressive file of a
//     few MB can make larger than the pixels themselves.

#include <kiv/core/log.h>
#include <kiv/image/image.h>

#include "pixel_size.h"

#include <cstdio>
#include <csetjmp>
#include <cstdlib>
#include <new>

#include <jerror.h>
#include <jpeglib.h>

namespace kiv {

namespace {

// More scans than any real progressive file has.
constexpr int max_scans = 500;

struct error_state {
    jpeg_error_mgr mgr;  // first member: libjpeg hands it back as cinfo->err
    jmp_buf jump;
    const char* what;    // "load" or "save", for the trace
};

[[noreturn]] void fail(j_common_ptr cinfo, const char* why) {
    error_state* err = reinterpret_cast<error_state*>(cinfo->err);
    kiv_trace("kiv_image: JPEG %s error: %s", err->what, why);
    longjmp(err->jump, 1);
}

[[noreturn]] void on_error(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    fail(cinfo, message);
}

// Warnings (level -1) pass silently, except those saying that picture
// data is missing or garbled: the library would go on and fill the rest
// of the picture with grey.
void on_message(j_common_ptr cinfo, int level) {
    if (level >= 0)
        return;
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC:
        on_error(cinfo);
    default:
        break;
    }
}

void on_output(j_common_ptr) {}

void on_progress(j_common_ptr cinfo) {
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > max_scans)
        fail(cinfo, "too many scans");
}

// Returns: the bytes libjpeg keeps for the whole picture beside our
//     pixels. A progressive file, or one whose components come in
//     separate scans, is decoded into a store of every DCT coefficient
//     (64 of two bytes an 8 × 8 block, each component's blocks rounded up
//     to its sampling factors, as libjpeg's coefficient controller sizes
//     it) before the first row comes out; a single-scan file is decoded
//     a few rows at a time and keeps nothing of the kind, so gives 0.
//     Valid from jpeg_read_header on, before jpeg_start_decompress.
//     Sides below 2^16 and at most 10 components keep it far from
//     overflowing.
uint64_t coefficient_store_bytes(jpeg_decompress_struct* cinfo) {
    if (!jpeg_has_multiple_scans(cinfo))
        return 0;
    uint64_t blocks = 0;
    for (int i = 0; i < cinfo->num_components; ++i) {
        const jpeg_component_info& c = cinfo->comp_info[i];
        uint64_t across = (uint64_t(c.width_in_blocks) + unsigned(c.h_samp_factor) - 1) /
                          unsigned(c.h_samp_factor) * unsigned(c.h_samp_factor);
        uint64_t down = (uint64_t(c.height_in_blocks) + unsigned(c.v_samp_factor) - 1) /
                        unsigned(c.v_samp_factor) * unsigned(c.v_samp_factor);
        blocks += across * down;
    }
    return blocks * sizeof(JBLOCK);
}

void init_errors(error_state& err, const char* what) {
    jpeg_std_error(&err.mgr);
    err.mgr.error_exit = on_error;
    err.mgr.emit_message = on_message;
    err.mgr.output_message = on_output;
    err.what = what;
}

struct decode_state {
    const uint8_t* data;        // borrowed input
    size_t size;
    bool created = false;       // the decompressor needs destroying
    jpeg_progress_mgr progress{};  // counts scans through on_progress
    uint8_t* pixels = nullptr;  // calloc-ed RGBA; handed to the image on success
    uint8_t* row = nullptr;     // malloc-ed RGB scanline
    unsigned width = 0;
    unsigned height = 0;
};

bool decode_steps(jpeg_decompress_struct* cinfo, error_state* err, decode_state* st) {
    if (setjmp(err->jump))
        return false;
    jpeg_create_decompress(cinfo);
    st->created = true;
    st->progress.progress_monitor = on_progress;
    cinfo->progress = &st->progress;
    jpeg_mem_src(cinfo, st->data, st->size);
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK)
        fail(reinterpret_cast<j_common_ptr>(cinfo), "not a JPEG image");
    uint64_t pixel_bytes = checked_rgba_bytes(cinfo->image_width, cinfo->image_height);
    if (pixel_bytes == 0 || coefficient_store_bytes(cinfo) > image::max_data_size - pixel_bytes)
        fail(reinterpret_cast<j_common_ptr>(cinfo), "image too large");
    cinfo->out_color_space = JCS_RGB;
    jpeg_start_decompress(cinfo);
    uint64_t bytes = checked_rgba_bytes(cinfo->output_width, cinfo->output_height);
    if (bytes == 0 || cinfo->output_components != 3)
        fail(reinterpret_cast<j_common_ptr>(cinfo), "unexpected output size");
    st->width = cinfo->output_width;
    st->height = cinfo->output_height;
    st->pixels = static_cast<uint8_t*>(calloc(bytes, 1));
    st->row = static_cast<uint8_t*>(malloc(size_t(st->width) * 3));
    if (st->pixels == nullptr || st->row == nullptr)
        fail(reinterpret_cast<j_common_ptr>(cinfo), "out of memory");
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW rows[1] = {st->row};
        if (jpeg_read_scanlines(cinfo, rows, 1) != 1)
            fail(reinterpret_cast<j_common_ptr>(cinfo), "no scanline");
        uint8_t* dst = st->pixels + size_t(cinfo->output_scanline - 1) * st->width * 4;
        for (unsigned x = 0; x < st->width; ++x) {
            dst[4 * x] = st->row[3 * x];
            dst[4 * x + 1] = st->row[3 * x + 1];
            dst[4 * x + 2] = st->row[3 * x + 2];
            dst[4 * x + 3] = 255;
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

struct encode_state {
    const uint8_t* pixels;           // the image's RGBA buffer, borrowed
    unsigned width, height;
    int quality;
    FILE* file;                      // borrowed; null for memory output
    bool created = false;            // the compressor needs destroying
    unsigned char* memory = nullptr; // memory output, malloc-ed by libjpeg
    unsigned long memory_size = 0;
    uint8_t* row = nullptr;          // malloc-ed RGB scanline
};

bool encode_steps(jpeg_compress_struct* cinfo, error_state* err, encode_state* st) {
    if (setjmp(err->jump))
        return false;
    jpeg_create_compress(cinfo);
    st->created = true;
    if (st->file != nullptr)
        jpeg_stdio_dest(cinfo, st->file);
    else
        jpeg_mem_dest(cinfo, &st->memory, &st->memory_size);
    cinfo->image_width = st->width;
    cinfo->image_height = st->height;
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_RGB;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, st->quality, TRUE);
    st->row = static_cast<uint8_t*>(malloc(size_t(st->width) * 3));
    if (st->row == nullptr)
        fail(reinterpret_cast<j_common_ptr>(cinfo), "out of memory");
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        const uint8_t* src = st->pixels + size_t(cinfo->next_scanline) * st->width * 4;
        for (unsigned x = 0; x < st->width; ++x) {
            bool opaque = src[4 * x + 3] == 255;
            st->row[3 * x] = opaque ? src[4 * x] : 255;
            st->row[3 * x + 1] = opaque ? src[4 * x + 1] : 255;
            st->row[3 * x + 2] = opaque ? src[4 * x + 2] : 255;
        }
        JSAMPROW rows[1] = {st->row};
        jpeg_write_scanlines(cinfo, rows, 1);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

}  // namespace

bool image::jpeg_create(const void* data, unsigned size) {
    if (data == nullptr || size == 0)
        return false;
    jpeg_decompress_struct cinfo;
    error_state err;
    init_errors(err, "load");
    cinfo.err = &err.mgr;
    decode_state st{static_cast<const uint8_t*>(data), size};
    bool ok = decode_steps(&cinfo, &err, &st);
    if (st.created)
        jpeg_destroy_decompress(&cinfo);
    free(st.row);
    if (!ok) {
        free(st.pixels);
        return false;
    }
    adopt(st.pixels, st.width, st.height);
    return true;
}

bool image::jpeg_save(FILE* file, binary** out, unsigned char quality) {
    if ((file == nullptr) == (out == nullptr) || data_ == nullptr)
        return false;
    if (out != nullptr)
        *out = nullptr;
    jpeg_compress_struct cinfo;
    error_state err;
    init_errors(err, "save");
    cinfo.err = &err.mgr;
    encode_state st{data_, width_, height_, quality, file};
    bool ok = encode_steps(&cinfo, &err, &st);
    if (st.created)
        jpeg_destroy_compress(&cinfo);
    free(st.row);
    if (ok && out != nullptr) {
        if (st.memory_size > UINT32_MAX) {
            kiv_trace("kiv_image: JPEG save error: output too large");
            ok = false;
        } else {
            *out = new (std::nothrow) binary(st.memory, static_cast<unsigned>(st.memory_size), true);
            if (*out != nullptr) {
                st.memory = nullptr;
                (*out)->addref();
            }
            ok = *out != nullptr;
        }
    }
    free(st.memory);
    return ok;
}

}  // namespace kiv
