// image_test.cpp --
//
//     The image object itself: filling, raw formats, the size cap, copies,
//     detach, which formats each output path accepts, choosing the decoder
//     by extension, and the shrinking rule of scale_to_max_border.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/image/image.h>
#include <kiv/image/image_lib.h>

#include "../core/test_util.h"
#include "core_environment.h"
#include "image_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

using namespace kiv;
using namespace kiv_test;

TEST(image_create, fills_every_pixel_with_the_colour_in_memory_order) {
    auto_ptr_t<i_image> img(kiv_image_create(2, 2, 0xFF0000FF));
    ASSERT_TRUE(img);
    ASSERT_EQ(img->get_data_size(), 16u);
    const uint8_t* p = static_cast<const uint8_t*>(img->get_data());
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(p[4 * i], 0xFF);
        EXPECT_EQ(p[4 * i + 1], 0x00);
        EXPECT_EQ(p[4 * i + 2], 0x00);
        EXPECT_EQ(p[4 * i + 3], 0xFF);
    }
    auto_ptr_t<i_image> wide(kiv_image_create(300, 7, 0x80402010));
    ASSERT_TRUE(wide);
    EXPECT_EQ(pixel(wide, 299, 6), (rgba{0x10, 0x20, 0x40, 0x80}));
}

TEST(image_create, refuses_a_zero_side_or_a_size_over_the_cap) {
    EXPECT_EQ(kiv_image_create(0, 10, 0), nullptr);
    EXPECT_EQ(kiv_image_create(10, 0, 0), nullptr);
    // 65536 × 65536 × 4 bytes is 16 GiB, and its 32-bit product is 0.
    EXPECT_EQ(kiv_image_create(65536, 65536, 0), nullptr);
    EXPECT_EQ(kiv_image_create(16385, 16384, 0), nullptr);
}

TEST(image_create, raw_rgb_gets_opaque_alpha_and_four_bytes_a_pixel) {
    const uint8_t rgb[3] = {10, 20, 30};
    auto_ptr_t<i_image> img(kiv_image_create_from_data(rgb, 3, 1, 1, 7));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->get_data_size(), 4u);
    EXPECT_EQ(pixel(img, 0, 0), (rgba{10, 20, 30, 255}));
    auto_ptr_t<i_image> twin(img->copy());
    ASSERT_TRUE(twin);
    EXPECT_EQ(pixel(twin, 0, 0), (rgba{10, 20, 30, 255}));
    EXPECT_NE(twin->get_data(), img->get_data());
}

TEST(image_create, raw_sizes_must_match_width_times_height_exactly) {
    std::vector<uint8_t> bytes(24, 7);
    EXPECT_EQ(kiv_image_create_from_data(bytes.data(), 23, 3, 2, 6), nullptr);
    EXPECT_EQ(kiv_image_create_from_data(bytes.data(), 24, 3, 3, 6), nullptr);
    EXPECT_EQ(kiv_image_create_from_data(bytes.data(), 17, 3, 2, 7), nullptr);
    // A width whose 32-bit product wraps to the block size is still refused.
    EXPECT_EQ(kiv_image_create_from_data(bytes.data(), 24, 0x40000000u + 3, 2, 6), nullptr);
    EXPECT_EQ(kiv_image_create_from_data(bytes.data(), 24, 0x80000000u, 4, 7), nullptr);
    EXPECT_EQ(kiv_image_create_from_data(nullptr, 24, 3, 2, 6), nullptr);
    EXPECT_EQ(kiv_image_create_from_data(bytes.data(), 0, 3, 2, 6), nullptr);
    EXPECT_EQ(kiv_image_create_from_data(bytes.data(), 24, 3, 2, 5), nullptr);
    EXPECT_EQ(kiv_image_create_from_data(bytes.data(), 24, 3, 2, 1), nullptr);
    auto_ptr_t<i_image> ok(kiv_image_create_from_data(bytes.data(), 24, 3, 2, 6));
    EXPECT_TRUE(ok);
}

