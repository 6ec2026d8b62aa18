// jpeg_codec_test.cpp --
//
//     JPEG decoding of grey, progressive, CMYK, cut and oversized files,
//     and the encoder: quality, and white for every pixel that is not
//     fully opaque.

#include <kiv/core/auto_ptr.h>
#include <kiv/image/image_lib.h>

#include "../core/test_util.h"
#include "core_environment.h"
#include "image_fixtures.h"

#include <gtest/gtest.h>

using namespace kiv;
using namespace kiv_test;

namespace {

auto_ptr_t<i_image> decode(const std::vector<uint8_t>& bytes) {
    return auto_ptr_t<i_image>(kiv_image_create_from_data(bytes.data(), unsigned(bytes.size()), 0, 0, 4));
}

// A smooth RGB picture, kind to JPEG's loss: r follows x, g follows y.
std::vector<uint8_t> smooth_rgb(unsigned width, unsigned height) {
    std::vector<uint8_t> out;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            out.push_back(uint8_t(x * 255 / (width - 1)));
            out.push_back(uint8_t(y * 255 / (height - 1)));
            out.push_back(100);
        }
    return out;
}

void expect_smooth(i_image* img, unsigned width, unsigned height, int tolerance) {
    ASSERT_EQ(img->get_width(), width);
    ASSERT_EQ(img->get_height(), height);
    for (unsigned y = 0; y < height; y += 3)
        for (unsigned x = 0; x < width; x += 3) {
            rgba expected{uint8_t(x * 255 / (width - 1)), uint8_t(y * 255 / (height - 1)), 100, 255};
            ASSERT_TRUE(near(pixel(img, x, y), expected, tolerance)) << x << "," << y << " " << pixel(img, x, y);
        }
}

// Offset of the first start-of-frame marker's height field.
size_t frame_size_offset(const std::vector<uint8_t>& jpeg) {
    for (size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2))
            return i + 5;
    return 0;
}

}  // namespace

TEST(jpeg_decode, baseline_and_progressive_rgb_give_the_same_picture) {
    std::vector<uint8_t> samples = smooth_rgb(48, 40);
    auto_ptr_t<i_image> baseline(decode(make_jpeg(48, 40, 3, JCS_RGB, samples)));
    auto_ptr_t<i_image> progressive(decode(make_jpeg(48, 40, 3, JCS_RGB, samples, true)));
    ASSERT_TRUE(baseline);
    ASSERT_TRUE(progressive);
    expect_smooth(baseline, 48, 40, 6);
    expect_smooth(progressive, 48, 40, 6);
}

TEST(jpeg_decode, grey_becomes_opaque_rgb_with_equal_channels) {
    std::vector<uint8_t> grey(16 * 16);
    for (size_t i = 0; i < grey.size(); ++i)
        grey[i] = i < grey.size() / 2 ? 60 : 200;
    auto_ptr_t<i_image> img(decode(make_jpeg(16, 16, 1, JCS_GRAYSCALE, grey)));
    ASSERT_TRUE(img);
    rgba top = pixel(img, 3, 2), bottom = pixel(img, 12, 13);
    EXPECT_TRUE(near(top, rgba{60, 60, 60, 255}, 3)) << top;
    EXPECT_TRUE(near(bottom, rgba{200, 200, 200, 255}, 3)) << bottom;
    EXPECT_EQ(top.r, top.g);
    EXPECT_EQ(top.g, top.b);
}

TEST(jpeg_decode, cmyk_has_no_rgb_conversion_and_is_refused) {
    std::vector<uint8_t> cmyk(8 * 8 * 4, 40);
    std::vector<uint8_t> jpeg = make_jpeg(8, 8, 4, JCS_CMYK, cmyk);
    EXPECT_FALSE(decode(jpeg));
}

