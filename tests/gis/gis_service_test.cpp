// gis_service_test.cpp --
//
//     The service "svc_gis" with stand-in drivers: which driver a request
//     reaches (named, default, unknown, none), the registry's rules, the
//     distance wording of location texts, the maps-state JSON and its
//     cache, and that no request leaks a driver reference.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/string_impl.h>
#include <kiv/gis/i_gis_service.h>

#include "gis_session.h"
#include "gis_fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>

using namespace kiv;
using kiv_test::fake_driver;
using kiv_test::fake_map;
using kiv_test::make_driver;

namespace {

// Takes over a malloc-ed text; "<null>" stands for null.
std::string take_text(char* text) {
    std::string out = text != nullptr ? text : "<null>";
    std::free(text);
    return out;
}

using kiv_test::gis_session;
using kiv_test::scoped_env;

TEST(gis_service, first_driver_added_becomes_the_default_and_takes_unknown_names) {
    gis_session session;
    auto& svc = session.svc;
    auto ozm = make_driver("ozm");
    auto gwx = make_driver("gwx");
    EXPECT_STREQ(svc->get_default_driver(), "");
    ASSERT_TRUE(svc->add_driver(ozm));
    ASSERT_TRUE(svc->add_driver(gwx));
    EXPECT_STREQ(svc->get_default_driver(), "ozm");

    auto_ptr_t<i_object_col> a(svc->get_maps("", "t1"));
    auto_ptr_t<i_object_col> b(svc->get_maps("no such driver", "t2"));
    auto_ptr_t<i_object_col> c(svc->get_maps("gwx", "t3"));
    auto_ptr_t<i_object_col> d(svc->get_maps(nullptr, "t4"));
    EXPECT_TRUE(a && b && c);
    EXPECT_FALSE(d);
    EXPECT_EQ(ozm->calls, (std::vector<std::string>{"get_maps t1", "get_maps t2"}));
    EXPECT_EQ(gwx->calls, (std::vector<std::string>{"get_maps t3"}));

    auto_ptr_t<i_object_col> drivers(svc->get_drivers());
    ASSERT_EQ(drivers->get_count(), 2u);
    auto_ptr_t<i_object> first(drivers->get_item_by_pos(0));
    EXPECT_EQ(kiv_cast_i_gis_driver(first), static_cast<i_gis_driver*>(ozm.get()));
}

TEST(gis_service, layers_text_outlives_the_driver_that_lent_it) {
    gis_session session;
    auto& svc = session.svc;
    const char* text = nullptr;
    {
        auto gwx = make_driver("gwx");
        ASSERT_TRUE(svc->add_driver(gwx));
        text = svc->get_layers("gwx");
        ASSERT_TRUE(svc->remove_driver(gwx));
    }  // the driver and its own text are gone
    EXPECT_STREQ(text, "roads,water");
    // The same text again is the same copy.
    auto ozm = make_driver("ozm");
    ASSERT_TRUE(svc->add_driver(ozm));
    EXPECT_EQ(svc->get_layers("ozm"), text);
}

TEST(gis_service, default_from_the_environment_is_kept_whatever_comes_first) {
    scoped_env env("KIV_GIS_DEFAULT_DRIVER", "gwx");
    gis_session session;
    auto& svc = session.svc;
    auto ozm = make_driver("ozm");
    ASSERT_TRUE(svc->add_driver(ozm));
    EXPECT_STREQ(svc->get_default_driver(), "gwx");
    // The default names no registered driver yet: "" finds nothing.
    EXPECT_EQ(svc->get_maps("", ""), nullptr);
    EXPECT_EQ(svc->get_layers(""), nullptr);
    EXPECT_TRUE(ozm->calls.empty());
    auto gwx = make_driver("gwx");
    ASSERT_TRUE(svc->add_driver(gwx));
    EXPECT_STREQ(svc->get_layers(""), "roads,water");
    EXPECT_EQ(gwx->calls, (std::vector<std::string>{"get_layers"}));
}

TEST(gis_service, registry_refuses_duplicates_and_null_and_removes_by_pointer) {
    gis_session session;
    auto& svc = session.svc;
    auto first = make_driver("ozm");
    auto second = make_driver("ozm");
    auto other = make_driver("OZM");  // names are case-sensitive
    EXPECT_FALSE(svc->add_driver(nullptr));
    ASSERT_TRUE(svc->add_driver(first));
    EXPECT_FALSE(svc->add_driver(second));
    EXPECT_FALSE(svc->add_driver(first));
    EXPECT_TRUE(svc->add_driver(other));
    auto_ptr_t<i_gis_driver> found(svc->get_driver_by_name("ozm"));
    EXPECT_EQ(found.get(), static_cast<i_gis_driver*>(first.get()));
    EXPECT_EQ(second->get_ref_count(), 1);  // the refused one is not held
    EXPECT_EQ(svc->get_driver_by_name(nullptr), nullptr);
    EXPECT_EQ(svc->get_driver_by_name("gwx"), nullptr);

    EXPECT_FALSE(svc->remove_driver(nullptr));
    EXPECT_TRUE(svc->remove_driver(second));  // never registered: ignored
    EXPECT_TRUE(svc->remove_driver(first));
    EXPECT_EQ(svc->get_driver_by_name("ozm"), nullptr);
    EXPECT_STREQ(svc->get_default_driver(), "ozm");  // left as it was
    EXPECT_EQ(svc->get_maps("", ""), nullptr);
    EXPECT_EQ(first->get_ref_count(), 2);  // ours and `found`
    // The default moves only when asked.
    EXPECT_TRUE(svc->set_default_driver("OZM"));
    EXPECT_STREQ(svc->get_default_driver(), "OZM");
    EXPECT_FALSE(svc->set_default_driver(nullptr));
}

TEST(gis_service, every_operation_reaches_the_chosen_driver_with_its_arguments) {
    gis_session session;
    auto& svc = session.svc;
    auto ozm = make_driver("ozm");
    auto gwx = make_driver("gwx");
    ASSERT_TRUE(svc->add_driver(ozm));
    ASSERT_TRUE(svc->add_driver(gwx));
    auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(10, 10));

