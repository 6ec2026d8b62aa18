// image_fixtures.h --
//
//     Helpers of the image tests: pixel access, and writers that make the
//     PNG, JPEG and GIF fixtures inside each test with the codec libraries
//     themselves (palette, grey, 16-bit, interlaced, progressive, CMYK
//     and hand-patched files), so every fixture states what it holds.

#ifndef KIV_TESTS_IMAGE_FIXTURES_H
#define KIV_TESTS_IMAGE_FIXTURES_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/log.h>
#include <kiv/image/image_lib.h>
#include <kiv_test/run_command.h>
#include <kiv_test/trace_capture.h>

#include "../core/test_util.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

namespace kiv_test {

struct rgba {
    uint8_t r, g, b, a;
    bool operator==(const rgba& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const rgba& o) const { return !(*this == o); }
};

inline std::ostream& operator<<(std::ostream& os, const rgba& c) {
    return os << "rgba(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a) << ")";
}

// Within `tolerance` on every channel (AGG's blender rounds).
inline bool near(const rgba& a, const rgba& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance && std::abs(a.a - b.a) <= tolerance;
}

inline rgba pixel(kiv::i_image* img, unsigned x, unsigned y) {
    const uint8_t* p = static_cast<const uint8_t*>(img->get_data()) + (size_t(y) * img->get_width() + x) * 4;
    return rgba{p[0], p[1], p[2], p[3]};
}

// The 32-bit colour value of a pixel.
inline unsigned color_of(const rgba& c) {
    return unsigned(c.r) | unsigned(c.g) << 8 | unsigned(c.b) << 16 | unsigned(c.a) << 24;
}

// A new image (one reference, held) from RGBA pixels.
inline auto_ptr_t<kiv::i_image> image_from(unsigned width, unsigned height, const std::vector<rgba>& pixels) {
    return auto_ptr_t<kiv::i_image>(kiv_image_create_from_data(
        pixels.data(), unsigned(pixels.size() * 4), width, height, 6));
}

// A picture where every pixel differs: r = x * 16, g = y * 16, b = x ^ y,
// opaque.
inline std::vector<rgba> gradient(unsigned width, unsigned height) {
    std::vector<rgba> out;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            out.push_back(rgba{uint8_t(x * 16), uint8_t(y * 16), uint8_t((x ^ y) * 8), 255});
    return out;
}

// A 257 x 193 picture of smooth colours with a little noise, whose
// alpha runs through 0, 128, 254 and 255 in 8 x 8 blocks (shifted at
// random), as map tiles mix invisible, half and nearly opaque edges.
inline std::vector<rgba> alpha_mix(unsigned width = 257, unsigned height = 193) {
    const uint8_t levels[4] = {0, 128, 254, 255};
    std::vector<rgba> out;
    uint32_t state = 7;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            out.push_back(rgba{uint8_t(x * 255 / (width - 1)), uint8_t(y * 255 / (height - 1)),
                               uint8_t((x + y) * 2 + ((state >> 16) & 15)),
                               levels[(x / 8 + y / 8 + ((state >> 20) & 1)) % 4]});
        }
    return out;
}

// The file as Pillow decodes it, as RGBA bytes; empty when Debian's
// python3 or its Pillow is missing (scripts/setup installs python3-pil;
// another python3 earlier in PATH would not see it).
inline std::vector<uint8_t> pillow_rgba(const std::string& file) {
    std::string out;
    if (run_command("/usr/bin/python3 -c \"import sys; from PIL import Image; "
                    "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGBA').tobytes())\" '" +
                        file + "' 2>/dev/null",
                    &out) != 0)
        return std::vector<uint8_t>();
    return std::vector<uint8_t>(out.begin(), out.end());
}

// The alpha_mix picture saved by our encoder to a file of its own, for a
// test that reads the file back with our loader and with Pillow.
struct saved_alpha_mix {
    unsigned width = 257, height = 193;                // the picture's size
    std::vector<rgba> pixels = alpha_mix(width, height);  // what was saved
    temp_dir dir;                            // holds the file
    std::string file;                        // the saved file; empty until save()
    auto_ptr_t<kiv::i_image> back;           // the file as kiv_image_load reads it; null until save()

