// ozm_driver_search_test.cpp --
//
//     The driver's searches, snapping and location texts through
//     "svc_gis": maps loaded by the driver from its folder, ids that lead
//     from a city to its streets, an id of a map that was reloaded since,
//     hidden maps that searches leave out unless named but snapping
//     uses, the service's distance wording and flat functions, and the
//     distances in the driver's location names under a decimal comma
//     locale.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/c_locale.h>
#include <kiv/core/i_string.h>
#include <kiv/gis/geodesic.h>
#include <kiv/gis/gis_lib.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/ozm_writer/map_writer.h>

#include "driver/ozm_driver.h"
#include "driver_test_support.h"
#include "gis_service_session.h"

#include <kiv_test/made_locale.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

namespace {

namespace w = kiv::ozm_writer;

std::string take(char* text) {
    std::string out = text != nullptr ? text : "<null>";
    std::free(text);
    return out;
}

// A town at 50°N 10°E: a road east along 50.0 with a vertex every
// 0.001°, the place "Town" 0.01° north, and the city `city` with one
// street.
void write_town(const std::string& path, const char* name, uint8_t priority, uint32_t flags, const char* city,
                const char* street) {
    w::map_info info;
    info.name = name;
    info.tags = "town";
    info.priority = priority;
    info.flags = flags;
    w::map_writer writer(info);
    w::feature road;
    road.code = 10;
    road.flags = 0x40;
    for (int i = 0; i <= 10; ++i)
        road.points.push_back({50.0f, 10.0f + 0.001f * float(i)});
    road.anchor = road.points[0];
    writer.add_feature(road);
    w::feature town;
    town.code = 20;
    town.flags = 0x01;
    town.anchor = {50.01f, 10.0f};
    town.place = "Town";
    writer.add_feature(town);
    writer.add_city(w::city{city, {50.01f, 10.0f}, {w::street{street, {50.0f, 10.001f}, {}}}});
    std::string error;
    ASSERT_TRUE(writer.write(path, error)) << error;
}

class driver_search : public ::testing::Test {
protected:
    void SetUp() override {
        write_town(folder.map_path("a.ozm"), "A", 1, 0, "Новгород", "Садовая");
        write_town(folder.map_path("b.ozm"), "B", 2, 0, "Новгород", "Другая");
        folder.add_layer("roads.xml", kiv_test::layer_text("roads", 1));
        driver = kiv_test::start_driver(folder);
        ASSERT_TRUE(driver);
        ASSERT_TRUE(session.svc->add_driver(driver.get()));
    }
    void TearDown() override {
        if (driver)
            session.svc->remove_driver(driver.get());
    }

