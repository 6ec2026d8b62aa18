// snap_test.cpp --
//
//     Road snapping and location texts on synthetic maps with known
//     vertices: single points against range, segment ends and repeated
//     vertices, the cosine-scaled foot, a road east of a point at 60°N,
//     tracks along one road, along a forward-only road, across two roads
//     and around a detour, and the nearest place among points, lines and
//     maps that word no locations.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_string.h>
#include <kiv/gis/geodesic.h>

#include "../core/core_session.h"
#include "ozm_fixtures.h"
#include "search/location_text.h"
#include "search/road_snap.h"
#include "search_fixtures.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

using namespace ozm_search_test;
using kiv::i_gis_road_lock;

constexpr double metres_per_degree_lat = 111200.0;  // near 50°N, good to a metre over 100 m

struct snapped {
    bool found;
    double lat, lon;
};

snapped snap(const kiv::ozm::map_list& maps, double lat, double lon, double range) {
    kiv::geo_point pt{-1, -1};
    bool found = kiv::ozm::lock_point_to_road(maps, lat, lon, range, pt);
    return snapped{found, pt.lat, pt.lon};
}

// A track as "lat,lon,s" items for readable failures.
struct track_point {
    double lat, lon;
    int simulated;
};
std::vector<track_point> track(const kiv::ozm::map_list& maps, std::vector<std::pair<double, double>> in, double range,
                               bool simulate) {
    std::vector<double> lats, lons;
    for (const auto& p : in) {
        lats.push_back(p.first);
        lons.push_back(p.second);
    }
    auto_ptr_t<i_gis_road_lock> lock(
        kiv::ozm::lock_points_to_road(maps, lats.data(), lons.data(), unsigned(in.size()), range, simulate));
    std::vector<track_point> out;
    if (!lock)
        return out;
    for (unsigned i = 0; i < lock->get_point_count(); ++i)
        out.push_back({lock->get_lat(i), lock->get_lon(i), lock->is_simulated(i) ? 1 : 0});
    return out;
}

// Vertices are f32: 50.0012 is stored 1.6e-6 off.
void expect_track(const std::vector<track_point>& got, const std::vector<track_point>& want) {
    std::string seen;
    for (const auto& p : got)
        seen += std::to_string(p.lat) + "," + std::to_string(p.lon) + "," + std::to_string(p.simulated) + " ";
    ASSERT_EQ(got.size(), want.size()) << seen;
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_NEAR(got[i].lat, want[i].lat, 5e-6) << "point " << i;
        EXPECT_NEAR(got[i].lon, want[i].lon, 5e-6) << "point " << i;
        EXPECT_EQ(got[i].simulated, want[i].simulated) << "point " << i;
    }
}

// The grid: R1 runs east along 50°N from 10.000 to 10.010 (a vertex every
// 0.001°), R2 north along 10.0055°E from 49.9955 to 50.0055 (a vertex
// every 0.001°); they cross at (50.0, 10.0055), inside R1's segment 5
// and R2's segment 4.
class road_snap : public ::testing::Test {
protected:
    void SetUp() override {
        w::map_writer grid = writer_named("Grid");
        grid.add_feature(straight_road(50.0f, 10.0f, 0, 0.001f, 10));
        grid.add_feature(straight_road(49.9955f, 10.0055f, 0.001f, 0, 10));
        maps.add(grid, "grid.ozm", 1);
    }

    kiv_test::core_session session{false};
    loaded_maps maps;
};

TEST_F(road_snap, a_point_snaps_to_the_foot_on_its_nearest_segment_within_range) {
    const double north_33m = 50.0 + 33 / metres_per_degree_lat, north_67m = 50.0 + 67 / metres_per_degree_lat;
    struct {
        double lat, lon, range;
        bool found;
        double want_lat, want_lon;
    } cases[] = {
        {north_33m, 10.0023, 0, true, 50.0, 10.0023},     // range 0 means 50 m
        {north_67m, 10.0023, 0, false, 0, 0},             // beyond 50 m
        {north_67m, 10.0023, 100, true, 50.0, 10.0023},   // within 100 m
        {50.0, 10.0105, 100, false, 0, 0},                // east of R1's end: the foot lies off every segment
        {50.0041, 10.0056, 30, true, 50.0041, 10.0055},   // R2, 7 m east of it
    };
    for (const auto& c : cases) {
        snapped s = snap(maps.list, c.lat, c.lon, c.range);
        EXPECT_EQ(s.found, c.found) << c.lat << " " << c.lon << " range " << c.range;
        if (s.found && c.found) {
            EXPECT_NEAR(s.lat, c.want_lat, 1e-6);
            EXPECT_NEAR(s.lon, c.want_lon, 1e-6);
        }
    }
}