    auto_ptr_t<i_gis_renderer> r(svc->create_renderer("gwx", vp, "L", "T"));
    EXPECT_EQ(r.get(), static_cast<i_gis_renderer*>(gwx->renderer.get()));
    EXPECT_EQ(gwx->last_vp, vp.get());
    EXPECT_EQ(svc->get_image("gwx", vp, "L2", "T2", true), nullptr);
    EXPECT_EQ(gwx->renderer->renders, 1);
    EXPECT_TRUE(gwx->renderer->last_allow_cache);

    double lats[2] = {1, 2}, lons[2] = {3, 4};
    auto_ptr_t<i_gis_road_lock> lock(svc->lock_points_to_road("gwx", lats, lons, 2, 25, true));
    ASSERT_TRUE(lock);
    EXPECT_EQ(lock->get_point_count(), 2u);
    EXPECT_EQ(lock->get_lon(1), 4);
    EXPECT_TRUE(lock->is_simulated(0));
    EXPECT_EQ(gwx->last_range, 25);
    EXPECT_EQ(svc->lock_points_to_road("gwx", lats, lons, 0, 25, true), nullptr);
    EXPECT_EQ(svc->lock_points_to_road("gwx", nullptr, lons, 2, 25, true), nullptr);
    EXPECT_EQ(svc->lock_points_to_road("gwx", lats, nullptr, 2, 25, true), nullptr);

    geo_point pt{0, 0};
    EXPECT_TRUE(svc->lock_point_to_road("gwx", 10, 20, 30, pt));
    EXPECT_EQ(pt.lat, 11);
    EXPECT_EQ(pt.lon, 21);
    EXPECT_FALSE(svc->lock_point_to_road(nullptr, 10, 20, 30, pt));

