// gis_contract_test.cpp --
//
//     The plain parts of the GIS contract: value-type constructors, the
//     road-lock object drivers hand out, and the interface casts.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/string_impl.h>
#include <kiv/gis/gis_road_lock.h>
#include <kiv/gis/gis_types.h>
#include <kiv/gis/i_gis_driver.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gis/i_gis_viewport.h>

#include <gtest/gtest.h>

using namespace kiv;

TEST(gis_contract, value_types_carry_what_they_are_given) {
    view_point vp = kiv_gis_create_view_point(-3, 7);
    EXPECT_EQ(vp.x, -3);
    EXPECT_EQ(vp.y, 7);
    geo_point gp = kiv_gis_create_geo_point(55.5, -37.25);
    EXPECT_EQ(gp.lat, 55.5);
    EXPECT_EQ(gp.lon, -37.25);
    road_point rp = kiv_gis_create_road_point(1.5, 2.5, 1);
    EXPECT_EQ(rp.lat, 1.5);
    EXPECT_EQ(rp.lon, 2.5);
    EXPECT_EQ(rp.simulated, 1);
}

TEST(gis_contract, empty_road_lock_answers_nothing) {
    auto_ptr_t<gis_road_lock> lock(new gis_road_lock);
    lock->addref();
    road_point pt = kiv_gis_create_road_point(9, 9, 9);
    EXPECT_EQ(lock->get_point_count(), 0u);
    EXPECT_EQ(lock->get_points(), nullptr);
    EXPECT_FALSE(lock->get_point(0, pt));
    EXPECT_EQ(pt.lat, 9.0);  // untouched on failure
    EXPECT_EQ(lock->get_lat(0), 0.0);
    EXPECT_EQ(lock->get_lon(0), 0.0);
    EXPECT_FALSE(lock->is_simulated(0));
}

TEST(gis_contract, road_lock_reads_every_point_and_refuses_past_the_end) {
    gis_road_lock lock;
    lock.points.push_back(kiv_gis_create_road_point(10, 20, 0));
    road_point inserted = kiv_gis_create_road_point(10.5, 20.5, 1);
    inserted.reserved[3] = 0x5a;
    lock.points.push_back(inserted);
    ASSERT_EQ(lock.get_point_count(), 2u);
    road_point pt{};
    ASSERT_TRUE(lock.get_point(1, pt));
    EXPECT_EQ(pt.lat, 10.5);
    EXPECT_EQ(pt.reserved[3], 0x5a);  // the whole point is copied
    EXPECT_EQ(lock.get_lon(0), 20.0);
    EXPECT_FALSE(lock.is_simulated(0));
    EXPECT_TRUE(lock.is_simulated(1));
    EXPECT_EQ(lock.get_points()[1].lon, 20.5);
    EXPECT_FALSE(lock.get_point(2, pt));
    EXPECT_EQ(lock.get_lat(2), 0.0);
    EXPECT_FALSE(lock.is_simulated(0xFFFFFFFFu));
}

TEST(gis_contract, road_lock_copies_own_their_points) {
    gis_road_lock src;
    src.points.push_back(kiv_gis_create_road_point(1, 2, 0));
    gis_road_lock copy(src);
    gis_road_lock assigned;
    assigned.points.push_back(kiv_gis_create_road_point(7, 7, 1));
    assigned = src;
    src.points[0].lat = 99;
    src.points.push_back(kiv_gis_create_road_point(3, 4, 1));
    for (gis_road_lock* lock : {&copy, &assigned}) {
        ASSERT_EQ(lock->get_point_count(), 1u);
        EXPECT_EQ(lock->get_lat(0), 1.0);
        EXPECT_NE(lock->get_points(), src.get_points());
    }
    assigned = assigned;  // self-assignment keeps the points
    EXPECT_EQ(assigned.get_point_count(), 1u);
    EXPECT_EQ(copy.get_ref_count(), 0);  // a copy is a new object
}

TEST(gis_contract, casts_answer_only_their_own_interface) {
    auto_ptr_t<gis_road_lock> lock(new gis_road_lock);
    lock->addref();
    EXPECT_EQ(kiv_cast_i_gis_road_lock(lock), static_cast<i_gis_road_lock*>(lock.get()));
    void* out = &out;
    EXPECT_FALSE(lock->get_interface("i_object", &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(kiv_cast_i_gis_service(lock), nullptr);
    EXPECT_EQ(kiv_cast_i_gis_map(lock), nullptr);
    EXPECT_EQ(kiv_cast_i_gis_driver(lock), nullptr);
    EXPECT_EQ(kiv_cast_i_gis_viewport(lock), nullptr);
    EXPECT_EQ(kiv_cast_i_gis_renderer(lock), nullptr);
    EXPECT_EQ(kiv_cast_i_gis_search_result(lock), nullptr);
    EXPECT_EQ(kiv_cast_i_gis_road_lock(nullptr), nullptr);
    EXPECT_EQ(kiv_cast_i_gis_service(nullptr), nullptr);
    EXPECT_EQ(kiv_cast_i_gis_viewport(nullptr), nullptr);
    // A text object is none of the GIS interfaces either.
    auto_ptr_t<i_string> text(kiv_create_string("x"));
    EXPECT_EQ(kiv_cast_i_gis_road_lock(text), nullptr);
}