TEST(road_snap_rules, the_nearer_of_two_roads_wins_and_maps_that_snap_nothing_are_skipped) {
    kiv_test::core_session session{false};
    loaded_maps maps;
    const float b_lat = float(50.0 + 70 / metres_per_degree_lat);
    w::map_writer two = writer_named("Two");
    two.add_feature(straight_road(50.0f, 10.0f, 0, 0.01f, 1));
    two.add_feature(straight_road(b_lat, 10.0f, 0, 0.01f, 1));
    maps.add(two, "two.ozm", 1);
    // 30 m from the first road, 40 m from the second.
    snapped s = snap(maps.list, 50.0 + 30 / metres_per_degree_lat, 10.005, 100);
    ASSERT_TRUE(s.found);
    EXPECT_NEAR(s.lat, 50.0, 1e-7);
    s = snap(maps.list, 50.0 + 42 / metres_per_degree_lat, 10.005, 100);
    ASSERT_TRUE(s.found);
    EXPECT_NEAR(s.lat, b_lat, 1e-7);

    // A map left out of rendering and snapping (flag 0x08) is not asked.
    loaded_maps hidden;
    w::map_writer no_render = writer_named("NoRender", 0, 0x08);
    no_render.add_feature(straight_road(50.0f, 10.0f, 0, 0.01f, 1));
    hidden.add(no_render, "no_render.ozm", 2);
    EXPECT_FALSE(snap(hidden.list, 50.0001, 10.005, 100).found);
    double lat = 50.0001, lon = 10.005;
    EXPECT_EQ(kiv::ozm::lock_points_to_road(hidden.list, &lat, &lon, 1, 100, true), nullptr);
}

TEST(road_snap_rules, the_foot_is_dropped_in_a_plane_scaled_by_the_cosine_of_the_latitude) {
    kiv_test::core_session session{false};
    loaded_maps maps;
    w::map_writer diagonal = writer_named("Diagonal");
    diagonal.add_feature(road({{60.0f, 10.0f}, {60.01f, 10.04f}}));
    maps.add(diagonal, "diagonal.ozm", 1);
    const double lat = 60.006, lon = 10.01;
    snapped s = snap(maps.list, lat, lon, 2000);
    ASSERT_TRUE(s.found);
    // Project in a local plane of x = lon x cos(lat), y = lat.
    auto foot = [&](double k) {
        double ax = 10.0 * k, ay = 60.0, bx = double(10.04f) * k, by = double(60.01f);
        double px = lon * k, py = lat;
        double t = ((px - ax) * (bx - ax) + (py - ay) * (by - ay)) / ((bx - ax) * (bx - ax) + (by - ay) * (by - ay));
        return std::make_pair(ay + t * (by - ay), (ax + t * (bx - ax)) / k);
    };
    auto scaled = foot(std::cos(lat * M_PI / 180));
    EXPECT_NEAR(s.lat, scaled.first, 1e-7);
    EXPECT_NEAR(s.lon, scaled.second, 1e-7);
    // The unscaled plane would put the foot elsewhere by far more.
    auto plain = foot(1.0);
    EXPECT_GT(std::fabs(plain.second - scaled.second), 1e-4);
}

TEST(road_snap_rules, a_repeated_vertex_nearest_to_the_point_is_where_it_snaps) {
    kiv_test::core_session session{false};
    loaded_maps maps;
    w::map_writer repeated = writer_named("Repeated");
    repeated.add_feature(road({{50.0f, 10.0f}, {50.0f, 10.0f}, {50.0f, 10.01f}}));
    maps.add(repeated, "repeated.ozm", 1);
    // West of the first vertex: the real segment's foot lies off it.
    snapped s = snap(maps.list, 50.0001, 9.9999, 50);
    ASSERT_TRUE(s.found);
    EXPECT_EQ(s.lat, 50.0);
    EXPECT_EQ(s.lon, double(10.0f));
}

