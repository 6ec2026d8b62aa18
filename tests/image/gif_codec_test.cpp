// gif_codec_test.cpp --
//
//     GIF decoding: local and global tables, transparency from the
//     graphic control block, interlaced rows, indices past the table,
//     oversized and cut files. Encoding: the palette size by quality and
//     a transparent index of its own that only clear pixels take.

#include <kiv/core/auto_ptr.h>
#include <kiv/image/image_lib.h>

#include "../core/test_util.h"
#include "core_environment.h"
#include "image_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

using namespace kiv;
using namespace kiv_test;

namespace {

auto_ptr_t<i_image> decode(const std::vector<uint8_t>& bytes) {
    return auto_ptr_t<i_image>(kiv_image_create_from_data(bytes.data(), unsigned(bytes.size()), 0, 0, 3));
}

gif_spec simple_spec(unsigned width, unsigned height, unsigned colors) {
    gif_spec layout;
    layout.screen_width = layout.width = width;
    layout.screen_height = layout.height = height;
    layout.global = ramp_palette(colors);
    for (unsigned i = 0; i < width * height; ++i)
        layout.indices.push_back(uint8_t(i % colors));
    return layout;
}

rgba ramp(unsigned i) {
    return rgba{uint8_t(i), uint8_t(255 - i), uint8_t(i / 2), 255};
}

// Offset of the first image descriptor (after the header, screen and
// global table, skipping extension blocks).
size_t image_descriptor(const std::vector<uint8_t>& gif) {
    size_t pos = 13;
    if (gif[10] & 0x80)
        pos += 3u << ((gif[10] & 7) + 1);
    while (pos < gif.size() && gif[pos] == 0x21) {
        pos += 2;
        while (pos < gif.size() && gif[pos] != 0)
            pos += gif[pos] + 1u;
        ++pos;
    }
    return pos;
}

// A 256-entry global table cut down to 2^bits entries, or removed when
// bits is 0; the image data is kept as it is.
std::vector<uint8_t> with_table_cut(const std::vector<uint8_t>& full, int bits) {
    size_t kept = bits > 0 ? 3u << bits : 0;
    std::vector<uint8_t> out(full.begin(), full.begin() + long(13 + kept));
    out[10] = bits > 0 ? uint8_t((out[10] & ~7) | (bits - 1)) : uint8_t(out[10] & 0x7F);
    out.insert(out.end(), full.begin() + 13 + 768, full.end());
    return out;
}

struct parsed_gif {
    int colors = 0;
    std::vector<uint8_t> control;  // the graphic control block, empty when none
    std::vector<uint8_t> raster;   // first image's indices
};

parsed_gif parse(const std::vector<uint8_t>& bytes) {
    struct source {
        const std::vector<uint8_t>* data;
        size_t pos;
    } src{&bytes, 0};
    parsed_gif out;
    int error = 0;
    GifFileType* gif = DGifOpen(
        &src,
        [](GifFileType* g, GifByteType* buf, int n) {
            auto* s = static_cast<source*>(g->UserData);
            if (size_t(n) > s->data->size() - s->pos)
                return 0;
            std::memcpy(buf, s->data->data() + s->pos, size_t(n));
            s->pos += size_t(n);
            return n;
        },
        &error);
    EXPECT_NE(gif, nullptr);
    if (gif == nullptr)
        return out;
    EXPECT_EQ(DGifSlurp(gif), GIF_OK);
    if (gif->SColorMap != nullptr)
        out.colors = gif->SColorMap->ColorCount;
    if (gif->ImageCount > 0) {
        const SavedImage& img = gif->SavedImages[0];
        out.raster.assign(img.RasterBits, img.RasterBits + img.ImageDesc.Width * img.ImageDesc.Height);
        for (int i = 0; i < img.ExtensionBlockCount; ++i)
            if (img.ExtensionBlocks[i].Function == GRAPHICS_EXT_FUNC_CODE)
                out.control.assign(img.ExtensionBlocks[i].Bytes,
                                   img.ExtensionBlocks[i].Bytes + img.ExtensionBlocks[i].ByteCount);
    }
    DGifCloseFile(gif, &error);
    return out;
}

}  // namespace

TEST(gif_decode, a_local_table_wins_and_the_screen_position_is_ignored) {
    gif_spec layout = simple_spec(4, 2, 4);
    layout.screen_width = 20;
    layout.screen_height = 20;
    layout.left = 5;
    layout.top = 7;
    layout.local = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 11, 12}};
    auto_ptr_t<i_image> img(decode(make_gif(layout)));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->get_width(), 4u);
    EXPECT_EQ(img->get_height(), 2u);
    EXPECT_EQ(pixel(img, 0, 0), (rgba{1, 2, 3, 255}));
    EXPECT_EQ(pixel(img, 3, 1), (rgba{10, 11, 12, 255}));

    layout.local.clear();
    auto_ptr_t<i_image> global(decode(make_gif(layout)));
    ASSERT_TRUE(global);
    EXPECT_EQ(pixel(global, 3, 1), ramp(3));
}