TEST(image_object, answers_i_image_and_nothing_else_of_its_own) {
    auto_ptr_t<i_image> img(kiv_image_create(1, 1, 0));
    ASSERT_TRUE(img);
    EXPECT_EQ(kiv_cast_i_image(img.get()), img.get());
    EXPECT_EQ(kiv_cast_i_image(nullptr), nullptr);
    EXPECT_EQ(kiv_cast_i_binary(img.get()), nullptr);
    auto_ptr_t<i_binary> block(img->get_binary_data(6, 0));
    ASSERT_TRUE(block);
    EXPECT_EQ(kiv_cast_i_image(block.get()), nullptr);
}

TEST(image_object, detach_hands_the_buffer_to_the_caller) {
    auto_ptr_t<i_image> img(kiv_image_create(4, 4, 0x11223344));
    ASSERT_TRUE(img);
    void* buffer = const_cast<void*>(img->get_data());
    img->detach();
    EXPECT_EQ(img->get_data(), nullptr);
    EXPECT_EQ(img->get_data_size(), 0u);
    EXPECT_EQ(img->get_width(), 0u);
    EXPECT_EQ(img->get_height(), 0u);
    EXPECT_EQ(img->copy(), nullptr);
    EXPECT_EQ(img->get_binary_data(6, 100), nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(buffer)[0], 0x44);
    free(buffer);  // ours now; ASan reports a double free if the image kept it
}

TEST(image_binary_data, raw_outputs_hold_the_pixels_and_ppm_has_no_memory_form) {
    auto_ptr_t<i_image> img(image_from(2, 1, {{1, 2, 3, 4}, {5, 6, 7, 8}}));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> raw(img->get_binary_data(6, 0));
    ASSERT_TRUE(raw);
    EXPECT_EQ(bytes_of(raw), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    auto_ptr_t<i_binary> rgb(img->get_binary_data(7, 0));
    ASSERT_TRUE(rgb);
    EXPECT_EQ(bytes_of(rgb), (std::vector<uint8_t>{1, 2, 3, 5, 6, 7}));
    EXPECT_EQ(img->get_binary_data(5, 100), nullptr);
    EXPECT_EQ(img->get_binary_data(8, 100), nullptr);
    EXPECT_EQ(img->get_binary_data(0, 100), nullptr);
}

TEST(image_file, save_accepts_formats_two_to_six_only) {
    temp_dir dir;
    auto_ptr_t<i_image> img(kiv_image_create(3, 2, 0xFF102030));
    ASSERT_TRUE(img);
    EXPECT_FALSE(img->save_image(dir.file("a.rgb").c_str(), 7, 100));
    EXPECT_FALSE(img->save_image(dir.file("a.bin").c_str(), 1, 100));
    EXPECT_TRUE(image::format_supported(2));
    EXPECT_TRUE(image::format_supported(6));
    EXPECT_FALSE(image::format_supported(7));
    EXPECT_FALSE(image::format_supported(1));

    ASSERT_TRUE(img->save_image(dir.file("a.ppm").c_str(), 5, 100));
    std::string ppm = read_all(dir.file("a.ppm"));
    std::string header = "P6 3 2 255 ";
    ASSERT_EQ(ppm.size(), header.size() + 18);
    EXPECT_EQ(ppm.substr(0, header.size()), header);
    EXPECT_EQ(ppm.substr(header.size(), 3), std::string("\x30\x20\x10", 3));

    ASSERT_TRUE(img->save_image(dir.file("a.raw").c_str(), 6, 100));
    std::string raw = read_all(dir.file("a.raw"));
    ASSERT_EQ(raw.size(), 24u);
    EXPECT_EQ(raw.substr(20), std::string("\x30\x20\x10\xFF", 4));
}

TEST(image_file, an_empty_image_saves_nothing) {
    temp_dir dir;
    image empty;
    EXPECT_FALSE(empty.save_image(dir.file("e.png").c_str(), 2, 100));
    EXPECT_FALSE(kiv_file_exists(dir.file("e.png").c_str()));
}

TEST(image_file, load_chooses_the_decoder_by_extension_in_any_case) {
    temp_dir dir;
    auto_ptr_t<i_image> img(image_from(4, 4, gradient(4, 4)));
    ASSERT_TRUE(img);
    ASSERT_TRUE(img->save_image(dir.file("pic.PNG").c_str(), 2, 100));
    auto_ptr_t<i_image> back(kiv_image_load(dir.file("pic.PNG").c_str()));
    ASSERT_TRUE(back);
    EXPECT_EQ(std::memcmp(back->get_data(), img->get_data(), 64), 0);

    ASSERT_TRUE(img->save_image(dir.file("pic.JpEg").c_str(), 4, 90));
    auto_ptr_t<i_image> jpeg(kiv_image_load(dir.file("pic.JpEg").c_str()));
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg->get_width(), 4u);

    // Same PNG bytes under names that do not say PNG.
    std::string bytes = read_all(dir.file("pic.PNG"));
    write_file(dir.file("pic.bmp"), std::vector<uint8_t>(bytes.begin(), bytes.end()));
    write_file(dir.file("pic"), std::vector<uint8_t>(bytes.begin(), bytes.end()));
    write_file(dir.file("pic.gif"), std::vector<uint8_t>(bytes.begin(), bytes.end()));
    EXPECT_EQ(kiv_image_load(dir.file("pic.bmp").c_str()), nullptr);
    EXPECT_EQ(kiv_image_load(dir.file("pic").c_str()), nullptr);
    EXPECT_EQ(kiv_image_load(dir.file("pic.gif").c_str()), nullptr);
    EXPECT_EQ(kiv_image_load(dir.file("missing.png").c_str()), nullptr);
    EXPECT_EQ(kiv_image_load(nullptr), nullptr);
}