TEST(road_snap_rules, a_road_east_of_a_point_at_60_north_is_found_within_range) {
    kiv_test::core_session session{false};
    loaded_maps maps;
    const double range = 1000;
    // 0.8 x range due east: 800 m is about 0.0144° of longitude at 60°N,
    // beyond a box of range / 111,000 m per degree.
    const float road_lon = float(30.0 + 0.8 * range / (111320.0 * std::cos(60.0 * M_PI / 180)));
    w::map_writer east = writer_named("East");
    east.add_feature(road({{59.99f, road_lon}, {60.01f, road_lon}}));
    maps.add(east, "east.ozm", 1);
    snapped s = snap(maps.list, 60.0, 30.0, range);
    ASSERT_TRUE(s.found);
    EXPECT_NEAR(s.lon, road_lon, 1e-6);
    EXPECT_NEAR(kiv_calc_distance(60.0, 30.0, s.lat, s.lon), 800, 5);
}

TEST_F(road_snap, points_on_one_road_get_the_vertices_between_them_flagged_simulated) {
    const double lat = 50.0001;
    expect_track(track(maps.list, {{lat, 10.0005}, {lat, 10.0035}}, 30, true),
                 {{50, 10.0005, 0}, {50, 10.001, 1}, {50, 10.002, 1}, {50, 10.003, 1}, {50, 10.0035, 0}});
    // Backwards along a two-way road: the vertices in descending order.
    expect_track(track(maps.list, {{lat, 10.0035}, {lat, 10.0005}}, 30, true),
                 {{50, 10.0035, 0}, {50, 10.003, 1}, {50, 10.002, 1}, {50, 10.001, 1}, {50, 10.0005, 0}});
    expect_track(track(maps.list, {{lat, 10.0005}, {lat, 10.0035}}, 30, false),
                 {{50, 10.0005, 0}, {50, 10.0035, 0}});
    // A point without a road: kept with simulation, (0, 0) without.
    expect_track(track(maps.list, {{lat, 10.0005}, {51, 11}, {lat, 10.0015}}, 30, true),
                 {{50, 10.0005, 0}, {51, 11, 0}, {50, 10.0015, 0}});
    expect_track(track(maps.list, {{51, 11}}, 30, false), {{0, 0, 0}});
}

TEST(road_track, a_forward_only_road_driven_backwards_gets_no_vertices) {
    kiv_test::core_session session{false};
    loaded_maps maps;
    w::map_writer oneway = writer_named("Oneway");
    oneway.add_feature(straight_road(50.0f, 10.0f, 0, 0.001f, 10, true));
    maps.add(oneway, "oneway.ozm", 1);
    expect_track(track(maps.list, {{50.0001, 10.0035}, {50.0001, 10.0005}}, 30, true),
                 {{50, 10.0035, 0}, {50, 10.0005, 0}});
    expect_track(track(maps.list, {{50.0001, 10.0005}, {50.0001, 10.0025}}, 30, true),
                 {{50, 10.0005, 0}, {50, 10.001, 1}, {50, 10.002, 1}, {50, 10.0025, 0}});
}

TEST_F(road_snap, changing_roads_goes_through_their_crossing) {
    expect_track(track(maps.list, {{50.0001, 10.0015}, {50.0030, 10.0056}}, 30, true),
                 {{50, 10.0015, 0},
                  {50, 10.002, 1},
                  {50, 10.003, 1},
                  {50, 10.004, 1},
                  {50, 10.005, 1},
                  {50, 10.0055, 1},  // the crossing
                  {50.0005, 10.0055, 1},
                  {50.0015, 10.0055, 1},
                  {50.0025, 10.0055, 1},
                  {50.0030, 10.0055, 0}});
}