TEST(gif_decode, the_transparent_index_gets_alpha_zero) {
    gif_spec layout = simple_spec(16, 16, 256);
    layout.indices[5] = 200;
    layout.control_flags = 1;
    layout.control_index = 200;
    auto_ptr_t<i_image> img(decode(make_gif(layout)));
    ASSERT_TRUE(img);
    EXPECT_EQ(pixel(img, 5, 0), (rgba{200, 55, 100, 0}));
    EXPECT_EQ(pixel(img, 8, 12), (rgba{200, 55, 100, 0}));  // index 200 in the ramp
    EXPECT_EQ(pixel(img, 4, 0), ramp(4));
    EXPECT_EQ(pixel(img, 6, 0), ramp(6));
}

TEST(gif_decode, transparency_is_bit_zero_of_the_flags_beside_a_disposal_method) {
    gif_spec layout = simple_spec(4, 1, 4);
    layout.control_index = 2;
    layout.control_flags = 0x09;  // restore to background, transparent
    auto_ptr_t<i_image> with_disposal(decode(make_gif(layout)));
    ASSERT_TRUE(with_disposal);
    EXPECT_EQ(pixel(with_disposal, 2, 0).a, 0);
    EXPECT_EQ(pixel(with_disposal, 1, 0).a, 255);

    layout.control_flags = 0x08;  // restore to background, no transparency
    auto_ptr_t<i_image> opaque(decode(make_gif(layout)));
    ASSERT_TRUE(opaque);
    EXPECT_EQ(pixel(opaque, 2, 0), ramp(2));
}

TEST(gif_decode, interlaced_rows_are_put_back_in_order) {
    gif_spec layout = simple_spec(3, 19, 256);
    for (unsigned y = 0; y < 19; ++y)
        for (unsigned x = 0; x < 3; ++x)
            layout.indices[y * 3 + x] = uint8_t(y * 10 + x);
    layout.interlace = true;
    auto_ptr_t<i_image> img(decode(make_gif(layout)));
    ASSERT_TRUE(img);
    for (unsigned y = 0; y < 19; ++y)
        for (unsigned x = 0; x < 3; ++x)
            ASSERT_EQ(pixel(img, x, y), ramp(y * 10 + x)) << x << "," << y;
}

TEST(gif_decode, indices_past_the_table_become_transparent_black) {
    // Written with a 256-entry table, then the table cut to two entries:
    // the image data still holds 8-bit codes.
    gif_spec layout = simple_spec(4, 1, 256);
    layout.indices = {0, 1, 5, 255};
    auto_ptr_t<i_image> img(decode(with_table_cut(make_gif(layout), 1)));
    ASSERT_TRUE(img);
    EXPECT_EQ(pixel(img, 0, 0), ramp(0));
    EXPECT_EQ(pixel(img, 1, 0), ramp(1));
    EXPECT_EQ(pixel(img, 2, 0), (rgba{0, 0, 0, 0}));
    EXPECT_EQ(pixel(img, 3, 0), (rgba{0, 0, 0, 0}));
}

TEST(gif_decode, an_image_over_the_size_cap_is_refused_before_allocation) {
    temp_dir dir;
    trace_capture trace(dir.file("trace.log"));
    std::vector<uint8_t> gif = make_gif(simple_spec(2, 2, 4));
    size_t at = image_descriptor(gif);
    ASSERT_EQ(gif[at], 0x2C);
    for (int i = 5; i < 9; ++i)
        gif[at + i] = 0xFF;  // 65535 × 65535
    EXPECT_FALSE(decode(gif));
    EXPECT_NE(trace.text().find("GIF load error: image too large"), std::string::npos) << trace.text();
}

TEST(gif_decode, short_cut_or_tableless_files_are_refused) {
    std::vector<uint8_t> gif = make_gif(simple_spec(8, 8, 4));
    ASSERT_TRUE(decode(gif));
    EXPECT_FALSE(decode(std::vector<uint8_t>(gif.begin(), gif.begin() + 7)));
    EXPECT_FALSE(decode(std::vector<uint8_t>(gif.begin(), gif.begin() + 20)));
    EXPECT_FALSE(decode(std::vector<uint8_t>(gif.begin(), gif.end() - 6)));
    std::vector<uint8_t> full = make_gif(simple_spec(2, 2, 256));
    ASSERT_TRUE(decode(with_table_cut(full, 2)));
    EXPECT_FALSE(decode(with_table_cut(full, 0)));
    EXPECT_FALSE(decode(std::vector<uint8_t>(64, 'G')));
}

