// image_png_codec.cpp --
//
//     PNG decoding into RGBA and encoding as RGBA, RGB or a 256-colour
//     palette with transparency (Wu quantizer). libpng reports errors by
//     longjmp, so every step that calls it runs inside a function that set
//     the jump point and owns no C++ object; buffers live in plain state
//     structs freed by the caller on both paths. Warnings go to the trace
//     instead of libpng's standard error output. Text chunks are skipped
//     unread: the picture never needs them, and libpng would inflate and
//     keep up to a thousand of them at 8 MB each, so a file of a few MB
//     could make a 1 × 1 picture take gigabytes.

#include <kiv/core/log.h>
#include <kiv/image/image.h>

#include "memory_sink.h"
#include "pixel_size.h"
#include "wu_quantizer.h"

#include <png.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace kiv {

namespace {

[[noreturn]] void on_load_error(png_structp png, png_const_charp message) {
    kiv_trace("kiv_image: PNG load error: %s", message);
    png_longjmp(png, 1);
}

[[noreturn]] void on_save_error(png_structp png, png_const_charp message) {
    kiv_trace("kiv_image: PNG save error: %s", message);
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp message) {
    kiv_trace("kiv_image: PNG warning: %s", message);
}

// Decoding --------------------------------------------------------------

// The chunks libpng is told to skip, in its list format: four letters
// and a NUL each.
constexpr png_byte skipped_chunks[] = "tEXt\0zTXt\0iTXt";
constexpr int skipped_chunk_count = 3;

struct png_source {
    const uint8_t* data;  // borrowed
    size_t size;
    size_t pos;           // bytes handed to libpng so far
};

void read_from_memory(png_structp png, png_bytep out, png_size_t n) {
    png_source* src = static_cast<png_source*>(png_get_io_ptr(png));
    if (n > src->size - src->pos)
        png_error(png, "Read Error");
    std::memcpy(out, src->data + src->pos, n);
    src->pos += n;
}

struct decode_state {
    uint8_t* pixels = nullptr;  // calloc-ed RGBA; handed to the image on success
    png_bytep* rows = nullptr;  // malloc-ed row pointers into pixels
    png_uint_32 width = 0;
    png_uint_32 height = 0;
};

// Reads the header, sets the transforms that turn every colour type and
// depth into 8-bit RGBA, and reads all rows (interlaced files through
// libpng's pass handling).
bool decode_steps(png_structp png, png_infop info, decode_state* st) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, skipped_chunks, skipped_chunk_count);
    png_read_info(png, info);
    png_uint_32 width, height;
    int depth, color_type;
    png_get_IHDR(png, info, &width, &height, &depth, &color_type, nullptr, nullptr, nullptr);
    uint64_t bytes = checked_rgba_bytes(width, height);
    if (bytes == 0)
        png_error(png, "image too large");

    bool has_trns = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    if (color_type == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (color_type == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (has_trns)
        png_set_tRNS_to_alpha(png);
    if (depth == 16)
        png_set_strip_16(png);
    if (color_type == PNG_COLOR_TYPE_GRAY || color_type == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    if ((color_type & PNG_COLOR_MASK_ALPHA) == 0 && !has_trns)
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    double file_gamma;
    if (png_get_gAMA(png, info, &file_gamma))
        png_set_gamma(png, 2.2, file_gamma);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != png_size_t(width) * 4)
        png_error(png, "unexpected row size after transforms");

    st->pixels = static_cast<uint8_t*>(calloc(bytes, 1));
    st->rows = static_cast<png_bytep*>(malloc(sizeof(png_bytep) * height));
    if (st->pixels == nullptr || st->rows == nullptr)
        png_error(png, "out of memory");
    st->width = width;
    st->height = height;
    for (png_uint_32 y = 0; y < height; ++y)
        st->rows[y] = st->pixels + size_t(y) * width * 4;
    png_read_image(png, st->rows);
    png_read_end(png, nullptr);
    return true;
}

// Encoding --------------------------------------------------------------

struct png_target {
    FILE* file;           // borrowed; null for memory output
    memory_sink* memory;  // borrowed; used when file is null
};

void write_out(png_structp png, png_bytep data, png_size_t n) {
    png_target* t = static_cast<png_target*>(png_get_io_ptr(png));
    if (t->file != nullptr) {
        if (fwrite(data, 1, n, t->file) != n)
            png_error(png, "Write Error");
    } else if (!t->memory->write(data, n)) {
        png_error(png, "output block too large or out of memory");
    }
}

void flush_out(png_structp) {}

struct encode_state {
    const uint8_t* pixels;        // the image's RGBA buffer, borrowed
    png_uint_32 width, height;
    int color_type;               // 6, 2 or 3
    const uint8_t* indices;       // colour type 3: one palette index a pixel
    const uint8_t* palette;       // colour type 3: 256 RGB entries
    const uint8_t* alphas;        // colour type 3: 256 alpha entries
    uint8_t* rgb_row = nullptr;   // colour type 2: malloc-ed row of width × 3
};

bool encode_steps(png_structp png, png_infop info, encode_state* st) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_IHDR(png, info, st->width, st->height, 8, st->color_type, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (st->color_type == PNG_COLOR_TYPE_PALETTE) {
        png_color colors[256];
        for (int i = 0; i < 256; ++i) {
            colors[i].red = st->palette[3 * i];
            colors[i].green = st->palette[3 * i + 1];
            colors[i].blue = st->palette[3 * i + 2];
        }
        png_set_PLTE(png, info, colors, 256);
        png_set_tRNS(png, info, st->alphas, 256, nullptr);
    }
    png_write_info(png, info);

    size_t stride = size_t(st->width) * 4;
    if (st->color_type == PNG_COLOR_TYPE_RGBA) {
        for (png_uint_32 y = 0; y < st->height; ++y)
            png_write_row(png, st->pixels + y * stride);
    } else if (st->color_type == PNG_COLOR_TYPE_RGB) {
        st->rgb_row = static_cast<uint8_t*>(malloc(size_t(st->width) * 3));
        if (st->rgb_row == nullptr)
            png_error(png, "out of memory");
        for (png_uint_32 y = 0; y < st->height; ++y) {
            const uint8_t* src = st->pixels + y * stride;
            for (png_uint_32 x = 0; x < st->width; ++x) {
                st->rgb_row[3 * x] = src[4 * x];
                st->rgb_row[3 * x + 1] = src[4 * x + 1];
                st->rgb_row[3 * x + 2] = src[4 * x + 2];
            }
            png_write_row(png, st->rgb_row);
        }
    } else {
        for (png_uint_32 y = 0; y < st->height; ++y)
            png_write_row(png, st->indices + size_t(y) * st->width);
    }
    png_write_end(png, info);
    return true;
}

}  // namespace

