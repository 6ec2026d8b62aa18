// png_codec_test.cpp --
//
//     PNG decoding of every colour type and depth the format allows
//     (palette with transparency, 1-bit grey, 16-bit, gamma, interlaced),
//     refusal of cut or oversized files, text skipped unread, and the
//     three encodings chosen by quality with their round trips.

#include <kiv/core/auto_ptr.h>
#include <kiv/image/image_lib.h>

#include "../core/test_util.h"
#include "core_environment.h"
#include "image_fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <set>

#include <zlib.h>

using namespace kiv;
using namespace kiv_test;

namespace {

auto_ptr_t<i_image> decode(const std::vector<uint8_t>& bytes) {
    return auto_ptr_t<i_image>(kiv_image_create_from_data(bytes.data(), unsigned(bytes.size()), 0, 0, 2));
}

// The IHDR size fields rewritten, with a matching CRC, so only the size
// is wrong.
std::vector<uint8_t> with_size(std::vector<uint8_t> png, uint32_t width, uint32_t height) {
    // signature (8), length (4), "IHDR" (4), then width and height.
    for (int i = 0; i < 4; ++i) {
        png[16 + i] = uint8_t(width >> (24 - 8 * i));
        png[20 + i] = uint8_t(height >> (24 - 8 * i));
    }
    uint32_t crc = uint32_t(crc32(0, &png[12], 17));
    for (int i = 0; i < 4; ++i)
        png[29 + i] = uint8_t(crc >> (24 - 8 * i));
    return png;
}

png_spec rgb_spec(unsigned width, unsigned height) {
    png_spec layout;
    layout.width = width;
    layout.height = height;
    layout.color_type = PNG_COLOR_TYPE_RGB;
    for (unsigned y = 0; y < height; ++y) {
        std::vector<uint8_t> row;
        for (unsigned x = 0; x < width; ++x) {
            row.push_back(uint8_t(x * 20));
            row.push_back(uint8_t(y * 20));
            row.push_back(128);
        }
        layout.rows.push_back(row);
    }
    return layout;
}

// `png` with one more chunk of `type` and `data` right after the header.
std::vector<uint8_t> with_chunk(std::vector<uint8_t> png, const char* type, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> chunk;
    for (int i = 0; i < 4; ++i)
        chunk.push_back(uint8_t(data.size() >> (24 - 8 * i)));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    uint32_t crc = uint32_t(crc32(0, &chunk[4], uInt(chunk.size() - 4)));
    for (int i = 0; i < 4; ++i)
        chunk.push_back(uint8_t(crc >> (24 - 8 * i)));
    // after the signature (8) and IHDR (25)
    png.insert(png.begin() + 33, chunk.begin(), chunk.end());
    return png;
}

int color_type_of(const std::vector<uint8_t>& png) {
    auto chunks = png_chunks(png);
    const png_chunk* ihdr = find_chunk(chunks, "IHDR");
    return ihdr != nullptr && ihdr->data.size() == 13 ? ihdr->data[9] : -1;
}

}  // namespace

TEST(png_decode, palette_with_transparency_expands_to_rgba) {
    png_spec layout;
    layout.width = 4;
    layout.height = 1;
    layout.bit_depth = 2;
    layout.color_type = PNG_COLOR_TYPE_PALETTE;
    layout.palette = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {9, 8, 7}};
    layout.trns = {255, 128, 0};  // the fourth entry has no alpha: opaque
    layout.rows = {{0x1B}};       // indices 0 1 2 3
    auto_ptr_t<i_image> img(decode(make_png(layout)));
    ASSERT_TRUE(img);
    ASSERT_EQ(img->get_width(), 4u);
    EXPECT_EQ(pixel(img, 0, 0), (rgba{255, 0, 0, 255}));
    EXPECT_EQ(pixel(img, 1, 0), (rgba{0, 255, 0, 128}));
    EXPECT_EQ(pixel(img, 2, 0), (rgba{0, 0, 255, 0}));
    EXPECT_EQ(pixel(img, 3, 0), (rgba{9, 8, 7, 255}));
}