TEST(gif_decode, a_file_is_read_whole_from_disk) {
    temp_dir dir;
    write_file(dir.file("a.gif"), make_gif(simple_spec(5, 3, 8)));
    auto_ptr_t<i_image> img(kiv_image_load(dir.file("a.gif").c_str()));
    ASSERT_TRUE(img);
    EXPECT_EQ(pixel(img, 4, 2), ramp(14 % 8));
    write_file(dir.file("short.gif"), {'G', 'I', 'F', '8', '9', 'a', 0});
    EXPECT_EQ(kiv_image_load(dir.file("short.gif").c_str()), nullptr);
}

TEST(gif_encode, the_transparent_index_holds_the_clear_pixels_alone) {
    std::vector<rgba> pixels = gradient(8, 8);
    pixels[10] = rgba{1, 2, 3, 0};
    pixels[40] = rgba{200, 200, 200, 0};
    auto_ptr_t<i_image> img(image_from(8, 8, pixels));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> gif(img->get_binary_data(3, 100));
    ASSERT_TRUE(gif);
    parsed_gif parsed = parse(bytes_of(gif));
    ASSERT_EQ(parsed.control.size(), 4u);
    EXPECT_EQ(parsed.control[0], 1);
    EXPECT_EQ(parsed.control[1], 0);
    EXPECT_EQ(parsed.control[2], 0);
    EXPECT_EQ(parsed.control[3], parsed.raster[10]);

    auto_ptr_t<i_image> back(decode(bytes_of(gif)));
    ASSERT_TRUE(back);
    for (unsigned i = 0; i < 64; ++i)
        EXPECT_EQ(pixel(back, i % 8, i / 8).a, pixels[i].a == 0 ? 0 : 255) << i;
}

TEST(gif_encode, at_two_colours_no_visible_pixel_turns_transparent_as_pillow_reads_it) {
    // Pixels of partial alpha are visible in a GIF; only alpha 0 is not.
    saved_alpha_mix mix;
    ASSERT_TRUE(mix.save("mix.gif", 3, 10));
    const std::vector<rgba>& pixels = mix.pixels;
    const std::string& file = mix.file;
    std::string written = read_all(file);
    parsed_gif parsed = parse(std::vector<uint8_t>(written.begin(), written.end()));
    EXPECT_EQ(parsed.colors, 2);
    auto_ptr_t<i_image>& back = mix.back;
    std::vector<uint8_t> pillow = pillow_rgba(file);
    const uint8_t* ours = static_cast<const uint8_t*>(back->get_data());
    const uint8_t* theirs = pillow.empty() ? nullptr : pillow.data();
    for (const uint8_t* got : {ours, theirs}) {
        if (got == nullptr)
            continue;
        size_t wrong = 0;
        for (size_t i = 0; i < pixels.size(); ++i)
            wrong += got[4 * i + 3] != (pixels[i].a == 0 ? 0 : 255) ? 1 : 0;
        EXPECT_EQ(wrong, 0u) << (got == theirs ? "Pillow" : "ours");
    }
    if (pillow.empty())
        GTEST_SKIP() << "python3-pil is not installed (scripts/setup installs it)";
}

TEST(gif_encode, an_opaque_picture_has_no_control_block) {
    auto_ptr_t<i_image> img(image_from(8, 8, gradient(8, 8)));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> gif(img->get_binary_data(3, 100));
    ASSERT_TRUE(gif);
    EXPECT_TRUE(parse(bytes_of(gif)).control.empty());
    auto_ptr_t<i_image> back(decode(bytes_of(gif)));
    ASSERT_TRUE(back);
    // 64 colours in a 256-entry table come back close.
    EXPECT_TRUE(near(pixel(back, 3, 5), pixel(img, 3, 5), 8)) << pixel(back, 3, 5);
}

TEST(gif_encode, quality_sets_the_palette_size) {
    std::vector<rgba> pixels;
    for (unsigned i = 0; i < 32 * 32; ++i)
        pixels.push_back(rgba{uint8_t(i * 5), uint8_t(i * 11), uint8_t(i * 17), 255});
    auto_ptr_t<i_image> img(image_from(32, 32, pixels));
    ASSERT_TRUE(img);
    struct {
        unsigned char quality;
        int colors;
    } cases[] = {{0, 2}, {19, 2}, {20, 4}, {35, 8}, {45, 16}, {55, 32}, {65, 64}, {79, 128}, {80, 256}, {200, 256}};
    for (const auto& c : cases) {
        auto_ptr_t<i_binary> gif(img->get_binary_data(3, c.quality));
        ASSERT_TRUE(gif) << int(c.quality);
        parsed_gif parsed = parse(bytes_of(gif));
        EXPECT_EQ(parsed.colors, c.colors) << int(c.quality);
        std::set<uint8_t> used(parsed.raster.begin(), parsed.raster.end());
        EXPECT_LE(used.size(), size_t(c.colors)) << int(c.quality);
    }
}

TEST(gif_encode, a_side_past_the_format_limit_is_refused) {
    auto_ptr_t<i_image> img(kiv_image_create(70000, 1, 0xFF000000));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->get_binary_data(3, 100), nullptr);
}
