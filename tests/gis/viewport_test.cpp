// viewport_test.cpp --
//
//     The viewport: its edges and scales at the documented values, the
//     round trip of pixels and degrees, the refusals of bad input, the
//     clamps that keep huge scales and far points in range, and the
//     fitting of extents (which runs only while the core runs).

#include <kiv/core/auto_ptr.h>
#include <kiv/gis/geodesic.h>
#include <kiv/gis/i_gis_viewport.h>

#include "../core/core_session.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

using namespace kiv;

namespace {

const double nan_value = std::numeric_limits<double>::quiet_NaN();
const double inf_value = std::numeric_limits<double>::infinity();

auto_ptr_t<i_gis_viewport> make_viewport(unsigned width, unsigned height) {
    auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(width, height));
    EXPECT_TRUE(vp);
    return vp;
}

TEST(viewport, creation_refuses_an_empty_side) {
    EXPECT_EQ(kiv_gis_create_viewport(0, 100), nullptr);
    EXPECT_EQ(kiv_gis_create_viewport(100, 0), nullptr);
    auto vp = make_viewport(640, 480);
    EXPECT_EQ(kiv_cast_i_gis_viewport(vp), vp.get());
    view_point size{};
    EXPECT_TRUE(vp->get_viewport_size(size));
    EXPECT_EQ(size.x, 640);
    EXPECT_EQ(size.y, 480);
}

TEST(viewport, new_viewport_answers_no_transform) {
    auto vp = make_viewport(100, 100);
    geo_point pt{1, 1}, max{1, 1};
    view_point px{};
    EXPECT_EQ(vp->get_scale(), 0u);
    EXPECT_FALSE(vp->get_center(pt));
    EXPECT_FALSE(vp->get_geo_extents(pt, max));
    EXPECT_FALSE(vp->dp_to_lc(0, 0, pt));
    EXPECT_FALSE(vp->lc_to_dp(0, 0, px));
}

TEST(viewport, centre_mode_extents_at_the_equator) {
    auto vp = make_viewport(100, 100);
    ASSERT_TRUE(vp->set_center(0, 0, 100000));
    geo_point min{}, max{};
    ASSERT_TRUE(vp->get_geo_extents(min, max));
    EXPECT_NEAR(max.lon, 0.0189937, 5e-8);
    EXPECT_NEAR(min.lon, -0.0189937, 5e-8);
    EXPECT_NEAR(max.lat, 0.0190965, 5e-8);  // the longitude extent / 0.994619
    EXPECT_NEAR(min.lat, -0.0190965, 5e-8);
    EXPECT_DOUBLE_EQ(max.lat, max.lon / 0.994619);
    EXPECT_EQ(vp->get_scale(), 100000u);
}

TEST(viewport, extents_mode_derives_centre_and_scale) {
    auto vp = make_viewport(200, 100);
    ASSERT_TRUE(vp->set_geo_extents(10, 20, 11, 22));
    geo_point c{}, min{}, max{};
    ASSERT_TRUE(vp->get_center(c));
    EXPECT_DOUBLE_EQ(c.lat, 10.5);
    EXPECT_DOUBLE_EQ(c.lon, 21);
    EXPECT_EQ(vp->get_scale(), 2632445u);
    ASSERT_TRUE(vp->get_geo_extents(min, max));  // the aspect is not forced
    EXPECT_EQ(min.lat, 10);
    EXPECT_EQ(min.lon, 20);
    EXPECT_EQ(max.lat, 11);
    EXPECT_EQ(max.lon, 22);
}

TEST(viewport, corners_and_centre_map_both_ways) {
    auto vp = make_viewport(200, 100);
    ASSERT_TRUE(vp->set_geo_extents(10, 20, 11, 22));
    view_point px{-1, -1};
    ASSERT_TRUE(vp->lc_to_dp(11, 20, px));  // north-west
    EXPECT_EQ(px.x, 0);
    EXPECT_EQ(px.y, 0);
    ASSERT_TRUE(vp->lc_to_dp(10.5, 21, px));
    EXPECT_NEAR(px.x, 100, 1);
    EXPECT_NEAR(px.y, 50, 1);
    geo_point pt{};
    ASSERT_TRUE(vp->dp_to_lc(200, 100, pt));  // south-east
    EXPECT_DOUBLE_EQ(pt.lat, 10);
    EXPECT_DOUBLE_EQ(pt.lon, 22);
    ASSERT_TRUE(vp->dp_to_lc(0, 0, pt));
    EXPECT_DOUBLE_EQ(pt.lat, 11);
    EXPECT_DOUBLE_EQ(pt.lon, 20);

    // Every pixel comes back to itself through degrees (the pixel's
    // centre avoids truncation at its edge).
    view_point pixels[4] = {{3, 7}, {199, 1}, {57, 99}, {120, 42}};
    geo_point degrees[4];
    ASSERT_TRUE(vp->dp_to_lc2(pixels, degrees, 4));
    for (geo_point& g : degrees) {
        g.lat -= 0.5 / 100;  // half a pixel south
        g.lon += 0.5 / 100;  // and east
    }
    view_point back[4];
    ASSERT_TRUE(vp->lc_to_dp2(degrees, back, 4));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(back[i].x, pixels[i].x) << i;
        EXPECT_EQ(back[i].y, pixels[i].y) << i;
    }
    EXPECT_FALSE(vp->dp_to_lc2(nullptr, degrees, 1));
    EXPECT_FALSE(vp->lc_to_dp2(degrees, nullptr, 1));
}