    ozm_search_test::gis_service_session session;
    kiv_test::driver_folder folder;
    auto_ptr_t<kiv::ozm_driver> driver;
};

TEST_F(driver_search, a_city_from_the_lower_priority_map_leads_to_its_streets) {
    kiv::i_gis_service* gis = session.svc.get();
    auto_ptr_t<kiv::i_gis_search_result> cities(gis->search_cities("ozm", "нов", ""));
    ASSERT_TRUE(cities);
    ASSERT_EQ(cities->get_count(), 1u);
    auto_ptr_t<kiv::i_gis_search_result> streets(gis->search_streets("", cities->get_result_id(), ""));
    ASSERT_TRUE(streets);
    ASSERT_EQ(streets->get_count(), 1u);
    EXPECT_STREQ(streets->get_result_text(), "Садовая");
    EXPECT_EQ(take(kiv_gis_get_search_result_json(cities.get())),
              "[{id:" + std::to_string(cities->get_result_id()) + ",text:\"Новгород\",lat:50.009998,lon:10.000000}]");
    // No map has load number 999.
    EXPECT_EQ(gis->search_streets("", 999LL << 32, ""), nullptr);
    // A filter naming only B's tag... both carry "town"; excluding it leaves nothing.
    auto_ptr_t<kiv::i_gis_search_result> none(gis->search_cities("", "", "-town"));
    ASSERT_TRUE(none);
    EXPECT_EQ(none->get_count(), 0u);
}

TEST_F(driver_search, an_id_of_a_reloaded_map_finds_nothing) {
    kiv::i_gis_service* gis = session.svc.get();
    auto_ptr_t<kiv::i_gis_search_result> cities(gis->search_cities("", "", ""));
    ASSERT_TRUE(cities);
    long long id = cities->get_result_id();
    // A changed header makes the rescan load the map again under a new number.
    write_town(folder.map_path("a.ozm"), "A2", 1, 0, "Новгород", "Садовая");
    ASSERT_TRUE(driver->load_maps(false));
    EXPECT_EQ(gis->search_streets("", id, ""), nullptr);
    // The old result still shows its texts: it keeps its map.
    EXPECT_STREQ(cities->get_result_text(), "Новгород");
    auto_ptr_t<kiv::i_gis_search_result> again(gis->search_cities("", "", ""));
    ASSERT_TRUE(again);
    auto_ptr_t<kiv::i_gis_search_result> streets(gis->search_streets("", again->get_result_id(), ""));
    ASSERT_TRUE(streets);
    EXPECT_EQ(streets->get_count(), 1u);
}

TEST_F(driver_search, distances_in_location_names_keep_their_point_under_a_decimal_comma_locale) {
    // A host's GUI toolkit may switch LC_NUMERIC after start; the driver's
    // names are numbers that the service reads back.
    kiv_test::scoped_locale german(LC_NUMERIC, "de_DE.UTF-8");
    ASSERT_EQ(german.why(), "");
    ASSERT_EQ(kiv_test::decimal_text(1.5), "1,5") << "the made locale writes a decimal comma";
    double lats[] = {50.0, 50.0095};
    double lons[] = {10.0, 10.0};
    auto_ptr_t<kiv::i_object_col> places(driver->get_locations_text(lats, lons, 2, 5000));
    ASSERT_TRUE(places);
    ASSERT_EQ(places->get_count(), 2u);
    // Distances to the place's anchor, as the driver measures them.
    const double metres[] = {kiv_calc_distance(50.0, 10.0, 50.01f, 10.0f),
                             kiv_calc_distance(50.0095, 10.0, 50.01f, 10.0f)};
    for (unsigned i = 0; i < 2; ++i) {
        auto_ptr_t<kiv::i_object> item(places->get_item_by_pos(i));
        kiv::i_named_string* place = kiv_cast_i_named_string(item.get());
        ASSERT_NE(place, nullptr);
        const std::string name = place->get_name();
        EXPECT_TRUE(std::regex_match(name, std::regex("[0-9]+\\.[0-9]{6}"))) << name;
        EXPECT_NEAR(kiv::c_strtod(name.c_str(), nullptr), metres[i], 1e-6) << name;
    }
    EXPECT_EQ(take(session.svc->get_location_text("", 50.0, 10.0, 5000, "from")), "1.11 from Town");
}

TEST_F(driver_search, locations_are_worded_and_tracks_snap_through_the_service) {
    kiv::i_gis_service* gis = session.svc.get();
    EXPECT_EQ(take(gis->get_location_text("", 50.0, 10.0, 5000, "from")), "1.11 from Town");
    EXPECT_EQ(take(kiv_gis_get_loc_text(50.0095, 10.0, 5000, "from")), "Town");
    double lats[] = {50.0, 40.0, 50.0095};
    double lons[] = {10.0, 10.0, 10.0};
    auto_ptr_t<kiv::i_object_col> col(gis->get_locations_text("", lats, lons, 3, 5000, "from"));
    ASSERT_TRUE(col);
    ASSERT_EQ(col->get_count(), 3u);
    const char* want[] = {"1.11 from Town", "", "Town"};
    for (unsigned i = 0; i < 3; ++i) {
        auto_ptr_t<kiv::i_object> item(col->get_item_by_pos(i));
        kiv::i_string* s = kiv_cast_i_string(item.get());
        ASSERT_NE(s, nullptr);
        EXPECT_STREQ(s->get_value(), want[i]) << i;
    }
    kiv::geo_point pt{0, 0};
    ASSERT_TRUE(gis->lock_point_to_road("", 50.0002, 10.0042, 0, pt));
    EXPECT_NEAR(pt.lat, 50.0, 1e-6);
    EXPECT_NEAR(pt.lon, 10.0042, 1e-6);
    auto_ptr_t<kiv::i_gis_road_lock> lock(
        kiv_gis_lock_points_to_road("", "50.0001,50.0001", "10.0005,10.0035", 2, 30, true));
    ASSERT_TRUE(lock);
    ASSERT_EQ(lock->get_point_count(), 5u);
    for (unsigned i = 0; i < 5; ++i)
        EXPECT_EQ(lock->is_simulated(i), i != 0 && i != 4) << i;
}

}  // namespace