TEST(png_decode, one_bit_grey_becomes_black_and_white_rgb) {
    png_spec layout;
    layout.width = 10;
    layout.height = 1;
    layout.bit_depth = 1;
    layout.color_type = PNG_COLOR_TYPE_GRAY;
    layout.rows = {{0xA0, 0x40}};  // 1 0 1 0 0 0 0 0 | 0 1
    auto_ptr_t<i_image> img(decode(make_png(layout)));
    ASSERT_TRUE(img);
    EXPECT_EQ(pixel(img, 0, 0), (rgba{255, 255, 255, 255}));
    EXPECT_EQ(pixel(img, 1, 0), (rgba{0, 0, 0, 255}));
    EXPECT_EQ(pixel(img, 2, 0), (rgba{255, 255, 255, 255}));
    EXPECT_EQ(pixel(img, 8, 0), (rgba{0, 0, 0, 255}));
    EXPECT_EQ(pixel(img, 9, 0), (rgba{255, 255, 255, 255}));
}

TEST(png_decode, grey_with_a_transparent_value_gets_alpha_zero_there) {
    png_spec layout;
    layout.width = 2;
    layout.height = 1;
    layout.color_type = PNG_COLOR_TYPE_GRAY;
    layout.grey_trns = true;
    layout.trns_color.gray = 50;
    layout.rows = {{50, 51}};
    auto_ptr_t<i_image> img(decode(make_png(layout)));
    ASSERT_TRUE(img);
    EXPECT_EQ(pixel(img, 0, 0), (rgba{50, 50, 50, 0}));
    EXPECT_EQ(pixel(img, 1, 0), (rgba{51, 51, 51, 255}));
}

TEST(png_decode, sixteen_bit_samples_keep_their_high_byte) {
    png_spec layout;
    layout.width = 2;
    layout.height = 1;
    layout.bit_depth = 16;
    layout.color_type = PNG_COLOR_TYPE_RGB_ALPHA;
    layout.rows = {{0x12, 0x34, 0xAB, 0xCD, 0x00, 0xFF, 0xFF, 0xFF,  //
                  0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x80, 0x00}};
    auto_ptr_t<i_image> img(decode(make_png(layout)));
    ASSERT_TRUE(img);
    EXPECT_EQ(pixel(img, 0, 0), (rgba{0x12, 0xAB, 0x00, 0xFF}));
    EXPECT_EQ(pixel(img, 1, 0), (rgba{0x01, 0x02, 0x03, 0x80}));

    png_spec grey;
    grey.width = 1;
    grey.height = 1;
    grey.bit_depth = 16;
    grey.color_type = PNG_COLOR_TYPE_GRAY_ALPHA;
    grey.rows = {{0x7F, 0x00, 0x40, 0x00}};
    auto_ptr_t<i_image> g(decode(make_png(grey)));
    ASSERT_TRUE(g);
    EXPECT_EQ(pixel(g, 0, 0), (rgba{0x7F, 0x7F, 0x7F, 0x40}));
}

TEST(png_decode, gamma_is_corrected_for_a_screen_of_two_point_two) {
    png_spec linear = rgb_spec(1, 1);
    linear.rows = {{128, 64, 255}};
    linear.gamma = 1.0;
    auto_ptr_t<i_image> a(decode(make_png(linear)));
    ASSERT_TRUE(a);
    auto expected = [](int v) { return int(std::lround(255 * std::pow(v / 255.0, 1 / 2.2))); };
    rgba p = pixel(a, 0, 0);
    EXPECT_NEAR(p.r, expected(128), 2);
    EXPECT_NEAR(p.g, expected(64), 2);
    EXPECT_EQ(p.b, 255);
    EXPECT_EQ(p.a, 255);

    png_spec srgb = linear;
    srgb.gamma = 1 / 2.2;
    auto_ptr_t<i_image> b(decode(make_png(srgb)));
    ASSERT_TRUE(b);
    EXPECT_TRUE(near(pixel(b, 0, 0), rgba{128, 64, 255, 255}, 1)) << pixel(b, 0, 0);
}