    // Saves the picture as `name` in format `type` at `quality`, then
    // reads it back into `back`.
    // Returns: success, or a failure naming the step that failed.
    ::testing::AssertionResult save(const char* name, unsigned type, unsigned quality) {
        auto_ptr_t<kiv::i_image> img(image_from(width, height, pixels));
        if (!img)
            return ::testing::AssertionFailure() << "no image made from the pixels";
        file = dir.file(name);
        if (!img->save_image(file.c_str(), type, quality))
            return ::testing::AssertionFailure() << "not saved to " << file;
        back = auto_ptr_t<kiv::i_image>(kiv_image_load(file.c_str()));
        if (!back)
            return ::testing::AssertionFailure() << "not read back from " << file;
        return ::testing::AssertionSuccess();
    }
};

inline std::vector<uint8_t> bytes_of(kiv::i_binary* b) {
    const uint8_t* p = static_cast<const uint8_t*>(b->get_data());
    return std::vector<uint8_t>(p, p + b->get_data_size());
}

inline void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    ASSERT_EQ(fclose(f), 0);
}

// PNG ------------------------------------------------------------------

struct png_spec {
    unsigned width = 0, height = 0;
    int bit_depth = 8;
    int color_type = PNG_COLOR_TYPE_RGB;
    bool interlace = false;
    std::vector<png_color> palette;        // colour type 3
    std::vector<uint8_t> trns;             // colour type 3: alpha per entry
    bool grey_trns = false;                // colour types 0 and 2: a transparent colour
    png_color_16 trns_color{};
    double gamma = 0;                      // 0: no gAMA chunk
    std::vector<std::vector<uint8_t>> rows;  // raw row bytes as the format packs them
};

