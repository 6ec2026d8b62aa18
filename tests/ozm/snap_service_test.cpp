// snap_service_test.cpp --
//
//     Search, snapping and location texts reached through "svc_gis", as
//     the map view and scripts reach them: a driver that hands its maps
//     to the search functions the way the ozm driver does is registered
//     with the service, which adds its own distance wording and JSON.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/object.h>
#include <kiv/gis/gis_lib.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/ozm/search/location_text.h>
#include <kiv/ozm/search/place_search.h>
#include <kiv/ozm/search/road_snap.h>

#include "../gis/gis_session.h"
#include "search_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace ozm_search_test;

// The driver's side of the calls: its maps by priority, ids resolved by
// load number.
class list_driver : public kiv::object, public kiv::i_named_object_impl, public virtual kiv::i_gis_driver {
public:
    explicit list_driver(const kiv::ozm::map_list& maps) : maps_(maps) { set_name("ozm"); }

    bool get_interface(const char* name, void** out) override {
        if (kiv::answer_interface(name, "i_gis_driver", static_cast<kiv::i_gis_driver*>(this), out))
            return true;
        if (kiv::answer_interface(name, "i_named_object", static_cast<kiv::i_named_object*>(this), out))
            return true;
        return object::get_interface(name, out);
    }
    kiv::i_gis_renderer* create_renderer(kiv::i_gis_viewport*, const char*, const char*) override { return nullptr; }
    char* get_location_text(double lat, double lon, double max_range, double* range) override {
        return kiv::ozm::location_text(maps_, lat, lon, max_range, range);
    }
    kiv::i_object_col* get_locations_text(double* lats, double* lons, unsigned count, double max_range) override {
        return kiv::ozm::locations_text(maps_, lats, lons, count, max_range);
    }
    kiv::i_gis_road_lock* lock_points_to_road(double* lats, double* lons, unsigned count, double max_range,
                                              bool simulate) override {
        return kiv::ozm::lock_points_to_road(maps_, lats, lons, count, max_range, simulate);
    }
    bool lock_point_to_road(double lat, double lon, double max_range, kiv::geo_point& pt) override {
        return kiv::ozm::lock_point_to_road(maps_, lat, lon, max_range, pt);
    }
    kiv::i_gis_search_result* search_cities(const char* name, const char* map_tags) override {
        return kiv::ozm::search_cities(maps_, name, map_tags);
    }
    kiv::i_gis_search_result* search_streets(long long city_id, const char* name) override {
        return kiv::ozm::search_streets(by_id(city_id), city_id, name);
    }
    kiv::i_gis_search_result* search_houses(long long street_id, const char* name) override {
        return kiv::ozm::search_houses(by_id(street_id), street_id, name);
    }
    unsigned get_render_version() override { return 0; }
    kiv::i_object_col* get_maps(const char*) override { return nullptr; }
    const char* get_layers() override { return ""; }

private:
    kiv::ozm_map* by_id(long long id) {
        for (kiv::ozm_map* map : maps_)
            if (map->load_number() == uint32_t(uint64_t(id) >> 32))
                return map;
        return nullptr;
    }
    const kiv::ozm::map_list& maps_;
};

std::string take(char* text) {
    std::string out = text != nullptr ? text : "<null>";
    std::free(text);
    return out;
}

class ThroughTheService : public ::testing::Test {
protected:
    void SetUp() override {
        w::map_writer writer = writer_named("Town map");
        writer.add_feature(straight_road(50.0f, 10.0f, 0, 0.001f, 10));
        writer.add_feature(place_point(50.01f, 10.0f, "Town"));
        writer.add_city(w::city{"Новгород", {50.01f, 10.0f}, {w::street{"Садовая", {50.0f, 10.001f}, {}}}});
        maps.add(writer, "town.ozm", 6);
        driver = new list_driver(maps.list);
        driver->addref();
        ASSERT_TRUE(session.svc->add_driver(driver));
    }
    void TearDown() override {
        session.svc->remove_driver(driver);
        driver->release();
    }

    kiv_test::gis_session session;
    loaded_maps maps;
    list_driver* driver = nullptr;
};

TEST_F(ThroughTheService, LocationsAreWordedWithTheirDistanceBeyond100Metres) {
    kiv::i_gis_service* gis = session.svc.get();
    // Town is 1112 m north of (50.0, 10.0) and 56 m north of (50.0095, 10.0).
    EXPECT_EQ(take(gis->get_location_text("", 50.0, 10.0, 5000, "from")), "1.11 from Town");
    EXPECT_EQ(take(gis->get_location_text("", 50.0095, 10.0, 5000, "from")), "Town");
    EXPECT_EQ(take(gis->get_location_text("", 50.0, 10.0, 1000, "from")), "<null>");
    EXPECT_EQ(take(kiv_gis_get_loc_text(50.0, 10.0, 5000, "от")), "1.11 от Town");

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
}

TEST_F(ThroughTheService, TracksAndPointsSnapToTheRoads) {
    kiv::i_gis_service* gis = session.svc.get();
    kiv::geo_point pt{0, 0};
    ASSERT_TRUE(gis->lock_point_to_road("", 50.0002, 10.0042, 0, pt));
    EXPECT_NEAR(pt.lat, 50.0, 1e-6);
    EXPECT_NEAR(pt.lon, 10.0042, 1e-6);

    double lats[] = {50.0001, 50.0001};
    double lons[] = {10.0005, 10.0035};
    auto_ptr_t<kiv::i_gis_road_lock> lock(gis->lock_points_to_road("", lats, lons, 2, 30, true));
    ASSERT_TRUE(lock);
    ASSERT_EQ(lock->get_point_count(), 5u);
    const bool simulated[] = {false, true, true, true, false};
    for (unsigned i = 0; i < 5; ++i)
        EXPECT_EQ(lock->is_simulated(i), simulated[i]) << i;
    EXPECT_NEAR(lock->get_lon(2), 10.002, 1e-6);
}

TEST_F(ThroughTheService, SearchLevelsFollowTheIdsAndGiveTheirJson) {
    kiv::i_gis_service* gis = session.svc.get();
    auto_ptr_t<kiv::i_gis_search_result> cities(gis->search_cities("", "нов", ""));
    ASSERT_TRUE(cities);
    ASSERT_EQ(cities->get_count(), 1u);
    EXPECT_EQ(cities->get_result_id(), 6LL << 32);
    auto_ptr_t<kiv::i_gis_search_result> streets(gis->search_streets("", cities->get_result_id(), "сад"));
    ASSERT_TRUE(streets);
    EXPECT_EQ(take(kiv_gis_get_search_result_json(streets.get())),
              "[{id:25769803776,text:\"Садовая\",lat:50.000000,lon:10.001000}]");
    // An id of a map no longer loaded finds nothing.
    EXPECT_EQ(gis->search_streets("", 7LL << 32, ""), nullptr);
}

}  // namespace