TEST(png_decode, interlaced_rows_come_out_in_place) {
    png_spec layout = rgb_spec(11, 9);
    layout.interlace = true;
    auto_ptr_t<i_image> img(decode(make_png(layout)));
    ASSERT_TRUE(img);
    for (unsigned y = 0; y < 9; ++y)
        for (unsigned x = 0; x < 11; ++x)
            ASSERT_EQ(pixel(img, x, y), (rgba{uint8_t(x * 20), uint8_t(y * 20), 128, 255})) << x << "," << y;
}

TEST(png_decode, cut_damaged_or_foreign_data_is_refused) {
    std::vector<uint8_t> good = make_png(rgb_spec(16, 16));
    for (size_t cut : {size_t(7), size_t(20), good.size() / 2, good.size() - 13}) {
        std::vector<uint8_t> part(good.begin(), good.begin() + long(cut));
        EXPECT_FALSE(decode(part)) << "cut at " << cut;
    }
    std::vector<uint8_t> damaged = good;
    damaged[good.size() / 2] ^= 0xFF;  // inside the image data: bad CRC
    EXPECT_FALSE(decode(damaged));
    std::vector<uint8_t> text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g', '!'};
    EXPECT_FALSE(decode(text));
}

TEST(png_decode, a_header_over_the_size_cap_is_refused_before_allocation) {
    temp_dir dir;
    trace_capture trace(dir.file("trace.log"));
    std::vector<uint8_t> small = make_png(rgb_spec(1, 1));
    ASSERT_TRUE(decode(small));
    // 20000 × 20000 passes libpng's own limits but not ours (1.6 GB).
    EXPECT_FALSE(decode(with_size(small, 20000, 20000)));
    EXPECT_NE(trace.text().find("PNG load error: image too large"), std::string::npos) << trace.text();
    EXPECT_FALSE(decode(with_size(small, 0x7FFFFFFF, 0x7FFFFFFF)));
}

TEST(png_decode, compressed_text_is_skipped_without_being_inflated) {
    // A few KB of the file that inflate past libpng's limit of 8 MB a
    // chunk: before the picture data libpng would inflate each up to that
    // limit and keep up to a thousand of them, so a file of a few MB
    // could make a 1 × 1 picture take gigabytes. An inflated chunk over
    // the limit draws a warning; a skipped one draws none.
    std::vector<uint8_t> text(9'000'000, 'a');
    uLongf packed_size = compressBound(uLong(text.size()));
    std::vector<uint8_t> packed(packed_size);
    ASSERT_EQ(compress2(packed.data(), &packed_size, text.data(), uLong(text.size()), 9), Z_OK);
    packed.resize(packed_size);
    struct {
        const char* type;
        std::vector<uint8_t> head;  // keyword and flags before the compressed text
    } cases[] = {
        {"zTXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 0}},
        {"iTXt", {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 1, 0, 0, 0}},
    };
    temp_dir dir;
    trace_capture trace(dir.file("trace.log"));
    for (const auto& c : cases) {
        std::vector<uint8_t> data = c.head;
        data.insert(data.end(), packed.begin(), packed.end());
        size_t seen = trace.text().size();
        auto_ptr_t<i_image> img(decode(with_chunk(make_png(rgb_spec(1, 1)), c.type, data)));
        ASSERT_TRUE(img) << c.type;
        EXPECT_EQ(pixel(img, 0, 0), (rgba{0, 0, 128, 255})) << c.type;
        EXPECT_EQ(trace.text().substr(seen), "") << c.type;
    }
}

TEST(png_encode, quality_chooses_rgba_rgb_or_palette) {
    auto_ptr_t<i_image> img(image_from(8, 8, gradient(8, 8)));
    ASSERT_TRUE(img);
    struct {
        unsigned char quality;
        int color_type;
    } cases[] = {{0, 6}, {100, 6}, {101, 6}, {255, 6}, {99, 2}, {98, 3}, {50, 3}, {1, 3}};
    for (const auto& c : cases) {
        auto_ptr_t<i_binary> png(img->get_binary_data(2, c.quality));
        ASSERT_TRUE(png) << int(c.quality);
        EXPECT_EQ(color_type_of(bytes_of(png)), c.color_type) << int(c.quality);
    }
    auto_ptr_t<i_binary> palette(img->get_binary_data(2, 50));
    auto chunks = png_chunks(bytes_of(palette));
    ASSERT_NE(find_chunk(chunks, "PLTE"), nullptr);
    ASSERT_NE(find_chunk(chunks, "tRNS"), nullptr);
    EXPECT_EQ(find_chunk(chunks, "PLTE")->data.size(), 256u * 3);
    EXPECT_EQ(find_chunk(chunks, "tRNS")->data.size(), 256u);
}

TEST(png_encode, quality_100_round_trips_every_byte_with_alpha) {
    std::vector<rgba> pixels = gradient(13, 7);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i].a = uint8_t(i * 3);
    auto_ptr_t<i_image> img(image_from(13, 7, pixels));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> png(img->get_binary_data(2, 100));
    ASSERT_TRUE(png);
    auto_ptr_t<i_image> back(decode(bytes_of(png)));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->get_data_size(), img->get_data_size());
    EXPECT_EQ(std::memcmp(back->get_data(), img->get_data(), img->get_data_size()), 0);

    auto_ptr_t<i_binary> rgb(img->get_binary_data(2, 99));
    auto_ptr_t<i_image> opaque(decode(bytes_of(rgb)));
    ASSERT_TRUE(opaque);
    EXPECT_EQ(pixel(opaque, 5, 3), (rgba{pixels[3 * 13 + 5].r, pixels[3 * 13 + 5].g, pixels[3 * 13 + 5].b, 255}));
}

