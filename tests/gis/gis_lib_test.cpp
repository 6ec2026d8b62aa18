// gis_lib_test.cpp --
//
//     The library's face: the loader protocol and the entry (loaded
//     through a configuration, pulling in kiv_image, kiv_http and
//     kiv_zip; left uninitialised when one cannot load), and the flat
//     functions: coordinate lists given as text, the search-result JSON,
//     location text and maps state through "svc_gis", and what each
//     gives without the service or with bad arguments.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/config.h>
#include <kiv/core/files.h>
#include <kiv/gis/gis_lib.h>
#include <kiv/image/i_image.h>

#include "drawing_driver.h"
#include "gis_fakes.h"
#include "gis_session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace kiv;
using namespace kiv_test;

namespace {

// Takes over a malloc-ed text; "<null>" stands for null.
std::string take_text(char* text) {
    std::string out = text != nullptr ? text : "<null>";
    std::free(text);
    return out;
}

// A search result over fixed items; an item may lack its text or point.
class fixed_result : public object, public i_gis_search_result {
public:
    struct item {
        long long id;
        const char* text;  // null: get_result_text gives null
        double lat, lon;
        bool has_point;
    };
    explicit fixed_result(std::vector<item> items) : items_(std::move(items)) {}
    bool get_interface(const char* name, void** out) override {
        if (answer_interface(name, "i_gis_search_result", static_cast<i_gis_search_result*>(this), out))
            return true;
        return object::get_interface(name, out);
    }
    unsigned get_count() override { return static_cast<unsigned>(items_.size()); }
    bool next() override { return ++pos_ < items_.size(); }
    bool is_valid() override { return pos_ < items_.size(); }
    bool first() override {
        pos_ = 0;
        return is_valid();
    }
    bool at(unsigned index) override {
        pos_ = index;
        return is_valid();
    }
    const char* get_result_text() override { return is_valid() ? items_[pos_].text : nullptr; }
    bool get_result_point(geo_point& pt) override {
        if (!is_valid() || !items_[pos_].has_point)
            return false;
        pt.lat = items_[pos_].lat;
        pt.lon = items_[pos_].lon;
        return true;
    }
    double get_result_lat() override { return is_valid() ? items_[pos_].lat : 0; }
    double get_result_lon() override { return is_valid() ? items_[pos_].lon : 0; }
    long long get_result_id() override { return is_valid() ? items_[pos_].id : 0; }

private:
    std::vector<item> items_;
    size_t pos_ = 0;  // the cursor; items_.size() when past the end
};

std::string result_json(std::vector<fixed_result::item> items) {
    fixed_result* r = new fixed_result(std::move(items));
    r->addref();
    auto_ptr_t<fixed_result> held(r);
    return take_text(kiv_gis_get_search_result_json(r));
}

// The points of a road lock as "lat lon|lat lon", or "<null>".
std::string points_of(i_gis_road_lock* lock) {
    if (lock == nullptr)
        return "<null>";
    std::string out;
    for (unsigned i = 0; i < lock->get_point_count(); ++i) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%s%g %g", i == 0 ? "" : "|", lock->get_lat(i), lock->get_lon(i));
        out += buf;
    }
    lock->release();
    return out;
}

TEST(gis_library, names_itself_and_its_version) {
    EXPECT_STREQ(kiv_library_name(), "kiv_gis");
    EXPECT_STREQ(kiv_library_version(), "3.8.0045");
}

// This program links kiv_gis before the core, so kiv_library_entry by
// name is kiv_gis's: a session that enters the core must not run it.
TEST(gis_library, a_session_that_enters_the_core_runs_the_core_entry_not_the_one_linked_first) {
    core_session session;
    ASSERT_TRUE(session.started);
    auto_ptr_t<i_object> events(kiv_core()->get_service("svc_event"));
    EXPECT_TRUE(events);
    auto_ptr_t<i_object> gis(kiv_core()->get_service("svc_gis"));
    EXPECT_FALSE(gis);
}