TEST(image_file, relative_paths_are_under_the_root_path) {
    temp_dir dir;
    std::string old_root = kiv_get_env("KIV_ROOT_PATH");
    kiv_set_env("KIV_ROOT_PATH", dir.path().c_str());
    auto_ptr_t<i_image> img(kiv_image_create(2, 2, 0xFF00FF00));
    ASSERT_TRUE(img);
    EXPECT_TRUE(img->save_image("rel.png", 2, 100));
    EXPECT_TRUE(kiv_file_exists(dir.file("rel.png").c_str()));
    auto_ptr_t<i_image> back(kiv_image_load("rel.png"));
    EXPECT_TRUE(back);
    kiv_set_env("KIV_ROOT_PATH", old_root.c_str());
}

TEST(image_scale_to_max_border, keeps_proportions_and_copies_what_fits) {
    auto_ptr_t<i_image> landscape(kiv_image_create(300, 200, 0xFFFFFFFF));
    auto_ptr_t<i_image> portrait(kiv_image_create(200, 300, 0xFFFFFFFF));
    auto_ptr_t<i_image> small(kiv_image_create(80, 90, 0xFF0000FF));
    ASSERT_TRUE(landscape && portrait && small);
    auto_ptr_t<i_image> a(landscape->scale_to_max_border(100));
    auto_ptr_t<i_image> b(portrait->scale_to_max_border(100));
    auto_ptr_t<i_image> c(small->scale_to_max_border(100));
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(a->get_width(), 100u);
    EXPECT_EQ(a->get_height(), 66u);
    EXPECT_EQ(b->get_width(), 66u);
    EXPECT_EQ(b->get_height(), 100u);
    EXPECT_EQ(c->get_width(), 80u);
    EXPECT_EQ(c->get_height(), 90u);
    EXPECT_EQ(std::memcmp(c->get_data(), small->get_data(), small->get_data_size()), 0);
}

TEST(image_scale_to_max_border, a_thin_picture_keeps_at_least_one_pixel) {
    auto_ptr_t<i_image> thin(kiv_image_create(1, 1000, 0xFFFFFFFF));
    ASSERT_TRUE(thin);
    auto_ptr_t<i_image> small(thin->scale_to_max_border(10));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->get_width(), 1u);
    EXPECT_EQ(small->get_height(), 10u);
}