bool image::png_create(const void* data, unsigned size) {
    if (data == nullptr || size == 0)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_load_error, on_warning);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    png_source src{static_cast<const uint8_t*>(data), size, 0};
    png_set_read_fn(png, &src, read_from_memory);
    decode_state st;
    bool ok = decode_steps(png, info, &st);
    png_destroy_read_struct(&png, &info, nullptr);
    free(st.rows);
    if (!ok) {
        free(st.pixels);
        return false;
    }
    adopt(st.pixels, st.width, st.height);
    return true;
}

bool image::png_save(FILE* file, binary** out, unsigned char quality) {
    if ((file == nullptr) == (out == nullptr) || data_ == nullptr)
        return false;
    if (out != nullptr)
        *out = nullptr;
    if (quality == 0 || quality > 100)
        quality = 100;

    encode_state st{data_, width_, height_, PNG_COLOR_TYPE_RGBA, nullptr, nullptr, nullptr};
    std::vector<uint8_t> indices;
    uint8_t palette[256 * 3];
    uint8_t alphas[256];
    if (quality == 99) {
        st.color_type = PNG_COLOR_TYPE_RGB;
    } else if (quality < 99) {
        st.color_type = PNG_COLOR_TYPE_PALETTE;
        size_t pixels = size_t(width_) * height_;
        if (!wu_quantize(data_, pixels, 256, indices, palette, alphas)) {
            kiv_trace("kiv_image: PNG save error: out of memory for the palette");
            return false;
        }
        st.indices = indices.data();
        st.palette = palette;
        st.alphas = alphas;
    }

    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_save_error, on_warning);
    if (png == nullptr)
        return false;
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    memory_sink memory;
    png_target target{file, &memory};
    png_set_write_fn(png, &target, write_out, flush_out);
    bool ok = encode_steps(png, info, &st);
    png_destroy_write_struct(&png, &info);
    free(st.rgb_row);
    if (!ok)
        return false;
    if (out != nullptr) {
        *out = memory.to_binary();
        return *out != nullptr;
    }
    return true;
}

}  // namespace kiv