TEST(gis_library, loads_through_a_configuration_with_the_libraries_it_needs) {
    core_session session(false);
    ASSERT_TRUE(session.started);
    std::string fonts = session.root.file("fonts");
    ASSERT_EQ(mkdir(fonts.c_str(), 0700), 0);
    scoped_env font_path("KIV_FONT_PATH", fonts.c_str());
    scoped_env cache_path("KIV_GIS_CACHE_PATH", session.root.file("cache").c_str());
    std::string path = kiv_get_env("PATH");
    scoped_env search("PATH", (bin_dir() + ":" + path).c_str());
    std::ofstream(session.root.file("config.xml"))
        << "<config><libraries>"
           "<library path='" << bin_dir() << "/kiv_core.so' priority='100' platform=''/>"
           "<library path='" << bin_dir() << "/kiv_gis.so' priority='50' platform=''/>"
           "</libraries></config>";
    ASSERT_TRUE(kiv_load_config("config.xml"));
    for (const char* name : {"kiv_gis", "kiv_image", "kiv_http", "kiv_zip"})
        EXPECT_TRUE(kiv_library_loaded(name)) << name;
    EXPECT_TRUE(kiv_library_initialized());
    auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_gis"));
    ASSERT_NE(kiv_cast_i_gis_service(svc), nullptr);
    // The core's registry and ours are the only references.
    EXPECT_EQ(svc->addref(), 3);
    EXPECT_EQ(svc->release(), 2);
    // The entry made the cache root.
    EXPECT_TRUE(kiv_dir_exists(session.root.file("cache").c_str()));
}

TEST(gis_library, stays_uninitialised_when_a_library_it_needs_does_not_load) {
    struct row {
        const char* what;
        bool search_bin;   // the output folder is on PATH
        bool font_folder;  // KIV_FONT_PATH names a folder (kiv_image needs it)
    };
    for (const row& r : {row{"kiv_image not found", false, true}, row{"kiv_image uninitialised", true, false}}) {
        SCOPED_TRACE(r.what);
        {
        core_session session(false);
        ASSERT_TRUE(session.started);
        ASSERT_NE(kiv_core()->load_library((bin_dir() + "/kiv_core.so").c_str()), nullptr);
        std::string fonts = session.root.file("fonts");
        ASSERT_EQ(mkdir(fonts.c_str(), 0700), 0);
        scoped_env font_path("KIV_FONT_PATH", r.font_folder ? fonts.c_str() : nullptr);
        std::string path = kiv_get_env("PATH");
        scoped_env search("PATH", r.search_bin ? (bin_dir() + ":" + path).c_str() : "/nonexistent");
        kiv_library_entry();
        EXPECT_FALSE(kiv_library_initialized());
        auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_gis"));
        EXPECT_FALSE(svc);
        }
        if (r.font_folder) {
            // A later entry that finds everything makes it usable again.
            // (Not after kiv_image's own entry failed: that library then
            // stays unusable for the life of the process.)
            gis_session again;
            EXPECT_TRUE(kiv_library_initialized());
        }
    }
}

TEST(gis_library, coordinate_lists_pair_their_numbers_or_give_null) {
    gis_session session;
    auto ozm = make_driver("ozm");
    ASSERT_TRUE(session.svc->add_driver(ozm));
    const std::string long_item(128, '1');
    struct row {
        std::string lats, lons;
        unsigned count;
        const char* expected;  // the pairs the driver got, or "<null>"
    };
    const row rows[] = {
        {"1,2,3", "4,5", 3, "<null>"},
        {"1,2,3", "4,5", 2, "1 4|2 5"},
        {",,1,,2,", "3,,4", 2, "1 3|2 4"},
        {" 1.5e1,abc,7x", "-2,3,.5", 3, "15 -2|0 3|7 0.5"},
        {"1,2", "3,4", 4000000000u, "<null>"},
        {"", "1", 1, "<null>"},
        {"1," + long_item + ",2", "3,4,5", 2, "<null>"},
        {"1," + long_item + ",2", "3,4,5", 1, "1 3"},
        {"1,2", "3,4", 0, "<null>"},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.lats + " / " + r.lons + " / " + std::to_string(r.count));
        EXPECT_EQ(points_of(kiv_gis_lock_points_to_road("", r.lats.c_str(), r.lons.c_str(), r.count, 25, false)),
                  r.expected);
    }
    EXPECT_EQ(ozm->last_range, 25);
    EXPECT_EQ(points_of(kiv_gis_lock_points_to_road(nullptr, "1", "2", 1, 0, false)), "<null>");
    EXPECT_EQ(points_of(kiv_gis_lock_points_to_road("", nullptr, "2", 1, 0, false)), "<null>");
    EXPECT_EQ(points_of(kiv_gis_lock_points_to_road("", "1", nullptr, 1, 0, false)), "<null>");
    // Nothing reached the driver for the refused lists.
    size_t locks = 0;
    for (const std::string& call : ozm->calls)
        locks += call == "lock_points_to_road";
    EXPECT_EQ(locks, 4u);

    // The same lists for location texts.
    ozm->places.reset(new object_col);
    ozm->places->addref();
    ozm->calls.clear();
    EXPECT_EQ(kiv_gis_get_locations_text("", "1,2,3", "4,5", 3, 50, "from"), nullptr);
    EXPECT_TRUE(ozm->calls.empty());
    auto_ptr_t<i_object_col> texts(kiv_gis_get_locations_text("ozm", "1,2,3", "4,5", 2, 50, "from"));
    ASSERT_TRUE(texts);
    EXPECT_EQ(ozm->last_count, 2u);
    EXPECT_EQ(ozm->last_lat, 1.0);
    EXPECT_EQ(ozm->last_range, 50);
    EXPECT_EQ(kiv_gis_get_locations_text("ozm", "1", "2", 1, 50, nullptr), nullptr);
    EXPECT_EQ(kiv_gis_get_locations_text(nullptr, "1", "2", 1, 50, ""), nullptr);
}

