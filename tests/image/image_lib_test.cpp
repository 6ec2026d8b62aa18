// image_lib_test.cpp --
//
//     The library's face: the loader protocol with and without a font
//     folder, the packed image blob (exact bytes, round trips, crafted
//     headers) and the colour text.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/image/image_lib.h>

#include "../core/test_util.h"
#include "image_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>

// The loader finds these by name in the shared object. The test program
// lists kiv_image before kiv_core among its libraries, so these calls
// bind to kiv_image's own (checked through the name).
extern "C" const char* kiv_library_name();
extern "C" const char* kiv_library_version();
extern "C" bool kiv_library_initialized();
extern "C" int kiv_library_entry();

using namespace kiv;
using namespace kiv_test;

namespace {

std::vector<uint8_t> blob_header(uint32_t width, uint32_t height, uint8_t format) {
    return {uint8_t(width >> 24), uint8_t(width >> 16), uint8_t(width >> 8), uint8_t(width),
            uint8_t(height >> 24), uint8_t(height >> 16), uint8_t(height >> 8), uint8_t(height), format};
}

auto_ptr_t<i_image> unpack(const std::vector<uint8_t>& blob) {
    return auto_ptr_t<i_image>(kiv_image_unpack(blob.data(), unsigned(blob.size())));
}

// The pixel bytes a colour text stands for.
rgba text_pixel(const char* text) {
    unsigned c = kiv_image_text2color(text);
    return rgba{uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), uint8_t(c >> 24)};
}

class font_path_env : public ::testing::Test {
protected:
    void SetUp() override { had_ = kiv_get_env("KIV_FONT_PATH", saved_); }
    void TearDown() override { kiv_set_env("KIV_FONT_PATH", had_ ? saved_.c_str() : nullptr); }

private:
    bool had_ = false;
    std::string saved_;
};

}  // namespace

TEST_F(font_path_env, the_library_names_itself_and_its_version) {
    EXPECT_STREQ(kiv_library_name(), "kiv_image");
    EXPECT_STREQ(kiv_library_version(), "1.5.0025");
}

TEST_F(font_path_env, a_missing_font_folder_leaves_the_library_uninitialised_for_good) {
    ASSERT_STREQ(kiv_library_name(), "kiv_image");
    temp_dir dir;
    if (kiv_library_initialized()) {  // a fresh process: the flag starts set
        kiv_set_env("KIV_FONT_PATH", (dir.path() + "/").c_str());
        EXPECT_EQ(kiv_library_entry(), 1);
        EXPECT_TRUE(kiv_library_initialized());
    }
    kiv_set_env("KIV_FONT_PATH", dir.file("missing").c_str());
    EXPECT_EQ(kiv_library_entry(), 0);
    EXPECT_FALSE(kiv_library_initialized());

    write_file(dir.file("plain"), {1});
    kiv_set_env("KIV_FONT_PATH", dir.file("plain").c_str());
    EXPECT_EQ(kiv_library_entry(), 0);

    kiv_set_env("KIV_FONT_PATH", dir.path().c_str());
    EXPECT_EQ(kiv_library_entry(), 1);
    EXPECT_FALSE(kiv_library_initialized());
}

TEST_F(font_path_env, an_unset_font_path_fails_the_entry) {
    kiv_set_env("KIV_FONT_PATH", nullptr);
    EXPECT_EQ(kiv_library_entry(), 0);
    EXPECT_FALSE(kiv_library_initialized());
}

TEST(image_blob, a_three_by_two_raw_blob_has_its_header_and_33_bytes) {
    auto_ptr_t<i_image> img(image_from(3, 2, gradient(3, 2)));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> blob(kiv_image_pack(img, 6, 100));
    ASSERT_TRUE(blob);
    std::vector<uint8_t> bytes = bytes_of(blob);
    ASSERT_EQ(bytes.size(), 33u);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 9), blob_header(3, 2, 6));
    auto_ptr_t<i_image> back(unpack(bytes));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->get_width(), 3u);
    EXPECT_EQ(back->get_height(), 2u);
    EXPECT_EQ(std::memcmp(back->get_data(), img->get_data(), 24), 0);

    auto_ptr_t<i_binary> defaults(kiv_image_pack(img));
    ASSERT_TRUE(defaults);
    EXPECT_EQ(bytes_of(defaults), bytes);
}

TEST(image_blob, encoded_and_rgb_blobs_round_trip) {
    std::vector<rgba> pixels = gradient(5, 4);
    pixels[3].a = 7;
    auto_ptr_t<i_image> img(image_from(5, 4, pixels));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> png(kiv_image_pack(img, 2, 100));
    ASSERT_TRUE(png);
    auto_ptr_t<i_image> from_png(unpack(bytes_of(png)));
    ASSERT_TRUE(from_png);
    EXPECT_EQ(std::memcmp(from_png->get_data(), img->get_data(), img->get_data_size()), 0);

    auto_ptr_t<i_binary> rgb(kiv_image_pack(img, 7, 0));
    ASSERT_TRUE(rgb);
    EXPECT_EQ(rgb->get_data_size(), 9u + 5 * 4 * 3);
    auto_ptr_t<i_image> from_rgb(unpack(bytes_of(rgb)));
    ASSERT_TRUE(from_rgb);
    EXPECT_EQ(pixel(from_rgb, 3, 0), (rgba{pixels[3].r, pixels[3].g, pixels[3].b, 255}));
}