    EXPECT_EQ(svc->search_cities("gwx", "Kazan", "ru"), nullptr);
    EXPECT_EQ(svc->search_streets("gwx", 0x100000002LL, "Main"), nullptr);
    EXPECT_EQ(gwx->last_id, 0x100000002LL);
    EXPECT_EQ(svc->search_houses("gwx", -5, "12"), nullptr);
    EXPECT_EQ(gwx->last_id, -5);
    EXPECT_STREQ(svc->get_layers("gwx"), "roads,water");
    EXPECT_EQ(gwx->calls, (std::vector<std::string>{"create_renderer L T", "create_renderer L2 T2",
                                                    "lock_points_to_road", "lock_point_to_road",
                                                    "search_cities Kazan ru", "search_streets Main",
                                                    "search_houses 12", "get_layers"}));
    EXPECT_TRUE(ozm->calls.empty());
    // Every request released the driver it took: only the registry and
    // the test hold them now.
    EXPECT_EQ(gwx->get_ref_count(), 2);
    EXPECT_EQ(ozm->get_ref_count(), 2);
}

TEST(gis_service, location_text_words_far_places_only) {
    gis_session session;
    auto& svc = session.svc;
    auto ozm = make_driver("ozm");
    ASSERT_TRUE(svc->add_driver(ozm));
    struct {
        const char* place;
        double range;
        const char* joiner;
        const char* expected;
    } cases[] = {
        {"Town", 1500, "from", "1.50 from Town"},
        {"Town", 80, "from", "Town"},
        {"Town", 100, "from", "Town"},  // 100 m is still "at" the place
        {"Town", 100.5, "from", "0.10 from Town"},
        {"Town", 1500, "", "Town"},
        {"Town", 1500, nullptr, "<null>"},
        {"", 1500, "from", ""},
        {nullptr, 1500, "from", "<null>"},
        {"Long \"quoted\" name", 123456.789, "km from", "123.46 km from Long \"quoted\" name"},
    };
    for (const auto& c : cases) {
        ozm->place = c.place;
        ozm->place_range = c.range;
        EXPECT_EQ(take_text(svc->get_location_text("", 55.1, 37.2, 5000, c.joiner)), c.expected)
            << (c.place ? c.place : "null") << " " << c.range;
    }
    EXPECT_EQ(ozm->last_lat, 55.1);
    EXPECT_EQ(ozm->last_lon, 37.2);
    EXPECT_EQ(ozm->last_range, 5000);
    EXPECT_EQ(take_text(svc->get_location_text(nullptr, 1, 1, 1, "from")), "<null>");
}

TEST(gis_service, location_texts_of_a_polyline_are_worded_one_by_one) {
    gis_session session;
    auto& svc = session.svc;
    auto ozm = make_driver("ozm");
    ASSERT_TRUE(svc->add_driver(ozm));
    ozm->places.reset(new object_col);
    ozm->places->addref();
    auto add = [&](i_object* item) {
        item->addref();
        ozm->places->add_item(item, false);
        item->release();
    };
    add(new named_string("1500.000000", "Town"));
    add(new named_string("80.000000", "Village"));
    add(new string("not a named string"));
    add(new named_string("2500.000000", ""));
    add(new named_string("not a number", "Hamlet"));
    add(new named_string("12345678.5", "Far away"));

    double lats[3] = {1, 2, 3}, lons[3] = {4, 5, 6};
    auto_ptr_t<i_object_col> texts(svc->get_locations_text("", lats, lons, 3, 700, "from"));
    ASSERT_TRUE(texts);
    std::vector<std::string> values;
    for (unsigned i = 0; i < texts->get_count(); ++i) {
        auto_ptr_t<i_object> item(texts->get_item_by_pos(i));
        i_string* s = kiv_cast_i_string(item);
        values.push_back(s != nullptr ? s->get_value() : "?");
    }
    EXPECT_EQ(values, (std::vector<std::string>{"1.50 from Town", "Village", "", "Hamlet",
                                                "12345.68 from Far away"}));
    EXPECT_EQ(ozm->last_count, 3u);
    EXPECT_EQ(ozm->last_range, 700);

    auto_ptr_t<i_object_col> plain(svc->get_locations_text("", lats, lons, 3, 700, ""));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->get_count(), 5u);
    EXPECT_EQ(svc->get_locations_text("", lats, lons, 3, 700, nullptr), nullptr);
    EXPECT_EQ(svc->get_locations_text("", nullptr, lons, 3, 700, "from"), nullptr);
    ozm->places.reset();
    EXPECT_EQ(svc->get_locations_text("", lats, lons, 3, 700, "from"), nullptr);
}