inline std::vector<uint8_t> make_png(const png_spec& layout) {
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(
        PNG_LIBPNG_VER_STRING, nullptr,
        [](png_structp, png_const_charp msg) {
            fprintf(stderr, "fixture PNG error: %s\n", msg);
            abort();
        },
        nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(
        png, &out,
        [](png_structp p, png_bytep data, png_size_t n) {
            auto* v = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
            v->insert(v->end(), data, data + n);
        },
        nullptr);
    png_set_IHDR(png, info, layout.width, layout.height, layout.bit_depth, layout.color_type,
                 layout.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (!layout.palette.empty())
        png_set_PLTE(png, info, layout.palette.data(), int(layout.palette.size()));
    if (!layout.trns.empty())
        png_set_tRNS(png, info, layout.trns.data(), int(layout.trns.size()), nullptr);
    if (layout.grey_trns)
        png_set_tRNS(png, info, nullptr, 0, &layout.trns_color);
    if (layout.gamma > 0)
        png_set_gAMA(png, info, layout.gamma);
    png_write_info(png, info);
    if (layout.interlace)
        png_set_interlace_handling(png);
    std::vector<png_bytep> rows;
    for (const auto& row : layout.rows)
        rows.push_back(const_cast<png_bytep>(row.data()));
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

struct png_chunk {
    std::string type;
    std::vector<uint8_t> data;
};

// The chunks of a PNG, read by hand from the bytes.
inline std::vector<png_chunk> png_chunks(const std::vector<uint8_t>& png) {
    std::vector<png_chunk> chunks;
    size_t pos = 8;
    while (pos + 12 <= png.size()) {
        uint32_t len = uint32_t(png[pos]) << 24 | uint32_t(png[pos + 1]) << 16 | uint32_t(png[pos + 2]) << 8 |
                       png[pos + 3];
        if (pos + 12 + len > png.size())
            break;
        png_chunk c;
        c.type.assign(reinterpret_cast<const char*>(&png[pos + 4]), 4);
        c.data.assign(png.begin() + long(pos + 8), png.begin() + long(pos + 8 + len));
        chunks.push_back(c);
        pos += 12 + len;
    }
    return chunks;
}

inline const png_chunk* find_chunk(const std::vector<png_chunk>& chunks, const char* type) {
    for (const auto& c : chunks)
        if (c.type == type)
            return &c;
    return nullptr;
}

// JPEG -----------------------------------------------------------------

// How a JPEG fixture's picture data is split into scans: one scan with
// every component (baseline), libjpeg's standard progression, or one
// full-quality scan a component (sequential, but the decoder must keep
// the whole picture until the last scan, as for a progressive file).
enum class jpeg_scans { one, progressive, per_component };

inline std::vector<uint8_t> make_jpeg(unsigned width, unsigned height, int components, J_COLOR_SPACE space,
                                      const std::vector<uint8_t>& samples, jpeg_scans scans = jpeg_scans::one,
                                      int quality = 95) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = components;
    cinfo.in_color_space = space;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    std::vector<jpeg_scan_info> per_component(size_t(components), jpeg_scan_info{1, {0}, 0, 63, 0, 0});
    for (int i = 0; i < components; ++i)
        per_component[size_t(i)].component_index[0] = i;
    if (scans == jpeg_scans::progressive) {
        jpeg_simple_progression(&cinfo);
    } else if (scans == jpeg_scans::per_component) {
        cinfo.scan_info = per_component.data();
        cinfo.num_scans = components;
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < height) {
        JSAMPROW row = const_cast<JSAMPROW>(&samples[size_t(cinfo.next_scanline) * width * components]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    free(buffer);
    return out;
}

// GIF ------------------------------------------------------------------

struct gif_spec {
    unsigned screen_width = 0, screen_height = 0;
    std::vector<GifColorType> global;  // empty: no global table (size must be a power of two)
    std::vector<GifColorType> local;   // empty: no local table
    unsigned left = 0, top = 0, width = 0, height = 0;
    bool interlace = false;
    int control_flags = -1;            // graphic control block flags; -1: no block
    int control_index = 0;             // its transparent index
    std::vector<uint8_t> indices;      // width × height, rows top to bottom
};

inline int gif_write_vector(GifFileType* gif, const GifByteType* data, int n) {
    auto* v = static_cast<std::vector<uint8_t>*>(gif->UserData);
    v->insert(v->end(), data, data + n);
    return n;
}

inline std::vector<uint8_t> make_gif(const gif_spec& layout) {
    std::vector<uint8_t> out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, gif_write_vector, &error);
    EXPECT_NE(gif, nullptr);
    ColorMapObject* global =
        layout.global.empty() ? nullptr : GifMakeMapObject(int(layout.global.size()), layout.global.data());
    ColorMapObject* local =
        layout.local.empty() ? nullptr : GifMakeMapObject(int(layout.local.size()), layout.local.data());
    EGifSetGifVersion(gif, true);
    EXPECT_EQ(EGifPutScreenDesc(gif, int(layout.screen_width), int(layout.screen_height), 8, 0, global), GIF_OK);
    if (layout.control_flags >= 0) {
        GifByteType block[4] = {GifByteType(layout.control_flags), 0, 0, GifByteType(layout.control_index)};
        EXPECT_EQ(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, block), GIF_OK);
    }
    EXPECT_EQ(EGifPutImageDesc(gif, int(layout.left), int(layout.top), int(layout.width), int(layout.height),
                               layout.interlace, local),
              GIF_OK);
    std::vector<uint8_t> indices = layout.indices;
    std::vector<unsigned> order;
    if (layout.interlace) {
        const unsigned start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (unsigned y = start[pass]; y < layout.height; y += step[pass])
                order.push_back(y);
    } else {
        for (unsigned y = 0; y < layout.height; ++y)
            order.push_back(y);
    }
    for (unsigned y : order)
        EXPECT_EQ(EGifPutLine(gif, &indices[size_t(y) * layout.width], int(layout.width)), GIF_OK);
    EXPECT_EQ(EGifCloseFile(gif, &error), GIF_OK);
    GifFreeMapObject(global);
    GifFreeMapObject(local);
    return out;
}

// A palette of `count` entries: entry i is (i, 255 - i, i / 2).
inline std::vector<GifColorType> ramp_palette(unsigned count) {
    std::vector<GifColorType> colors;
    for (unsigned i = 0; i < count; ++i)
        colors.push_back(GifColorType{GifByteType(i), GifByteType(255 - i), GifByteType(i / 2)});
    return colors;
}

}  // namespace kiv_test

#endif
