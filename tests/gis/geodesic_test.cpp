// geodesic_test.cpp --
//
//     The geodesic helpers at the values maps and scripts rely on:
//     distances, courses, planar and geographic distances to a line, and
//     the latitude coefficient table with its ends.

#include <kiv/gis/geodesic.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

const double nan_value = std::numeric_limits<double>::quiet_NaN();

TEST(geodesic, distance_of_known_pairs) {
    EXPECT_EQ(kiv_calc_distance(12.5, -7.25, 12.5, -7.25), 0.0);
    EXPECT_NEAR(kiv_calc_distance(0, 0, 0, 1), 111319.54, 0.005);
    // Symmetric, and a degree of latitude is shorter at the equator.
    EXPECT_DOUBLE_EQ(kiv_calc_distance(10, 20, 11, 22), kiv_calc_distance(11, 22, 10, 20));
    EXPECT_NEAR(kiv_calc_distance(0, 0, 1, 0), 110573.19, 0.01);
}

TEST(geodesic, distance_of_points_that_are_no_place_is_minus_one) {
    const double inf = std::numeric_limits<double>::infinity();
    const double cases[][4] = {
        {nan_value, 0, 1, 1}, {0, 0, 1, nan_value}, {1e308, -1e308, 1e308, 1e308},
        {90.5, 0, 0, 0},      {0, 0, -91, 0},       {0, 360.5, 0, 0},
        {0, 0, 0, -inf},      {inf, 0, inf, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kiv_calc_distance(c[0], c[1], c[2], c[3]), -1.0) << c[0] << " " << c[1] << " " << c[2] << " " << c[3];
    // The edges of the range are places.
    EXPECT_GT(kiv_calc_distance(90, 360, -90, -360), 0.0);
}

TEST(geodesic, distance_near_antipodes_and_of_vanishing_steps_is_finite) {
    // Andoyer-Lambert is weakest at antipodes: it stays finite and within
    // 0.2 % of half a meridian (20003.93 km) there.
    const double half_meridian = 20003931.5;
    for (double lat : {0.0, 30.0, 89.0, 90.0}) {
        const double d = kiv_calc_distance(lat, 10, -lat, -170);
        EXPECT_TRUE(std::isfinite(d)) << lat;
        EXPECT_NEAR(d, half_meridian, half_meridian * 0.002) << lat;
    }
    // The same place written a turn apart, and a step that underflows.
    EXPECT_NEAR(kiv_calc_distance(40, -180, 40, 180), 0.0, 1e-6);
    EXPECT_EQ(kiv_calc_distance(1e-320, 5, 0, 5), 0.0);
}

TEST(geodesic, course_is_the_back_bearing_in_the_degree_plane) {
    struct {
        double lat2, lon2;
        int course;
    } cases[] = {
        {1, 0, 180},    // north
        {-1, 0, 360},   // south
        {1, 1, 225},    // north-east
        {1, -1, 135},   // north-west
        {-1, 1, 315},   // south-east
        {0, 1, 270},    // east: equal latitudes take the same formula
        {0, -1, 90},    // west
        {2, 1, 206},    // 26.57 degrees east of north, truncated
        {0, 0, 180},    // the same point
    };
    for (const auto& c : cases)
        EXPECT_EQ(kiv_calc_course(0, 0, c.lat2, c.lon2), c.course) << c.lat2 << "," << c.lon2;
    // No scaling of longitude: the same degrees give the same course at 60N.
    EXPECT_EQ(kiv_calc_course(60, 30, 61, 31), 225);
    EXPECT_EQ(kiv_calc_course(nan_value, 0, 1, 1), 0);
    EXPECT_EQ(kiv_calc_course(0, 0, std::numeric_limits<double>::infinity(), 1), 180);
}

TEST(geodesic, planar_distance_to_line) {
    struct {
        double x1, y1, x2, y2, x0, y0;
        bool check;
        double expected;
    } cases[] = {
        {0, 0, 10, 0, 5, 3, true, 3},
        {0, 0, 10, 0, 15, 3, true, -1},
        {0, 0, 10, 0, 15, 3, false, 3},     // distance to the whole line
        {10, 0, 0, 0, -0.5, 2, true, -1},   // reversed segment, foot before both ends
        {0, 0, 0, 10, 4, 5, true, 4},       // vertical: foot (x1, y0)
        {0, 0, 0, 10, 4, 11, true, -1},
        {0, 0, 0, 10, 4, 11, false, 4},
        {1, 1, 1, 1, 4, 5, true, 5},        // both ends equal: distance to the point
        {0, 0, 4, 4, 0, 4, true, std::sqrt(8.0)},
        {0, 0, 4, 4, 4, 4, true, 0},        // on the end point: not outside
    };
    for (const auto& c : cases)
        EXPECT_NEAR(kiv_distance_to_line(c.x1, c.y1, c.x2, c.y2, c.x0, c.y0, c.check), c.expected, 1e-12)
            << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2 << " from " << c.x0 << "," << c.y0;
}

TEST(geodesic, geodistance_to_equal_ends_is_to_the_point_and_writes_no_foot) {
    double lat = 77, lon = 88;
    EXPECT_DOUBLE_EQ(kiv_geodistance_to_line(10, 20, 10, 20, 11, 22, true, &lat, &lon),
                     kiv_calc_distance(10, 20, 11, 22));
    EXPECT_EQ(lat, 77);
    EXPECT_EQ(lon, 88);
}

TEST(geodesic, geodistance_feet_of_simple_segments) {
    double lat = 0, lon = 0;
    // A meridian segment: the foot keeps the point's latitude.
    EXPECT_DOUBLE_EQ(kiv_geodistance_to_line(10, 20, 12, 20, 11, 20.5, true, &lat, &lon),
                     kiv_calc_distance(11, 20, 11, 20.5));
    EXPECT_EQ(lat, 11);
    EXPECT_EQ(lon, 20);
    // A parallel segment: the foot keeps the segment's latitude.
    EXPECT_DOUBLE_EQ(kiv_geodistance_to_line(60, 10, 60, 12, 60.01, 11, true, &lat, &lon),
                     kiv_calc_distance(60, 11, 60.01, 11));
    EXPECT_EQ(lat, 60);
    EXPECT_NEAR(lon, 11, 1e-12);
    // Past the end: refused with the check, measured without it.
    EXPECT_EQ(kiv_geodistance_to_line(60, 10, 60, 12, 60.01, 13, true), -1);
    EXPECT_GT(kiv_geodistance_to_line(60, 10, 60, 12, 60.01, 13, false), 0);
    EXPECT_EQ(kiv_geodistance_to_line(10, 20, 12, 20, 13, 20.5, true), -1);
}

TEST(geodesic, geodistance_foot_is_perpendicular_on_the_ground) {
    // A diagonal segment at 60N, where a degree of longitude is half a
    // degree of latitude on the ground. The foot must be the nearest
    // point of the segment: both neighbours along it are farther.
    double lat = 0, lon = 0;
    const double d = kiv_geodistance_to_line(60, 30, 60.1, 30.3, 60.08, 30.05, true, &lat, &lon);
    ASSERT_GT(d, 0);
    const double t = (lon - 30) / 0.3;
    EXPECT_NEAR(lat, 60 + 0.1 * t, 1e-9);  // on the segment
    for (double dt : {-0.01, 0.01}) {
        const double tn = t + dt;
        EXPECT_GT(kiv_calc_distance(60 + 0.1 * tn, 30 + 0.3 * tn, 60.08, 30.05), d);
    }
}

TEST(geodesic, segments_and_hops_across_180_degrees_are_measured_like_any_other) {
    // Each case across 180 has a twin 170 degrees west that crosses
    // nothing: distances, refusals and feet must agree.
    struct {
        double l1, r1, l2, r2, e, o;
    } cases[] = {
        {0, 179.99, 0, -179.99, 0.001, 180},      // the 44 m road across 180, point beside it
        {0, -179.99, 0, 179.99, 0.001, -180},     // reversed, the point written as -180
        {0, 179.99, 0, -179.99, -0.002, -179.995},
        {10, 179.9, 10.2, -179.9, 10.15, 179.98},  // a diagonal road
        {10, 179.9, 10.2, -179.9, 10.15, -179.8},  // past its end: refused on both sides
        {0, 179.99, 0, -179.99, 0.001, -179.98},   // past the end: refused
    };
    auto twin = [](double lon) { return lon > 0 ? lon - 170 : lon + 190; };
    for (const auto& c : cases) {
        double lat = 0, lon = 0, twin_lat = 0, twin_lon = 0;
        const double d = kiv_geodistance_to_line(c.l1, c.r1, c.l2, c.r2, c.e, c.o, true, &lat, &lon);
        const double want = kiv_geodistance_to_line(c.l1, twin(c.r1), c.l2, twin(c.r2), c.e, twin(c.o), true,
                                                     &twin_lat, &twin_lon);
        EXPECT_NEAR(d, want, 1e-6) << c.r1 << " " << c.r2 << " from " << c.e << "," << c.o;
        EXPECT_NEAR(lat, twin_lat, 1e-9);
        EXPECT_NEAR(twin(lon), twin_lon, 1e-9) << "foot " << lon;
        EXPECT_LE(std::fabs(lon), 180.0);
    }
    EXPECT_NEAR(kiv_geodistance_to_line(0, 179.99, 0, -179.99, 0.001, 180, true), 110.57, 0.01);
    // Both ends one place, written at 180 and at -180: the distance to it.
    EXPECT_DOUBLE_EQ(kiv_geodistance_to_line(5, 180, 5, -180, 5.01, 179.99, true), kiv_calc_distance(5, 180, 5.01, 179.99));

    // A hop east across 180 heads east, as the same hop elsewhere.
    EXPECT_EQ(kiv_calc_course(0, 179.9, 0, -179.9), 270);
    EXPECT_EQ(kiv_calc_course(0, -179.9, 0, 179.9), 90);
    EXPECT_EQ(kiv_calc_course(0, 179.9, 1, -179.9), kiv_calc_course(0, 9.9, 1, 10.1));
    EXPECT_EQ(kiv_calc_course(-5, -179.5, -6, 179.5), kiv_calc_course(-5, 0.5, -6, -0.5));
}

TEST(geodesic, latitude_coefficient_table_and_ends) {
    struct {
        double lat, coef;
    } cases[] = {
        {0.0, 0.994619},  {0.99, 0.994619}, {1.0, 0.995992},   {45.7, 1.407516}, {-45.7, 1.407516},
        {59.999, 1.940956}, {60, 1.996537}, {89.9, 56.853094}, {-89.9, 56.853094}, {19.5, 1.05237},
        {90, 1.0},        {123, 1.0},       {-90, 1.0},        {-1e300, 1.0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kiv_gis_calc_lat_coef(c.lat), c.coef) << c.lat;
    EXPECT_EQ(kiv_gis_calc_lat_coef(nan_value), 1.0);
    EXPECT_EQ(kiv_gis_calc_lat_coef(std::numeric_limits<double>::infinity()), 1.0);
}

}  // namespace