TEST(gis_service, maps_state_is_sorted_json_built_once_per_render_version) {
    gis_session session;
    auto& svc = session.svc;
    EXPECT_EQ(take_text(svc->get_maps_state()), "<null>");  // no driver
    auto ozm = make_driver("ozm");
    ASSERT_TRUE(svc->add_driver(ozm));
    ozm->add_map(new fake_map("b", "x", "(c)", 2, true, {10, 20}, {11, 22}));
    ozm->add_map(new fake_map("a", "", "", 1, false));
    const std::string expected =
        "{maps:[{n:\"a\",t:\"\",c:\"\",v:1,e:null},"
        "{n:\"b\",t:\"x\",c:\"(c)\",v:2,e:{x0:20.000000,y0:10.000000,x1:22.000000,y1:11.000000}}]}";

    char* first = svc->get_maps_state();
    char* second = svc->get_maps_state();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);  // a separate copy each time
    EXPECT_EQ(take_text(first), expected);
    EXPECT_EQ(take_text(second), expected);
    EXPECT_EQ(ozm->maps_calls.load(), 1);

    // A new render version rebuilds it.
    ozm->add_map(new fake_map("c", "q\"\\\n\r", "", 4294967295u, true, {-1.5, -2.25}, {1e-7, 179.9999995}));
    EXPECT_EQ(take_text(svc->get_maps_state()), expected);  // same version: the kept text
    ozm->render_version = 2;
    EXPECT_EQ(take_text(svc->get_maps_state()),
              expected.substr(0, expected.size() - 2) +
                  ",{n:\"c\",t:\"q\\\"\\\\\\n\\r\",c:\"\",v:4294967295,"
                  "e:{x0:-2.250000,y0:-1.500000,x1:180.000000,y1:0.000000}}]}");
    EXPECT_EQ(ozm->maps_calls.load(), 2);
}

TEST(gis_service, maps_state_of_no_maps_and_of_a_failed_list) {
    gis_session session;
    auto& svc = session.svc;
    auto ozm = make_driver("ozm");
    ASSERT_TRUE(svc->add_driver(ozm));
    EXPECT_EQ(take_text(svc->get_maps_state()), "{maps:[]}");
    // Items that are no maps are skipped.
    auto_ptr_t<named_string> stray(new named_string("0", "x"));
    stray->addref();
    ozm->maps->add_item(stray, false);
    ozm->render_version = 5;
    EXPECT_EQ(take_text(svc->get_maps_state()), "{maps:[]}");
    ozm->maps.reset();
    ozm->render_version = 6;
    EXPECT_EQ(take_text(svc->get_maps_state()), "<null>");
}

TEST(gis_service, maps_state_writes_numbers_that_are_not_finite_as_null) {
    gis_session session;
    auto& svc = session.svc;
    auto ozm = make_driver("ozm");
    ASSERT_TRUE(svc->add_driver(ozm));
    const double nan_value = std::nan("");
    ozm->add_map(new fake_map("n", "", "", 0, true, {nan_value, -HUGE_VAL}, {1, HUGE_VAL}));
    EXPECT_EQ(take_text(svc->get_maps_state()),
              "{maps:[{n:\"n\",t:\"\",c:\"\",v:0,e:{x0:null,y0:null,x1:null,y1:1.000000}}]}");
}

TEST(gis_service, the_entry_registers_svc_gis_which_the_core_keeps) {
    gis_session session;
    ASSERT_TRUE(session.started);
    auto ozm = make_driver("ozm");
    {
        auto_ptr_t<i_object> found(kiv_core()->get_service("svc_gis"));
        i_gis_service* gis = kiv_cast_i_gis_service(found);
        ASSERT_EQ(gis, session.svc.get());
        ASSERT_TRUE(gis->add_driver(ozm));
        ozm->add_map(new fake_map("only", "t", "c", 3, false));
        EXPECT_EQ(take_text(gis->get_maps_state()), "{maps:[{n:\"only\",t:\"t\",c:\"c\",v:3,e:null}]}");
    }
    // The core's registration keeps the service, and the service its driver.
    session.svc.reset();
    session.svc_object.reset();
    EXPECT_EQ(ozm->get_ref_count(), 2);
}

}  // namespace