TEST(png_encode, few_colours_survive_the_palette_exactly) {
    // Four colours in different cells of the quantizer's histogram; the
    // transparent one keeps its colour too.
    std::vector<rgba> colors = {{200, 10, 10, 255}, {10, 200, 10, 255}, {10, 10, 200, 0}, {250, 250, 250, 128}};
    std::vector<rgba> pixels;
    for (int i = 0; i < 64; ++i)
        pixels.push_back(colors[(i / 3) % 4]);
    auto_ptr_t<i_image> img(image_from(8, 8, pixels));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> png(img->get_binary_data(2, 50));
    ASSERT_TRUE(png);
    auto_ptr_t<i_image> back(decode(bytes_of(png)));
    ASSERT_TRUE(back);
    EXPECT_EQ(std::memcmp(back->get_data(), img->get_data(), img->get_data_size()), 0);
}

TEST(png_encode, colour_and_alpha_are_quantized_together) {
    // One colour at two alphas: each keeps its own entry.
    auto_ptr_t<i_image> img(image_from(3, 1, {{10, 20, 30, 255}, {10, 20, 30, 100}, {90, 90, 90, 255}}));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> png(img->get_binary_data(2, 10));
    auto_ptr_t<i_image> back(decode(bytes_of(png)));
    ASSERT_TRUE(back);
    EXPECT_EQ(pixel(back, 0, 0), (rgba{10, 20, 30, 255}));
    EXPECT_EQ(pixel(back, 1, 0), (rgba{10, 20, 30, 100}));
    EXPECT_EQ(pixel(back, 2, 0), (rgba{90, 90, 90, 255}));
}

