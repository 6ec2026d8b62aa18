// image_transform_test.cpp --
//
//     Scaling, turning and blending, checked by pixel probes. AGG's
//     blender rounds, so probes allow a difference of one or two.

#include <kiv/core/auto_ptr.h>
#include <kiv/image/image.h>
#include <kiv/image/image_lib.h>

#include "image_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace kiv;
using namespace kiv_test;

namespace {

const rgba red{255, 0, 0, 255};
const rgba blue{0, 0, 255, 255};
const rgba white{255, 255, 255, 255};

// width × height with 2 × 2 blocks, block (bx, by) coloured (bx * 60, by * 60, 90).
std::vector<rgba> blocks(unsigned width, unsigned height) {
    std::vector<rgba> out;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            out.push_back(rgba{uint8_t(x / 2 * 60), uint8_t(y / 2 * 60), 90, 255});
    return out;
}

}  // namespace

TEST(image_scale, the_same_size_without_turning_copies_the_pixels) {
    auto_ptr_t<i_image> img(image_from(9, 7, gradient(9, 7)));
    ASSERT_TRUE(img);
    auto_ptr_t<i_image> same(img->scale(9, 7, 0, 0xFF00FF00));
    ASSERT_TRUE(same);
    EXPECT_EQ(std::memcmp(same->get_data(), img->get_data(), img->get_data_size()), 0);
}

TEST(image_scale, halving_samples_between_the_two_source_pixels) {
    auto_ptr_t<i_image> img(image_from(8, 8, blocks(8, 8)));
    ASSERT_TRUE(img);
    auto_ptr_t<i_image> half(img->scale(4, 4));
    ASSERT_TRUE(half);
    ASSERT_EQ(half->get_width(), 4u);
    for (unsigned y = 0; y < 4; ++y)
        for (unsigned x = 0; x < 4; ++x)
            EXPECT_TRUE(near(pixel(half, x, y), rgba{uint8_t(x * 60), uint8_t(y * 60), 90, 255}, 1))
                << x << "," << y << " " << pixel(half, x, y);
}

TEST(image_scale, enlarging_keeps_the_inside_and_shows_the_fill_colour_at_the_rim) {
    auto_ptr_t<i_image> img(kiv_image_create(4, 4, color_of(red)));
    ASSERT_TRUE(img);
    auto_ptr_t<i_image> big(img->scale(8, 8, 0, color_of(rgba{0, 255, 0, 255})));
    ASSERT_TRUE(big);
    EXPECT_TRUE(near(pixel(big, 4, 4), red, 1)) << pixel(big, 4, 4);
    // The outermost samples mix in the transparent black beyond the source,
    // so the green fill shows through.
    EXPECT_GT(pixel(big, 0, 0).g, 0);
    EXPECT_EQ(pixel(big, 0, 0).a, 255);
}

TEST(image_scale, transparent_source_pixels_leave_the_fill_colour) {
    auto_ptr_t<i_image> img(kiv_image_create(5, 5, 0x00FFFFFF));
    ASSERT_TRUE(img);
    auto_ptr_t<i_image> scaled(img->scale(7, 3, 0, 0xFF332211));
    ASSERT_TRUE(scaled);
    for (unsigned y = 0; y < 3; ++y)
        for (unsigned x = 0; x < 7; ++x)
            EXPECT_EQ(pixel(scaled, x, y), (rgba{0x11, 0x22, 0x33, 0xFF}));
}

TEST(image_scale, a_quarter_turn_moves_the_top_left_corner_to_the_top_right) {
    std::vector<rgba> pixels(16 * 16, blue);
    for (unsigned y = 0; y < 8; ++y)
        for (unsigned x = 0; x < 8; ++x)
            pixels[y * 16 + x] = red;
    auto_ptr_t<i_image> img(image_from(16, 16, pixels));
    ASSERT_TRUE(img);
    auto_ptr_t<i_image> turned(img->scale(16, 16, 90, 0xFF00FF00));
    ASSERT_TRUE(turned);
    EXPECT_TRUE(near(pixel(turned, 12, 3), red, 1)) << pixel(turned, 12, 3);
    EXPECT_TRUE(near(pixel(turned, 3, 3), blue, 1)) << pixel(turned, 3, 3);
    EXPECT_TRUE(near(pixel(turned, 3, 12), blue, 1)) << pixel(turned, 3, 12);
    EXPECT_TRUE(near(pixel(turned, 12, 12), blue, 1)) << pixel(turned, 12, 12);
}