TEST(jpeg_decode, a_cut_file_is_an_error_not_a_grey_fill) {
    temp_dir dir;
    trace_capture trace(dir.file("trace.log"));
    std::vector<uint8_t> jpeg = make_jpeg(64, 64, 3, JCS_RGB, smooth_rgb(64, 64));
    ASSERT_TRUE(decode(jpeg));
    for (size_t cut : {size_t(1), size_t(2), size_t(100), jpeg.size() / 2, jpeg.size() - 2}) {
        std::vector<uint8_t> part(jpeg.begin(), jpeg.begin() + long(cut));
        EXPECT_FALSE(decode(part)) << "cut at " << cut;
    }
    EXPECT_NE(trace.text().find("Premature end of JPEG file"), std::string::npos);
    std::vector<uint8_t> text(100, 'x');
    EXPECT_FALSE(decode(text));
}

TEST(jpeg_decode, picture_data_ending_at_an_early_marker_is_an_error) {
    std::vector<uint8_t> jpeg = make_jpeg(64, 64, 3, JCS_RGB, smooth_rgb(64, 64));
    // An end-of-image marker in the middle of the picture data: the rest
    // of the picture would be grey.
    std::vector<uint8_t> early(jpeg.begin(), jpeg.begin() + long(jpeg.size() * 3 / 4));
    early.push_back(0xFF);
    early.push_back(0xD9);
    EXPECT_FALSE(decode(early));
}

TEST(jpeg_decode, a_header_over_the_size_cap_is_refused_before_allocation) {
    temp_dir dir;
    trace_capture trace(dir.file("trace.log"));
    std::vector<uint8_t> jpeg = make_jpeg(8, 8, 3, JCS_RGB, smooth_rgb(8, 8));
    size_t at = frame_size_offset(jpeg);
    ASSERT_NE(at, 0u);
    jpeg[at] = 0xFD;  // height 65000
    jpeg[at + 1] = 0xE8;
    jpeg[at + 2] = 0xFD;  // width 65000
    jpeg[at + 3] = 0xE8;
    EXPECT_FALSE(decode(jpeg));
    EXPECT_NE(trace.text().find("JPEG load error: image too large"), std::string::npos) << trace.text();
}

TEST(jpeg_encode, pixels_not_fully_opaque_become_white) {
    std::vector<rgba> pixels(16 * 16, rgba{200, 30, 30, 255});
    for (unsigned y = 0; y < 8; ++y)
        for (unsigned x = 0; x < 8; ++x)
            pixels[y * 16 + x] = rgba{200, 30, 30, 254};
    auto_ptr_t<i_image> img(image_from(16, 16, pixels));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> jpeg(img->get_binary_data(4, 95));
    ASSERT_TRUE(jpeg);
    auto_ptr_t<i_image> back(decode(bytes_of(jpeg)));
    ASSERT_TRUE(back);
    EXPECT_TRUE(near(pixel(back, 2, 2), rgba{255, 255, 255, 255}, 4)) << pixel(back, 2, 2);
    EXPECT_TRUE(near(pixel(back, 13, 13), rgba{200, 30, 30, 255}, 8)) << pixel(back, 13, 13);
}

TEST(jpeg_encode, quality_reaches_the_encoder) {
    std::vector<rgba> pixels;
    for (unsigned i = 0; i < 64 * 64; ++i)
        pixels.push_back(rgba{uint8_t(i * 7), uint8_t(i * 13), uint8_t(i * 29), 255});
    auto_ptr_t<i_image> img(image_from(64, 64, pixels));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> low(img->get_binary_data(4, 10));
    auto_ptr_t<i_binary> high(img->get_binary_data(4, 95));
    ASSERT_TRUE(low && high);
    EXPECT_LT(low->get_data_size() * 2, high->get_data_size());
}

TEST(jpeg_encode, a_round_trip_stays_close) {
    std::vector<uint8_t> samples = smooth_rgb(40, 24);
    std::vector<rgba> pixels;
    for (size_t i = 0; i < samples.size(); i += 3)
        pixels.push_back(rgba{samples[i], samples[i + 1], samples[i + 2], 255});
    auto_ptr_t<i_image> img(image_from(40, 24, pixels));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> jpeg(img->get_binary_data(4, 95));
    auto_ptr_t<i_image> back(decode(bytes_of(jpeg)));
    ASSERT_TRUE(back);
    expect_smooth(back, 40, 24, 6);
}