TEST(gis_library, search_result_json_lists_every_item_in_order) {
    EXPECT_EQ(result_json({{4294967303LL, "Main \"St\"", 1.5, 2.25, true}}),
              "[{id:4294967303,text:\"Main \\\"St\\\"\",lat:1.500000,lon:2.250000}]");
    EXPECT_EQ(result_json({}), "[]");
    EXPECT_EQ(result_json({{1, "a", 0, 0, true}, {-2, "b\\c", -1.25, 3, true}}),
              "[{id:1,text:\"a\",lat:0.000000,lon:0.000000},{id:-2,text:\"b\\\\c\",lat:-1.250000,lon:3.000000}]");
    // An item without its text or point spoils the whole result.
    EXPECT_EQ(result_json({{1, "a", 0, 0, true}, {2, nullptr, 0, 0, true}}), "<null>");
    EXPECT_EQ(result_json({{1, "a", 0, 0, false}}), "<null>");
    EXPECT_EQ(take_text(kiv_gis_get_search_result_json(nullptr)), "<null>");
}

TEST(gis_library, flat_functions_reach_the_default_driver_through_the_service) {
    gis_session session;
    auto ozm = make_driver("ozm");
    ASSERT_TRUE(session.svc->add_driver(ozm));
    ozm->place = "Town";
    ozm->place_range = 1500;
    EXPECT_EQ(take_text(kiv_gis_get_loc_text(1, 2, 3, "from")), "1.50 from Town");
    EXPECT_EQ(ozm->last_lat, 1);
    EXPECT_EQ(ozm->last_lon, 2);
    EXPECT_EQ(ozm->last_range, 3);
    EXPECT_EQ(take_text(kiv_gis_get_loc_text(1, 2, 3, nullptr)), "<null>");
    ozm->add_map(new fake_map("m", "t", "c", 1, false));
    EXPECT_EQ(take_text(kiv_gis_get_maps_state()), "{maps:[{n:\"m\",t:\"t\",c:\"c\",v:1,e:null}]}");
}

TEST(gis_library, images_need_a_viewport_texts_and_a_computable_view) {
    gis_session session;
    auto drawer = make_drawing_driver("ozm", 1);
    ASSERT_TRUE(session.svc->add_driver(drawer));
    auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(20, 10));
    ASSERT_TRUE(vp);
    EXPECT_EQ(kiv_gis_get_image(vp, "", "", false), nullptr);  // no scale yet
    ASSERT_TRUE(vp->set_center(10, 20, 50000));
    EXPECT_EQ(kiv_gis_get_image(nullptr, "", "", false), nullptr);
    EXPECT_EQ(kiv_gis_get_image(vp, nullptr, "", false), nullptr);
    EXPECT_EQ(kiv_gis_get_image(vp, "", nullptr, false), nullptr);
    auto_ptr_t<i_image> img(kiv_gis_get_image(vp));
    ASSERT_TRUE(img);
    EXPECT_EQ(img->get_width(), 20u);
    EXPECT_EQ(img->get_height(), 10u);
    EXPECT_EQ(kiv_gis_create_viewport(0, 100), nullptr);
}

TEST(gis_library, without_the_service_every_function_gives_null) {
    ASSERT_EQ(kiv_core(), nullptr);
    auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(10, 10));
    ASSERT_TRUE(vp->set_center(0, 0, 1000));
    EXPECT_EQ(kiv_gis_get_image(vp, "", "", true), nullptr);
    EXPECT_EQ(kiv_gis_get_loc_text(0, 0, 10, ""), nullptr);
    EXPECT_EQ(kiv_gis_get_locations_text("", "1", "2", 1, 10, ""), nullptr);
    EXPECT_EQ(kiv_gis_lock_points_to_road("", "1", "2", 1, 10, false), nullptr);
    EXPECT_EQ(kiv_gis_get_maps_state(), nullptr);
    // The entry without a core registers nothing and reports it.
    kiv_library_entry();
    EXPECT_FALSE(kiv_library_initialized());
}

}  // namespace
