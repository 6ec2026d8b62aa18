// gwx_standin_test.cpp --
//
//     The stand-in control on its own (chart files it accepts and the
//     load codes of those it refuses, its queries, positions, place
//     names, layers, snapshots probed pixel by pixel), and the whole
//     driver with it behind "svc_gis": the demo chart found by its
//     upper-case file name, searched, named and drawn through the
//     service, with no snapshot file left behind.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gis/i_gis_viewport.h>
#include "gwx_control.h"
#include <kiv/gwx/i_gwx_driver.h>
#include <kiv_test/gwx_hooks.h>

#include "../gis/gis_loader.h"
#include <kiv/image/i_image.h>

#include "../core/core_session.h"
#include "gwx_folders.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace kiv;

namespace {

std::u16string u16(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

std::string ascii(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

// Loads a chart file; `code` gets the control's load code.
long load(gwx_control& c, const std::string& path, long* handle = nullptr) {
    long h = -1, code = -1;
    EXPECT_TRUE(c.load_map(u16(path), u"", h, code));
    if (handle != nullptr)
        *handle = h;
    return code;
}

// Names (field 3) of the records of a query.
std::vector<std::string> names_of(std::unique_ptr<gwx_record_set>& rs) {
    std::vector<std::string> out;
    for (long pos = rs ? rs->move_first() : -1; pos >= 0; pos = rs->move_next()) {
        std::u16string name;
        EXPECT_TRUE(rs->get_field_text(3, name));
        out.push_back(ascii(name));
    }
    return out;
}

// The RGBA pixel (x, y) as 0xRRGGBB.
uint32_t rgb_at(i_image* img, unsigned x, unsigned y) {
    const unsigned char* p = static_cast<const unsigned char*>(img->get_data()) + (y * img->get_width() + x) * 4;
    return uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
}

const uint32_t background = 0xF5F2EC;
const uint32_t water = 0xAACDEB;

class stand_in : public ::testing::Test {
protected:
    void SetUp() override { control = gwx_create_control(); }
    std::string chart(const std::string& name, const std::string& text) {
        std::string path = dir.file(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    kiv_test::core_session session{false};  // chart and snapshot paths are made absolute through it
    kiv_test::temp_dir dir;
    std::unique_ptr<gwx_control> control;
};

TEST_F(stand_in, load_codes_of_chart_files) {
    const std::string head = "GWX-CHART 1\nbounds 53 27 54 28\nlayer a\n";
    struct row {
        const char* what;
        std::string text;
        long code;
    };
    const std::vector<row> rows = {
        {"smallest chart", "GWX-CHART 1\nbounds 53 27 54 28\n", 0},
        {"objects, comments, CR LF", head + "# note\r\npoint 1 X a 53.5 27.5 A place\r\narea 2 Y a 53 27 54 28 Z\n", 0},
        {"not a chart", "hello\n", 4},
        {"empty file", "", 4},
        {"other version", "GWX-CHART 2\nbounds 53 27 54 28\n", 4},
        {"no bounds", "GWX-CHART 1\nlayer a\n", 3},
        {"two bounds", head + "bounds 53 27 54 28\n", 3},
        {"bounds not numbers", "GWX-CHART 1\nbounds 53 27 x 28\n", 3},
        {"bounds with a comma", "GWX-CHART 1\nbounds 53,5 27 54 28\n", 3},
        {"bounds nan", "GWX-CHART 1\nbounds nan 27 54 28\n", 3},
        {"bounds empty", "GWX-CHART 1\nbounds 54 27 53 28\n", 3},
        {"latitude past the pole", "GWX-CHART 1\nbounds 53 27 91 28\n", 3},
        {"undeclared layer", head + "point 1 X b 53.5 27.5 A\n", 3},
        {"id used twice", head + "point 1 X a 53.5 27.5 A\npoint 1 X a 53.5 27.5 B\n", 3},
        {"id 0", head + "point 0 X a 53.5 27.5 A\n", 3},
        {"id too large", head + "point 2147483648 X a 53.5 27.5 A\n", 3},
        {"id not whole", head + "point 1.5 X a 53.5 27.5 A\n", 3},
        {"area turned over", head + "area 1 X a 54 27 53 28 A\n", 3},
        {"point off the globe", head + "point 1 X a 53.5 181 A\n", 3},
        {"unknown record", head + "line 1 X a 53 27 54 28\n", 3},
        {"layer twice", head + "layer a\n", 3},
        {"layer state unknown", "GWX-CHART 1\nbounds 53 27 54 28\nlayer a dim\n", 3},
    };
    for (const row& r : rows) {
        auto c = gwx_create_control();
        EXPECT_EQ(load(*c, chart("t.chart", r.text)), r.code) << r.what;
    }
    EXPECT_EQ(load(*control, dir.file("missing.chart")), 2);
    std::string good = chart("good.chart", "GWX-CHART 1\nbounds 53 27 54 28\n");
    long handle = 0;
    EXPECT_EQ(load(*control, good, &handle), 0);
    EXPECT_GT(handle, 0);
    EXPECT_EQ(load(*control, good), 1);  // already loaded
    double a = 0, b = 0, c = 0, d = 0;
    ASSERT_TRUE(control->get_map_bounds(handle, a, b, c, d));
    EXPECT_EQ(std::vector<double>({a, b, c, d}), std::vector<double>({53, 27, 54, 28}));
    EXPECT_FALSE(control->get_map_bounds(handle + 1, a, b, c, d));
}

TEST_F(stand_in, queries_match_class_prefixes_and_name_beginnings) {
    long handle = 0;
    ASSERT_EQ(load(*control, KIV_DEMO_CHARTS "/ashford.chart", &handle), 0);
    std::unique_ptr<gwx_record_set> rs;
    ASSERT_TRUE(control->query(u"{41100000,42100000}", rs));
    EXPECT_EQ(names_of(rs), (std::vector<std::string>{"Ashford", "Elmstead", "Millbrook"}));
    ASSERT_TRUE(control->query(u"{42}MILL", rs));
    EXPECT_EQ(names_of(rs), (std::vector<std::string>{"Millbrook"}));
    ASSERT_TRUE(control->query(u"{BL}oak ave.", rs));
    EXPECT_EQ(names_of(rs), (std::vector<std::string>{"Oak ave. 1", "Oak ave. 2", "Oak ave. 3"}));
    ASSERT_TRUE(control->query(u"Swan", rs));  // no braces: any class
    EXPECT_EQ(names_of(rs), (std::vector<std::string>{"Swan lake"}));

    // Ids carry the map's handle; the object's position is its centre
    // and, for an area, its half sizes.
    ASSERT_TRUE(control->query(u"{411}Ashford", rs));
    ASSERT_GE(rs->move_first(), 0);
    std::u16string id_text, map_name, cls;
    ASSERT_TRUE(rs->get_field_text(0, id_text));
    ASSERT_TRUE(rs->get_field_text(1, map_name));
    ASSERT_TRUE(rs->get_field_text(2, cls));
    EXPECT_EQ(ascii(map_name), "ashford");
    EXPECT_EQ(ascii(cls), "41100000");
    long long id = std::atoll(ascii(id_text).c_str());
    EXPECT_EQ(id, (static_cast<long long>(handle) << 32) | 1);
    std::unique_ptr<gwx_object> obj;
    ASSERT_TRUE(control->get_object(id, obj));
    std::vector<double> v;
    ASSERT_TRUE(obj->get_coords(v));
    ASSERT_EQ(v.size(), 4u);
    EXPECT_NEAR(v[0], 53.90, 1e-9);
    EXPECT_NEAR(v[1], 27.55, 1e-9);
    EXPECT_NEAR(v[2], 0.02, 1e-9);
    EXPECT_NEAR(v[3], 0.05, 1e-9);
    EXPECT_FALSE(control->get_object(id + 1000, obj));

    ASSERT_TRUE(control->query_area(v[0], v[1], v[2], v[3], rs));
    std::vector<std::string> inside = names_of(rs);
    EXPECT_NE(std::find(inside.begin(), inside.end(), "Northern highway"), inside.end());
    EXPECT_EQ(std::find(inside.begin(), inside.end(), "Ring rd."), inside.end());
    EXPECT_EQ(std::find(inside.begin(), inside.end(), "Well st."), inside.end());

    std::u16string place;
    ASSERT_TRUE(control->get_place_name(53.9003, 27.512, place));
    EXPECT_EQ(ascii(place), "Mill st.");
    ASSERT_TRUE(control->get_place_name(53.885, 27.51, place));
    EXPECT_EQ(ascii(place), "Ashford");
    ASSERT_TRUE(control->get_place_name(10, 10, place));
    EXPECT_EQ(place, u"");

    ASSERT_TRUE(control->unload_map(u16(KIV_DEMO_CHARTS "/ashford.chart")));
    ASSERT_TRUE(control->query(u"", rs));
    EXPECT_TRUE(names_of(rs).empty());
    EXPECT_FALSE(control->unload_map(u16(KIV_DEMO_CHARTS "/ashford.chart")));
}

TEST_F(stand_in, snapshots_draw_visible_layers_into_bottom_up_bitmaps) {
    // Water over the west half, a house dot in the east; the view is
    // 0..10 by 0..10 degrees on 100 × 50 pixels.
    std::string path = chart("probe.chart",
                             "GWX-CHART 1\nbounds 0 0 10 10\nlayer water\nlayer houses\n"
                             "area 1 WA water 0 0 10 5 Sea\npoint 2 BL houses 5 7.5 House 1\n");
    ASSERT_EQ(load(*control, path), 0);
    std::string snap = dir.file("snap.bmp");
    ASSERT_TRUE(control->save_snapshot(u16(snap), 10, 0, 0, 10, 100, 50, 10));
    auto_ptr_t<i_image> img(kiv_gwx_test_read_snapshot(snap.c_str(), 100, 50));
    ASSERT_TRUE(img);
    EXPECT_EQ(rgb_at(img, 25, 10), water);
    EXPECT_EQ(rgb_at(img, 25, 45), water);
    EXPECT_EQ(rgb_at(img, 90, 5), background);
    EXPECT_EQ(rgb_at(img, 90, 45), background);
    uint32_t dot = rgb_at(img, 75, 25);
    EXPECT_NE(dot, background);
    EXPECT_LT(dot >> 16, 0xA0u);  // a dark brown house dot

    // Hiding the water layer through the maps record set.
    std::unique_ptr<gwx_record_set> maps, layers;
    ASSERT_TRUE(control->get_maps(maps));
    ASSERT_GE(maps->move_first(), 0);
    std::u16string name;
    ASSERT_TRUE(maps->get_field_text(1, name));
    EXPECT_EQ(ascii(name), "probe");
    ASSERT_TRUE(maps->get_child(3, layers));
    ASSERT_GE(layers->move_first(), 0);
    ASSERT_TRUE(layers->get_field_text(1, name));
    EXPECT_EQ(ascii(name), "water");
    EXPECT_FALSE(control->set_layer_state(*layers, false, u"OTHER"));
    ASSERT_TRUE(control->set_layer_state(*layers, false, u"VMCT"));
    ASSERT_TRUE(control->get_maps(maps));
    maps->move_first();
    ASSERT_TRUE(maps->get_child(3, layers));
    layers->move_first();
    double state = 0;
    ASSERT_TRUE(layers->get_field_value(0, state));
    EXPECT_EQ(state, 2.0);
    ASSERT_TRUE(control->save_snapshot(u16(snap), 10, 0, 0, 10, 100, 50, 10));
    img.reset(kiv_gwx_test_read_snapshot(snap.c_str(), 100, 50));
    ASSERT_TRUE(img);
    EXPECT_EQ(rgb_at(img, 25, 10), background);

    // Sizes and areas it cannot draw.
    EXPECT_FALSE(control->save_snapshot(u16(snap), 10, 0, 0, 10, 0, 50, 10));
    EXPECT_FALSE(control->save_snapshot(u16(snap), 10, 0, 0, 10, 100000, 100000, 10));
    EXPECT_FALSE(control->save_snapshot(u16(snap), 0, 0, 10, 10, 100, 50, 10));
    EXPECT_FALSE(control->save_snapshot(u16(dir.file("no/such/dir.bmp")), 10, 0, 0, 10, 10, 10, 10));
}

TEST_F(stand_in, closed_control_refuses_everything) {
    ASSERT_EQ(load(*control, KIV_DEMO_CHARTS "/ashford.chart"), 0);
    control->close();
    control->close();
    std::unique_ptr<gwx_record_set> rs;
    std::unique_ptr<gwx_object> obj;
    std::u16string text;
    long h = 0, code = 0;
    EXPECT_FALSE(control->query(u"", rs));
    EXPECT_FALSE(control->get_maps(rs));
    EXPECT_FALSE(control->get_object(1, obj));
    EXPECT_FALSE(control->get_place_name(53.9, 27.5, text));
    EXPECT_FALSE(control->load_map(u16(KIV_DEMO_CHARTS "/ashford.chart"), u"", h, code));
    EXPECT_FALSE(control->resize(10, 10));
    EXPECT_FALSE(control->set_center(53.9, 27.5));
    EXPECT_FALSE(control->save_snapshot(u16(dir.file("x.bmp")), 54, 27, 53, 28, 10, 10, 10));
}

// The demo chart as NORTH.CHART in a maps folder, the driver behind a
// "svc_gis" of the test's own, and TEMP in a folder watched for
// snapshot files.
class gwx_end_to_end : public ::testing::Test {
protected:
    void SetUp() override {
        kiv_test::use_demo_chart(maps, tmp, "NORTH.CHART", "north");
        session.reset(new kiv_test::core_session(false));
        gis = kiv_test::load_gis_service(tmp.path()).get();  // held by the registry
        ASSERT_NE(gis, nullptr);
    }
    void TearDown() override {
        session.reset();
        kiv_test::clear_demo_chart_env();
        EXPECT_TRUE(kiv_test::snapshot_files(tmp.path()).empty());
    }
    std::vector<std::string> texts(i_gis_search_result* r) {
        std::vector<std::string> out;
        for (bool ok = r != nullptr && r->first(); ok; ok = r->next())
            out.push_back(r->get_result_text());
        return out;
    }

    kiv_test::temp_dir tmp, maps;
    std::unique_ptr<kiv_test::core_session> session;
    i_gis_service* gis = nullptr;  // held by the core's registry
};

TEST_F(gwx_end_to_end, demo_chart_is_found_searched_named_and_drawn_through_the_service) {
    ASSERT_TRUE(kiv_gwx_test_register_driver());
    auto_ptr_t<i_gis_driver> drv(gis->get_driver_by_name("gwx"));
    ASSERT_TRUE(drv);
    EXPECT_NE(kiv_cast_i_gwx_driver(drv), nullptr);
    EXPECT_STREQ(gis->get_default_driver(), "gwx");

    auto_ptr_t<i_object_col> list(gis->get_maps("", ""));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->get_count(), 1u);
    auto_ptr_t<i_object> item(list->get_item_by_pos(0));
    i_gwx_map* map = kiv_cast_i_gwx_map(item);
    ASSERT_NE(map, nullptr);
    EXPECT_STREQ(map->get_name(), "north");
    EXPECT_TRUE(map->is_loaded());
    geo_point lo, hi;
    ASSERT_TRUE(map->get_envelope(lo, hi));
    EXPECT_EQ(lo.lat, 53.85);
    EXPECT_EQ(lo.lon, 27.45);
    EXPECT_EQ(hi.lat, 53.95);
    EXPECT_EQ(hi.lon, 27.65);
    char* state = gis->get_maps_state();
    ASSERT_NE(state, nullptr);
    EXPECT_STREQ(state, "{maps:[{n:\"north\",t:\"\",c:\"\",v:0,e:{x0:27.450000,y0:53.850000,x1:27.650000,"
                        "y1:53.950000}}]}");
    free(state);

    auto_ptr_t<i_gis_search_result> towns(gis->search_cities("", "ASH", ""));
    ASSERT_EQ(texts(towns), (std::vector<std::string>{"Ashford"}));
    towns->first();
    EXPECT_NEAR(towns->get_result_lat(), 53.90, 1e-9);
    EXPECT_NEAR(towns->get_result_lon(), 27.55, 1e-9);
    auto_ptr_t<i_gis_search_result> streets(gis->search_streets("", towns->get_result_id(), ""));
    EXPECT_EQ(texts(streets), (std::vector<std::string>{"Church st.", "Market st.", "Mill st.", "Northern highway",
                                                        "Oak ave.", "Station st."}));
    auto_ptr_t<i_gis_search_result> villages(gis->search_cities("", "Mill", ""));
    ASSERT_EQ(texts(villages), (std::vector<std::string>{"Millbrook"}));
    villages->first();
    auto_ptr_t<i_gis_search_result> none(gis->search_streets("", villages->get_result_id(), ""));
    EXPECT_TRUE(texts(none).empty());
    auto_ptr_t<i_gis_search_result> houses(gis->search_houses("", 0, "Mill st."));
    EXPECT_EQ(texts(houses), (std::vector<std::string>{"1", "2", "3", "4", "5"}));

    char* place = gis->get_location_text("", 53.885, 27.51, 500, "from");
    ASSERT_NE(place, nullptr);
    EXPECT_STREQ(place, "Ashford");
    free(place);

    // A view centred on Swan lake: water in the middle, the house dots of
    // Mill st. below it.
    auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(200, 150));
    ASSERT_TRUE(vp->set_center(53.9075, 27.531, 20000));
    auto_ptr_t<i_image> img(gis->get_image("", vp, "", "", false));
    ASSERT_TRUE(img);
    ASSERT_EQ(img->get_width(), 200u);
    ASSERT_EQ(img->get_height(), 150u);
    EXPECT_EQ(rgb_at(img, 100, 75), water);
    const unsigned char* px = static_cast<const unsigned char*>(img->get_data());
    EXPECT_EQ(px[3], 255);

    // Far away from every chart: only the background.
    ASSERT_TRUE(vp->set_center(10, 10, 20000));
    img.reset(gis->get_image("", vp, "", "", false));
    ASSERT_TRUE(img);
    EXPECT_EQ(rgb_at(img, 100, 75), background);

    // Unloading the map through i_gwx_map empties the searches.
    ASSERT_TRUE(map->set_loaded(false));
    auto_ptr_t<i_gis_search_result> after(gis->search_cities("", "Ash", ""));
    EXPECT_TRUE(texts(after).empty());
    EXPECT_TRUE(map->get_envelope(lo, hi));  // the chart's area stays known
}

TEST_F(gwx_end_to_end, driver_whose_init_fails_is_not_registered) {
    kiv_set_env("KIV_GWX_MAPS_PATH", maps.file("none").c_str());
    ASSERT_TRUE(kiv_gwx_test_register_driver());
    auto_ptr_t<i_gis_driver> drv(gis->get_driver_by_name("gwx"));
    EXPECT_FALSE(drv);
}

TEST(gwx_library, registering_without_the_service_fails) {
    kiv_test::core_session session(false);
    EXPECT_FALSE(kiv_gwx_test_register_driver());
}

TEST(gwx_library, loaded_by_the_core_it_adds_the_driver_to_the_service) {
    kiv_test::temp_dir maps, tmp;
    kiv_test::copy_demo_chart(maps, "ashford.chart");
    kiv_set_env("KIV_GWX_MAPS_PATH", maps.path().c_str());
    kiv_set_env("TEMP", tmp.path().c_str());
    {
        kiv_test::core_session session(false);
        ASSERT_NE(kiv_test::load_gis_service(tmp.path()), nullptr);
        ASSERT_NE(kiv_core()->load_library(KIV_BIN_DIR "/gwx_map_driver.so"), nullptr);
        EXPECT_TRUE(kiv_library_loaded("gwx_map_driver"));
        auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_gis"));
        i_gis_service* gis = kiv_cast_i_gis_service(svc);
        ASSERT_NE(gis, nullptr);
        auto_ptr_t<i_gis_driver> drv(gis->get_driver_by_name("gwx"));
        EXPECT_NE(kiv_cast_i_gwx_driver(drv), nullptr);
    }
    kiv_set_env("KIV_GWX_MAPS_PATH", nullptr);
    kiv_set_env("TEMP", nullptr);
    kiv_set_env("KIV_FONT_PATH", nullptr);
}

}  // namespace