TEST(road_track, a_way_far_longer_than_the_direct_one_is_dropped_again) {
    kiv_test::core_session session{false};
    // A U-turn road: east along 50.0, north, west along 50.0012. The
    // two input points face each other across the U, 111 m apart.
    for (float width : {0.02f, 0.001f}) {
        loaded_maps maps;
        w::map_writer u = writer_named("U");
        u.add_feature(road({{50.0f, 10.0f}, {50.0f, 10.0f + width}, {50.0012f, 10.0f + width}, {50.0012f, 10.0f}}));
        maps.add(u, "u.ozm", 1);
        auto got = track(maps.list, {{50.0001, 10.0005}, {50.0011, 10.0005}}, 30, true);
        if (width > 0.01f) {
            // About 2.9 km of road against 3 x 111 m + 30 m: dropped.
            expect_track(got, {{50, 10.0005, 0}, {50.0012, 10.0005, 0}});
        } else {
            // About 280 m: kept.
            expect_track(got, {{50, 10.0005, 0},
                               {50, 10.0f + width, 1},
                               {50.0012, 10.0f + width, 1},
                               {50.0012, 10.0005, 0}});
        }
    }
}

TEST(road_crossing, the_crossing_nearest_to_both_snapped_segments_wins) {
    // A zigzag crossed by a straight line three times; the score counts
    // segments from the snapped ones.
    std::vector<float> zig = {50.0f, 10.0f, 50.002f, 10.001f, 50.0f, 10.002f, 50.002f, 10.003f};
    std::vector<float> line = {50.001f, 9.999f, 50.001f, 10.0002f, 50.001f, 10.0012f, 50.001f, 10.0022f, 50.001f, 10.004f};
    auto as_bytes = [](const std::vector<float>& v) {
        std::vector<uint8_t> b(v.size() * 4);
        std::memcpy(b.data(), v.data(), b.size());
        return b;
    };
    std::vector<uint8_t> zb = as_bytes(zig), lb = as_bytes(line);
    kiv::ozm::road_hit a, b;
    a.points = zb.data();
    a.count = 4;
    b.points = lb.data();
    b.count = 5;
    struct {
        uint32_t a_seg, b_seg;
        bool a_forward;
        uint32_t want_a, want_b;
    } cases[] = {
        // Crossings at (0, 1), (1, 2) and (2, 3); score |i + 1 - a| + |j + 1 - b|.
        {0, 0, false, 0, 1},  // scores 3, 5, 7
        {2, 3, false, 1, 2},  // scores 2, 0, 2
        {1, 2, false, 0, 1},  // scores 0, 2, 4
        {2, 2, false, 0, 1},  // scores 1, 1, 3: the first of the tie
        {2, 0, true, 2, 3},   // forward-only from segment 2: only its crossing is left
    };
    for (const auto& c : cases) {
        a.segment = c.a_seg;
        a.forward_only = c.a_forward;
        b.segment = c.b_seg;
        kiv::ozm::road_crossing x;
        ASSERT_TRUE(kiv::ozm::nearest_crossing(a, b, x)) << c.a_seg << " " << c.b_seg;
        EXPECT_EQ(x.a, c.want_a) << c.a_seg << " " << c.b_seg;
        EXPECT_EQ(x.b, c.want_b) << c.a_seg << " " << c.b_seg;
        EXPECT_NEAR(x.lat, 50.001, 1e-6);
    }
    // Roads that never meet.
    std::vector<float> far = {51.0f, 10.0f, 51.0f, 10.01f};
    std::vector<uint8_t> fb = as_bytes(far);
    b.points = fb.data();
    b.count = 2;
    b.segment = 0;
    kiv::ozm::road_crossing x;
    EXPECT_FALSE(kiv::ozm::nearest_crossing(a, b, x));
}