TEST(png_encode, a_palette_keeps_opaque_and_transparent_pixels_and_alpha_close_as_pillow_reads_it) {
    saved_alpha_mix mix;
    ASSERT_TRUE(mix.save("mix.png", 2, 50));
    const std::vector<rgba>& pixels = mix.pixels;
    const std::string& file = mix.file;
    auto_ptr_t<i_image>& back = mix.back;
    std::string written = read_all(file);
    ASSERT_EQ(color_type_of(std::vector<uint8_t>(written.begin(), written.end())), 3);
    const uint8_t* got = static_cast<const uint8_t*>(back->get_data());
    size_t opaque_lost = 0, clear_lost = 0, opaque = 0;
    int worst_alpha = 0;
    double opaque_error = 0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const rgba& a = pixels[i];
        const uint8_t* b = got + 4 * i;
        opaque_lost += a.a == 255 && b[3] != 255 ? 1 : 0;
        clear_lost += a.a == 0 && b[3] != 0 ? 1 : 0;
        worst_alpha = std::max(worst_alpha, std::abs(int(a.a) - int(b[3])));
        if (a.a == 255) {
            ++opaque;
            opaque_error += (a.r - b[0]) * (a.r - b[0]) + (a.g - b[1]) * (a.g - b[1]) + (a.b - b[2]) * (a.b - b[2]);
        }
    }
    EXPECT_EQ(opaque_lost, 0u);
    EXPECT_EQ(clear_lost, 0u);
    EXPECT_LE(worst_alpha, 4);
    // The colour-only quantizer this replaced reached 6.94 here.
    EXPECT_LE(std::sqrt(opaque_error / (3.0 * opaque)), 7.0);

    std::vector<uint8_t> pillow = pillow_rgba(file);
    if (pillow.empty())
        GTEST_SKIP() << "python3-pil is not installed (scripts/setup installs it)";
    ASSERT_EQ(pillow.size(), back->get_data_size());
    EXPECT_EQ(std::memcmp(pillow.data(), got, pillow.size()), 0);
}

TEST(png_encode, random_pictures_keep_their_opaque_and_transparent_pixels_exactly) {
    // Sizes from one pixel up, few or many colours, any mix of alpha.
    std::mt19937 noise(51);
    for (int round = 0; round < 40; ++round) {
        unsigned w = 1 + noise() % 40, h = 1 + noise() % 40;
        unsigned palette = 1 + noise() % 600;
        unsigned alpha_mode = noise() % 4;  // 0/255 only, + partial, partial only, anything
        std::vector<rgba> pixels;
        for (unsigned i = 0; i < w * h; ++i) {
            uint32_t c = noise() % palette * 2654435761u;
            uint8_t a = alpha_mode == 0 ? (noise() % 2 ? 255 : 0)
                        : alpha_mode == 1 ? uint8_t(noise() % 3 == 0 ? 0 : noise() % 3 == 0 ? 255 : noise())
                        : alpha_mode == 2 ? uint8_t(1 + noise() % 250)
                                          : uint8_t(noise());
            pixels.push_back(rgba{uint8_t(c >> 8), uint8_t(c >> 16), uint8_t(c >> 24), a});
        }
        auto_ptr_t<i_image> img(image_from(w, h, pixels));
        ASSERT_TRUE(img);
        auto_ptr_t<i_binary> png(img->get_binary_data(2, 50));
        ASSERT_TRUE(png) << round;
        auto_ptr_t<i_image> back(decode(bytes_of(png)));
        ASSERT_TRUE(back) << round;
        for (unsigned i = 0; i < w * h; ++i) {
            uint8_t a = pixels[i].a, got = pixel(back, i % w, i / w).a;
            if (a == 0 || a == 255)
                ASSERT_EQ(got, a) << "round " << round << " pixel " << i;
            else
                ASSERT_TRUE(got != 0 && (a < 251 ? got != 255 : true)) << "round " << round << " alpha " << int(a);
        }
    }
}

TEST(png_encode, a_many_coloured_picture_gets_close_palette_colours) {
    const unsigned w = 64, h = 64;
    std::vector<rgba> pixels;
    for (unsigned y = 0; y < h; ++y)
        for (unsigned x = 0; x < w; ++x)
            pixels.push_back(rgba{uint8_t(x * 4), uint8_t(y * 4), uint8_t((x + y) * 2), 255});
    auto_ptr_t<i_image> img(image_from(w, h, pixels));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> png(img->get_binary_data(2, 50));
    auto_ptr_t<i_image> back(decode(bytes_of(png)));
    ASSERT_TRUE(back);
    std::set<unsigned> distinct;
    double error = 0;
    for (unsigned y = 0; y < h; ++y) {
        for (unsigned x = 0; x < w; ++x) {
            rgba a = pixel(img, x, y), b = pixel(back, x, y);
            distinct.insert(color_of(b));
            error += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
            ASSERT_EQ(b.a, 255);
        }
    }
    EXPECT_GT(distinct.size(), 128u);
    EXPECT_LE(distinct.size(), 256u);
    EXPECT_LT(error / (w * h * 3), 6.0);  // mean error per channel
}