TEST(image_blob, the_encoded_size_wins_over_the_header) {
    auto_ptr_t<i_image> img(image_from(4, 4, gradient(4, 4)));
    auto_ptr_t<i_binary> png(img->get_binary_data(2, 100));
    ASSERT_TRUE(png);
    std::vector<uint8_t> blob = blob_header(1, 1, 2);
    std::vector<uint8_t> payload = bytes_of(png);
    blob.insert(blob.end(), payload.begin(), payload.end());
    auto_ptr_t<i_image> back(unpack(blob));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->get_width(), 4u);
}

TEST(image_blob, short_null_mismatched_or_crafted_blobs_give_null) {
    EXPECT_EQ(kiv_image_unpack(nullptr, 100), nullptr);
    std::vector<uint8_t> nine = blob_header(1, 1, 6);
    EXPECT_FALSE(unpack(nine));
    std::vector<uint8_t> ten = nine;
    ten.push_back(0);
    EXPECT_FALSE(unpack(ten));  // 1 byte is not 1 × 1 × 4
    std::vector<uint8_t> ok = nine;
    ok.insert(ok.end(), {1, 2, 3, 4});
    EXPECT_TRUE(unpack(ok));
    // 0x40000001 × 4 × 4 is 16 in 32-bit arithmetic: the payload size.
    std::vector<uint8_t> crafted = blob_header(0x40000001, 4, 6);
    crafted.insert(crafted.end(), 16, 0xAB);
    EXPECT_FALSE(unpack(crafted));
    // 0x55555556 × 3 × 3 is 6 in 32-bit arithmetic.
    std::vector<uint8_t> crafted_rgb = blob_header(0x55555556, 3, 7);
    crafted_rgb.insert(crafted_rgb.end(), 6, 0xAB);
    EXPECT_FALSE(unpack(crafted_rgb));
    std::vector<uint8_t> ppm = blob_header(1, 1, 5);
    ppm.insert(ppm.end(), {1, 2, 3});
    EXPECT_FALSE(unpack(ppm));
}

TEST(image_blob, packing_needs_an_image_and_a_memory_format) {
    auto_ptr_t<i_image> img(kiv_image_create(2, 2, 0xFFFFFFFF));
    ASSERT_TRUE(img);
    EXPECT_EQ(kiv_image_pack(nullptr, 6, 100), nullptr);
    EXPECT_EQ(kiv_image_pack(img, 5, 100), nullptr);
    EXPECT_EQ(kiv_image_pack(img, 9, 100), nullptr);
}

TEST(colour_text, reads_rrggbb_and_aarrggbb_into_memory_order) {
    EXPECT_EQ(text_pixel("FFFFFF"), (rgba{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(text_pixel("7F102030"), (rgba{0x10, 0x20, 0x30, 0x7F}));
    EXPECT_EQ(text_pixel("00102030"), (rgba{0x10, 0x20, 0x30, 0xFF}));
    EXPECT_EQ(text_pixel("FF0000"), (rgba{0xFF, 0, 0, 0xFF}));
    EXPECT_EQ(text_pixel("80FF0000"), (rgba{0xFF, 0, 0, 0x80}));
    EXPECT_EQ(kiv_image_text2color(nullptr), 0u);
    auto_ptr_t<i_image> img(kiv_image_create(1, 1, kiv_image_text2color("7F102030")));
    ASSERT_TRUE(img);
    EXPECT_EQ(pixel(img, 0, 0), (rgba{0x10, 0x20, 0x30, 0x7F}));
}

TEST(colour_text, follows_the_runtime_hex_conversion) {
    EXPECT_EQ(text_pixel("  0x102030"), (rgba{0x10, 0x20, 0x30, 0xFF}));
    EXPECT_EQ(text_pixel("102030zz"), (rgba{0x10, 0x20, 0x30, 0xFF}));
    EXPECT_EQ(text_pixel("ff8000"), (rgba{0xFF, 0x80, 0x00, 0xFF}));
    EXPECT_EQ(text_pixel(""), (rgba{0, 0, 0, 0xFF}));
    EXPECT_EQ(text_pixel("xyz"), (rgba{0, 0, 0, 0xFF}));
    // Past 32 bits the value saturates at 0xFFFFFFFF.
    EXPECT_EQ(text_pixel("123456789A"), (rgba{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(text_pixel("-1"), (rgba{0xFF, 0xFF, 0xFF, 0xFF}));
}