TEST(image_scale, corners_that_sample_nothing_keep_the_fill_colour) {
    auto_ptr_t<i_image> img(kiv_image_create(20, 20, color_of(red)));
    ASSERT_TRUE(img);
    const rgba fill{1, 2, 3, 255};
    auto_ptr_t<i_image> turned(img->scale(20, 20, 45, color_of(fill)));
    ASSERT_TRUE(turned);
    EXPECT_EQ(pixel(turned, 0, 0), fill);
    EXPECT_EQ(pixel(turned, 19, 19), fill);
    EXPECT_TRUE(near(pixel(turned, 10, 10), red, 1));
}

TEST(image_scale, empty_zero_or_huge_sizes_give_null) {
    auto_ptr_t<i_image> img(kiv_image_create(2, 2, 0));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->scale(0, 5), nullptr);
    EXPECT_EQ(img->scale(5, 0), nullptr);
    EXPECT_EQ(img->scale(5000000, 1), nullptr);
    EXPECT_EQ(img->scale(70000, 70000), nullptr);  // over the image cap
    image empty;
    EXPECT_EQ(empty.scale(5, 5), nullptr);
    EXPECT_EQ(empty.scale_to_max_border(5), nullptr);
}

TEST(image_blend, only_the_part_that_lands_inside_is_drawn) {
    auto_ptr_t<i_image> base(kiv_image_create(20, 20, color_of(white)));
    auto_ptr_t<i_image> stamp(kiv_image_create(10, 10, color_of(red)));
    ASSERT_TRUE(base && stamp);
    EXPECT_TRUE(base->blend_image(stamp, -5, -5, 255));
    EXPECT_TRUE(base->blend_image(stamp, 15, 16, 1));
    EXPECT_TRUE(base->blend_image(stamp, 100, 0, 255));   // wholly outside
    EXPECT_TRUE(base->blend_image(stamp, 0, -10, 255));   // just above
    for (unsigned y = 0; y < 20; ++y)
        for (unsigned x = 0; x < 20; ++x) {
            bool inside = (x < 5 && y < 5) || (x >= 15 && y >= 16);
            ASSERT_EQ(pixel(base, x, y), inside ? red : white) << x << "," << y;
        }
}

TEST(image_blend, the_source_alpha_decides_the_mix) {
    auto_ptr_t<i_image> base(kiv_image_create(2, 1, color_of(blue)));
    auto_ptr_t<i_image> stamp(image_from(2, 1, {{255, 0, 0, 128}, {0, 255, 0, 0}}));
    ASSERT_TRUE(base && stamp);
    EXPECT_TRUE(base->blend_image(stamp, 0, 0, 255));
    EXPECT_TRUE(near(pixel(base, 0, 0), rgba{128, 0, 127, 255}, 2)) << pixel(base, 0, 0);
    EXPECT_EQ(pixel(base, 1, 0), blue);
}

TEST(image_blend, refuses_alpha_zero_and_missing_pictures_without_change) {
    auto_ptr_t<i_image> base(kiv_image_create(4, 4, color_of(white)));
    auto_ptr_t<i_image> stamp(kiv_image_create(2, 2, color_of(red)));
    ASSERT_TRUE(base && stamp);
    EXPECT_FALSE(base->blend_image(stamp, 0, 0, 0));
    EXPECT_FALSE(base->blend_image(nullptr, 0, 0, 255));
    image empty;
    EXPECT_FALSE(base->blend_image(&empty, 0, 0, 255));
    EXPECT_FALSE(empty.blend_image(stamp, 0, 0, 255));
    EXPECT_EQ(pixel(base, 0, 0), white);
}

TEST(image_blend, an_image_blended_onto_itself_reads_the_original_row) {
    std::vector<rgba> pixels = gradient(6, 2);
    auto_ptr_t<i_image> img(image_from(6, 2, pixels));
    ASSERT_TRUE(img);
    EXPECT_TRUE(img->blend_image(img, 1, 0, 255));
    EXPECT_EQ(pixel(img, 0, 0), pixels[0]);
    for (unsigned x = 1; x < 6; ++x)
        EXPECT_EQ(pixel(img, x, 1), pixels[6 + x - 1]) << x;
}