// Places: Town (a point) 1.1 km north, River (a line) 357 m east, a
// labelled line flagged as place without a place field 70 m west, and a
// closer place in a map that words no locations.
class location_text : public ::testing::Test {
protected:
    void SetUp() override {
        w::map_writer places = writer_named("Places");
        places.add_feature(place_point(50.01f, 10.0f, "Town"));
        w::feature river;
        river.code = 30;
        river.place = "River";
        river.anchor = {50.0f, 10.005f};
        river.points = {{49.99f, 10.005f}, {50.02f, 10.005f}};
        places.add_feature(river);
        w::feature no_field;
        no_field.code = 31;
        no_field.flags = 0x20;
        no_field.label = "Label only";
        no_field.anchor = {50.0f, 9.999f};
        no_field.points = {{49.99f, 9.999f}, {50.02f, 9.999f}};
        uint32_t number = places.add_feature(no_field);
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(places.build(bytes, error)) << error;
        // The writer gives a labelled place line both name fields; take
        // the place field away (record flag 0x20) as a damaged file might.
        ozm_test::layout at(bytes);
        uint64_t entry = at.features + 8 * uint64_t(number);
        uint32_t offset = ozm_test::get_u32(bytes, entry);
        uint32_t page = uint32_t(bytes[entry + 4]) | uint32_t(bytes[entry + 5]) << 8;
        uint64_t page_start = at.pages;
        for (uint32_t p = 0; p < page; ++p)
            page_start += ozm_test::get_u32(bytes, at.pages_index + 4 * p);
        ASSERT_EQ(bytes[page_start + offset] & 0x30, 0x30);
        bytes[page_start + offset] &= uint8_t(~0x20);
        maps.add_bytes(bytes, "places.ozm", 1);
        w::map_writer quiet = writer_named("Quiet", 9, 0x10);
        quiet.add_feature(place_point(50.0001f, 10.0f, "Quiet place"));
        maps.add(quiet, "quiet.ozm", 2);
    }

    std::string text(double lat, double lon, double range, double* distance) {
        char* t = kiv::ozm::location_text(maps.list, lat, lon, range, distance);
        std::string out = t != nullptr ? t : "<null>";
        std::free(t);
        return out;
    }

    kiv_test::core_session session{false};
    loaded_maps maps;
};

TEST_F(location_text, the_nearest_place_within_range_is_named) {
    double d = -1;
    EXPECT_EQ(text(50.0, 10.0, 5000, &d), "River");
    EXPECT_NEAR(d, kiv_calc_distance(50.0, 10.0, 50.0, double(10.005f)), 0.5);
    EXPECT_EQ(text(50.0, 10.0, 300, &d), "<null>");  // River is 357 m away
    EXPECT_EQ(text(50.0095, 10.0, 5000, &d), "Town");
    EXPECT_NEAR(d, kiv_calc_distance(50.0095, 10.0, double(50.01f), double(10.0f)), 0.01);
    EXPECT_EQ(text(50.0, 10.0, 0, &d), "<null>");
    EXPECT_EQ(kiv::ozm::location_text(maps.list, 50.0, 10.0, 5000, nullptr), nullptr);
    // South of the River's end its perpendicular foot lies off the line.
    EXPECT_EQ(text(49.985, 10.005, 400, &d), "<null>");
}

TEST_F(location_text, each_point_gets_a_named_string_in_order) {
    double lats[] = {50.0, 48.0, 50.0095};
    double lons[] = {10.0, 10.0, 10.0};
    auto_ptr_t<kiv::i_object_col> col(kiv::ozm::locations_text(maps.list, lats, lons, 3, 5000));
    ASSERT_TRUE(col);
    ASSERT_EQ(col->get_count(), 3u);
    std::vector<std::pair<std::string, std::string>> got;
    for (unsigned i = 0; i < 3; ++i) {
        auto_ptr_t<kiv::i_object> item(col->get_item_by_pos(i));
        kiv::i_named_string* s = kiv_cast_i_named_string(item.get());
        ASSERT_NE(s, nullptr);
        got.emplace_back(s->get_name(), s->get_value());
    }
    EXPECT_EQ(got[0].second, "River");
    EXPECT_NEAR(std::atof(got[0].first.c_str()), kiv_calc_distance(50.0, 10.0, 50.0, double(10.005f)), 0.5);
    EXPECT_EQ(got[1], std::make_pair(std::string(), std::string()));
    EXPECT_EQ(got[2].second, "Town");
    EXPECT_EQ(kiv::ozm::locations_text(maps.list, nullptr, lons, 3, 5000), nullptr);
}

}  // namespace