TEST(viewport, round_trip_at_many_scales_and_sizes) {
    const unsigned scales[] = {500, 25000, 1000000, 50000000};
    const unsigned sizes[][2] = {{2, 2}, {640, 480}, {1920, 1080}, {333, 4000}};
    const double centres[][2] = {{0, 0}, {55.75, 37.62}, {-33.9, 151.2}, {78.2, 15.6}};
    for (unsigned scale : scales) {
        for (const auto& size : sizes) {
            for (const auto& c : centres) {
                auto vp = make_viewport(size[0], size[1]);
                ASSERT_TRUE(vp->set_center(c[0], c[1], scale));
                view_point px{};
                ASSERT_TRUE(vp->lc_to_dp(c[0], c[1], px));
                EXPECT_NEAR(px.x, size[0] / 2.0, 1.0);
                EXPECT_NEAR(px.y, size[1] / 2.0, 1.0);
                geo_point pt{};
                ASSERT_TRUE(vp->dp_to_lc(px.x, px.y, pt));
                ASSERT_TRUE(vp->lc_to_dp(pt.lat, pt.lon, px));
                geo_point again{};
                ASSERT_TRUE(vp->dp_to_lc(px.x, px.y, again));
                // Truncation may step one pixel at most.
                const double deg_per_px = scale * 2.8257 / 7.4385e8;
                EXPECT_NEAR(again.lon, pt.lon, deg_per_px * 1.0001);
                EXPECT_NEAR(again.lat, pt.lat, deg_per_px * 1.0001);
            }
        }
    }
}

TEST(viewport, refuses_bad_input_and_keeps_the_view) {
    auto vp = make_viewport(100, 100);
    ASSERT_TRUE(vp->set_center(10, 20, 50000));
    EXPECT_FALSE(vp->set_center(11, 21, 0));
    EXPECT_FALSE(vp->set_center(nan_value, 21, 1000));
    EXPECT_FALSE(vp->set_center(11, inf_value, 1000));
    EXPECT_FALSE(vp->set_geo_extents(1, 1, 1, 2));  // no height
    EXPECT_FALSE(vp->set_geo_extents(1, 2, 2, 2));  // no width
    EXPECT_FALSE(vp->set_geo_extents(2, 1, 1, 2));  // upside down
    EXPECT_FALSE(vp->set_geo_extents(nan_value, 1, 2, 2));
    EXPECT_FALSE(vp->set_geo_extents(1, 1, 2, inf_value));
    EXPECT_FALSE(vp->set_geo_extents(-inf_value, 1, 2, 2, true));
    EXPECT_FALSE(vp->set_viewport_size(0, 10));
    EXPECT_FALSE(vp->set_viewport_size(10, 0));
    geo_point c{};
    ASSERT_TRUE(vp->get_center(c));
    EXPECT_EQ(c.lat, 10);
    EXPECT_EQ(c.lon, 20);
    EXPECT_EQ(vp->get_scale(), 50000u);
    view_point px{5, 5};
    EXPECT_FALSE(vp->lc_to_dp(nan_value, 20, px));
    geo_point pts[2] = {{10, 20}, {nan_value, 20}};
    view_point out[2] = {{9, 9}, {9, 9}};
    ASSERT_TRUE(vp->lc_to_dp2(pts, out, 2));
    EXPECT_EQ(out[0].x, 50);
    EXPECT_EQ(out[1].x, 0);
    EXPECT_EQ(out[1].y, 0);
}

TEST(viewport, direction_is_stored_only) {
    auto vp = make_viewport(100, 100);
    ASSERT_TRUE(vp->set_center(10, 20, 50000));
    geo_point before_min{}, before_max{}, after_min{}, after_max{};
    ASSERT_TRUE(vp->get_geo_extents(before_min, before_max));
    EXPECT_TRUE(vp->set_direction(359));
    EXPECT_EQ(vp->get_direction(), 359);
    EXPECT_FALSE(vp->set_direction(360));
    EXPECT_EQ(vp->get_direction(), 359);
    ASSERT_TRUE(vp->get_geo_extents(after_min, after_max));
    EXPECT_EQ(before_min.lat, after_min.lat);
    EXPECT_EQ(before_max.lon, after_max.lon);
}

TEST(viewport, a_side_of_one_pixel_makes_every_transform_fail) {
    for (auto size : {std::make_pair(1u, 100u), std::make_pair(100u, 1u)}) {
        auto vp = make_viewport(size.first, size.second);
        ASSERT_TRUE(vp->set_center(10, 20, 50000));
        geo_point pt{};
        view_point px{};
        EXPECT_FALSE(vp->get_center(pt));
        EXPECT_EQ(vp->get_scale(), 0u);
        EXPECT_FALSE(vp->dp_to_lc(0, 0, pt));
        EXPECT_FALSE(vp->lc_to_dp(10, 20, px));
        // Growing the view makes it whole again.
        ASSERT_TRUE(vp->set_viewport_size(100, 100));
        EXPECT_TRUE(vp->get_center(pt));
    }
}

TEST(viewport, huge_scales_and_far_points_are_clamped) {
    // 340 degrees over 2 pixels is a scale of about 4.5e10.
    auto vp = make_viewport(2, 2);
    ASSERT_TRUE(vp->set_geo_extents(-10, -170, 10, 170));
    EXPECT_EQ(vp->get_scale(), 4294967295u);

    auto fine = make_viewport(1000, 1000);
    ASSERT_TRUE(fine->set_center(0, 0, 1));
    view_point px{};
    ASSERT_TRUE(fine->lc_to_dp(89, 179, px));  // about 4.7e10 pixels away
    EXPECT_EQ(px.x, INT_MAX);
    EXPECT_EQ(px.y, INT_MIN);
    ASSERT_TRUE(fine->lc_to_dp(-89, -179, px));
    EXPECT_EQ(px.x, INT_MIN);
    EXPECT_EQ(px.y, INT_MAX);
    // Far coordinates whose half extent vanishes leave no view.
    auto far = make_viewport(100, 100);
    ASSERT_TRUE(far->set_center(1e300, 1e300, 1));
    EXPECT_EQ(far->get_scale(), 0u);
}

// Fitting runs while the core runs, so these cases start one.
class viewport_fit : public ::testing::Test {
protected:
    kiv_test::core_session session{false};
};

TEST_F(viewport_fit, fitted_view_covers_the_extents) {
    struct {
        unsigned w, h;
        double min_lat, min_lon, max_lat, max_lon;
    } cases[] = {
        {200, 100, 10, 20, 11, 22},
        {100, 100, 50, 30, 60, 31},      // tall: the scale must grow
        {100, 100, 0.001, 0, 2, 1},      // near the equator
        {100, 100, 0, 0, 1, 1},          // southern edge on the equator
        {300, 200, -40, 140, -30, 150},  // southern hemisphere
        {640, 480, 55.5, 37.3, 56.0, 38.0},
    };
    for (const auto& c : cases) {
        auto vp = make_viewport(c.w, c.h);
        ASSERT_TRUE(vp->set_geo_extents(c.min_lat, c.min_lon, c.max_lat, c.max_lon, true));
        geo_point centre{}, min{}, max{};
        ASSERT_TRUE(vp->get_center(centre));
        EXPECT_DOUBLE_EQ(centre.lat, (c.min_lat + c.max_lat) / 2);
        EXPECT_DOUBLE_EQ(centre.lon, (c.min_lon + c.max_lon) / 2);
        ASSERT_TRUE(vp->get_geo_extents(min, max));
        const double eps = 1e-9;
        EXPECT_LE(min.lat, c.min_lat + eps) << c.min_lat;
        EXPECT_GE(max.lat, c.max_lat - eps) << c.min_lat;
        // The width fits up to the truncation of the scale.
        const double px = vp->get_scale() * 2.8257 / 7.4385e8;
        EXPECT_LE(min.lon, c.min_lon + px) << c.min_lat;
        EXPECT_GE(max.lon, c.max_lon - px) << c.min_lat;
    }
}

TEST_F(viewport_fit, one_pass_never_more_than_doubles_the_scale) {
    // Near the equator the relative miss (bottom - min_lat) / min_lat is
    // about 500 here; taken as it is, one pass would zoom out 500 times.
    auto vp = make_viewport(100, 100);
    ASSERT_TRUE(vp->set_geo_extents(0.001, 0, 2, 1, true));
    // The least scale whose half height reaches 0.9995 degrees.
    const double needed = 0.9995 * kiv_gis_calc_lat_coef(1.0005) / (50 * 2.8257 / 7.4385e8);
    EXPECT_GE(vp->get_scale(), needed - 1);
    EXPECT_LE(vp->get_scale(), 2 * needed);
}

TEST_F(viewport_fit, scale_stops_at_the_unsigned_limit) {
    // A 160-degree tall, hair-thin area on a 2-pixel high view needs a
    // scale of about 2e10, beyond the unsigned range.
    auto vp = make_viewport(100, 2);
    ASSERT_TRUE(vp->set_geo_extents(-80, 0, 80, 0.0001, true));
    EXPECT_EQ(vp->get_scale(), 4294967295u);
}

TEST(viewport, without_a_running_core_fitting_keeps_the_width_scale) {
    auto vp = make_viewport(100, 100);
    ASSERT_TRUE(vp->set_geo_extents(50, 30, 60, 31, true));
    EXPECT_EQ(vp->get_scale(), static_cast<unsigned>(0.5 * 2 * 7.4385e8 / 2.8257 / 100));
}

}  // namespace
