// gwx_driver_test.cpp --
//
//     The "gwx" driver against a scripted control: what it asks the
//     control (exact query texts after the code-page round, class codes,
//     areas, load calls), what it makes of the answers (de-duplication,
//     class prefixes, name checks, house numbers, layer states, load
//     codes and their texts), how the maps variables steer start-up, and
//     the renderer's refusals, none of which leaves a snapshot file.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/log.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/gwx/i_gwx_driver.h>
#include <kiv_test/gwx_hooks.h>
#include <kiv/image/i_image.h>

#include "../core/core_session.h"
#include "fake_control.h"
#include "gwx_folders.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace kiv;
using kiv_test::fake_row;
using kiv_test::fake_state;
using kiv_test::object_row;

namespace {

// Trace lines written while it lives.
class trace_capture {
public:
    trace_capture() : path_(dir_.file("trace.txt")) { kiv_set_trace_facility(path_.c_str()); }
    ~trace_capture() { kiv_set_trace_facility("stdout"); }
    std::string text() {
        kiv_set_trace_facility("stdout");
        std::string t = kiv_test::read_all(path_);
        kiv_set_trace_facility(path_.c_str());
        return t;
    }

private:
    kiv_test::temp_dir dir_;
    std::string path_;
};

struct item_view {
    long long id;
    std::string text;
    double lat, lon;
    bool operator==(const item_view& o) const {
        return id == o.id && text == o.text && lat == o.lat && lon == o.lon;
    }
};

std::ostream& operator<<(std::ostream& os, const item_view& v) {
    return os << "{" << v.id << ", \"" << v.text << "\", " << v.lat << ", " << v.lon << "}";
}

std::vector<item_view> items_of(i_gis_search_result* r) {
    std::vector<item_view> out;
    if (r == nullptr)
        return out;
    for (bool ok = r->first(); ok && r->is_valid(); ok = r->next())
        out.push_back({r->get_result_id(), r->get_result_text(), r->get_result_lat(), r->get_result_lon()});
    return out;
}

std::vector<std::string> strings_of(i_object_col* col) {
    std::vector<std::string> out;
    for (unsigned i = 0; col != nullptr && i < col->get_count(); ++i) {
        auto_ptr_t<i_object> item(col->get_item_by_pos(i));
        i_string* s = kiv_cast_i_string(item);
        out.push_back(s != nullptr ? s->get_value() : "?");
    }
    return out;
}

class gwx_driver : public ::testing::Test {
protected:
    void SetUp() override {
        kiv_set_env("TEMP", tmp.path().c_str());
        session.reset(new kiv_test::core_session(false));
        kiv_set_env("KIV_GWX_MAPS_PATH", maps.path().c_str());
    }
    void TearDown() override {
        session.reset();
        for (const char* name : {"TEMP", "KIV_GWX_MAPS_PATH", "KIV_GWX_MAPS_LIST", "KIV_GWX_MAPS_LOAD"})
            kiv_set_env(name, nullptr);
    }
    void touch(const std::string& name) { std::ofstream(maps.file(name)) << "GWX-CHART 1\n"; }
    auto_ptr_t<i_gwx_driver> make(bool* ok = nullptr) {
        bool init_ok = false;
        auto_ptr_t<i_gwx_driver> d(kiv_gwx_test_create_driver(kiv_test::fake_factory(state), &init_ok));
        if (ok != nullptr)
            *ok = init_ok;
        else
            EXPECT_TRUE(init_ok);
        return d;
    }
    // Names of the driver's maps with their loaded flags ("north+").
    std::vector<std::string> maps_of(i_gwx_driver* d) {
        std::vector<std::string> out;
        auto_ptr_t<i_object_col> col(d->get_maps(""));
        for (unsigned i = 0; col && i < col->get_count(); ++i) {
            auto_ptr_t<i_object> item(col->get_item_by_pos(i));
            i_gwx_map* m = kiv_cast_i_gwx_map(item);
            out.push_back(std::string(m->get_name()) + (m->is_loaded() ? "+" : "-"));
        }
        return out;
    }
    auto_ptr_t<i_gwx_map> map_at(i_gwx_driver* d, unsigned pos) {
        auto_ptr_t<i_object_col> col(d->get_maps(""));
        auto_ptr_t<i_object> item(col->get_item_by_pos(pos));
        i_gwx_map* m = kiv_cast_i_gwx_map(item);
        if (m != nullptr)
            m->addref();
        return auto_ptr_t<i_gwx_map>(m);
    }
    // The snapshot files left in the temp folder.
    std::vector<std::string> snapshots() { return kiv_test::snapshot_files(tmp.path()); }

    kiv_test::temp_dir tmp, maps;
    std::unique_ptr<kiv_test::core_session> session;
    std::shared_ptr<fake_state> state = std::make_shared<fake_state>();
};

TEST_F(gwx_driver, without_maps_load_no_map_is_made_and_init_succeeds) {
    touch("north.chart");
    auto d = make();
    EXPECT_TRUE(maps_of(d).empty());
    EXPECT_TRUE(state->loads.empty());
    EXPECT_EQ(state->calls, (std::vector<std::string>{"open_workspace", "set_auto_redraw 1", "set_tool 0"}));
    EXPECT_STREQ(d->get_name(), "gwx");
    EXPECT_EQ(kiv_cast_i_gwx_driver(d), d.get());
    EXPECT_NE(kiv_cast_i_gis_driver(d), nullptr);
}

TEST_F(gwx_driver, maps_load_zero_without_list_knows_every_chart_unloaded) {
    touch("b.chart");
    touch("A.CHART");
    touch("notes.txt");
    kiv_set_env("KIV_GWX_MAPS_LOAD", "0");
    auto d = make();
    EXPECT_EQ(maps_of(d), (std::vector<std::string>{"a-", "b-"}));
    EXPECT_TRUE(state->loads.empty());
    auto m = map_at(d, 0);
    geo_point lo{1, 1}, hi{1, 1};
    EXPECT_FALSE(m->get_envelope(lo, hi));
    EXPECT_FALSE(m->load_failed());
    EXPECT_STREQ(m->get_tags(), "");
    EXPECT_STREQ(m->get_copyright(), "");
}

TEST_F(gwx_driver, negative_maps_load_skips_loading) {
    touch("north.chart");
    kiv_set_env("KIV_GWX_MAPS_LOAD", "-1");
    kiv_set_env("KIV_GWX_MAPS_LIST", "north");
    auto d = make();
    EXPECT_TRUE(maps_of(d).empty());
}

TEST_F(gwx_driver, listed_map_loads_by_its_own_path_with_the_chart_bounds_as_envelope) {
    touch("NORTH.CHART");
    touch("south.chart");
    kiv_set_env("KIV_GWX_MAPS_LOAD", "0");
    kiv_set_env("KIV_GWX_MAPS_LIST", "x, North ");
    auto d = make();
    EXPECT_EQ(maps_of(d), (std::vector<std::string>{"north+", "south-"}));
    std::string path = maps.file("NORTH.CHART");
    EXPECT_EQ(state->loads, (std::vector<std::u16string>{std::u16string(path.begin(), path.end())}));
    auto m = map_at(d, 0);
    geo_point lo, hi;
    ASSERT_TRUE(m->get_envelope(lo, hi));
    EXPECT_EQ(lo.lat, 53.8);
    EXPECT_EQ(lo.lon, 27.4);
    EXPECT_EQ(hi.lat, 54.0);
    EXPECT_EQ(hi.lon, 27.7);
}

TEST_F(gwx_driver, backslash_path_gives_the_lower_case_file_name_as_map_name) {
    // A drive letter, a folder, backslashes and NORTH.CHART, all in one
    // file name here.
    touch("C:\\maps\\NORTH.CHART");
    kiv_set_env("KIV_GWX_MAPS_LOAD", "0");
    auto d = make();
    EXPECT_EQ(maps_of(d), (std::vector<std::string>{"north-"}));
}

TEST_F(gwx_driver, refused_loads_name_their_code_and_leave_the_map_out) {
    struct row {
        long code;
        const char* text;
    };
    const row rows[] = {{1, "already loaded"},
                        {3, "invalid map file"},
                        {8, "unknown error"},
                        {17, "specified base map is not loaded"},
                        {-4, "unknown error"}};
    for (const row& r : rows) {
        TearDown();
        state = std::make_shared<fake_state>();
        SetUp();
        touch("north.chart");
        std::string path = maps.file("north.chart");
        state->load_codes[std::u16string(path.begin(), path.end())] = r.code;
        kiv_set_env("KIV_GWX_MAPS_LOAD", "0");
        kiv_set_env("KIV_GWX_MAPS_LIST", "north");
        trace_capture trace;
        auto d = make();
        EXPECT_TRUE(maps_of(d).empty()) << r.code;
        std::string expected = std::string("gwx_map::load_map(), error loading map: '") + r.text + "'.";
        EXPECT_NE(trace.text().find(expected), std::string::npos) << r.code;
    }
}

TEST_F(gwx_driver, failed_load_call_and_failed_bounds_are_reported) {
    touch("north.chart");
    kiv_set_env("KIV_GWX_MAPS_LOAD", "0");
    kiv_set_env("KIV_GWX_MAPS_LIST", "north");
    {
        trace_capture trace;
        state->refuse_load = true;
        auto d = make();
        EXPECT_TRUE(maps_of(d).empty());
        EXPECT_NE(trace.text().find("gwx_map::load_map(), error hresult: 'Failed to create GWX Control'."),
                  std::string::npos);
    }
    {
        trace_capture trace;
        state = std::make_shared<fake_state>();
        state->refuse_bounds = true;
        auto d = make();
        EXPECT_TRUE(maps_of(d).empty());
        EXPECT_NE(trace.text().find("error get map info"), std::string::npos);
        // The control got the map; it is unloaded again so a later load
        // is not refused as "already loaded".
        EXPECT_EQ(state->unloads.size(), 1u);
    }
}

TEST_F(gwx_driver, set_loaded_loads_and_unloads_through_the_control) {
    touch("north.chart");
    kiv_set_env("KIV_GWX_MAPS_LOAD", "0");
    auto d = make();
    auto m = map_at(d, 0);
    ASSERT_TRUE(m);
    std::string p = maps.file("north.chart");
    std::u16string path(p.begin(), p.end());

    EXPECT_FALSE(m->set_loaded(false));  // not loaded: nothing to do
    state->load_codes[path] = 3;
    EXPECT_FALSE(m->set_loaded(true));
    EXPECT_TRUE(m->load_failed());
    EXPECT_FALSE(m->is_loaded());
    state->load_codes[path] = 0;
    EXPECT_TRUE(m->set_loaded(true));
    EXPECT_FALSE(m->load_failed());
    EXPECT_TRUE(m->is_loaded());
    EXPECT_FALSE(m->set_loaded(true));
    EXPECT_TRUE(m->set_loaded(false));
    EXPECT_FALSE(m->is_loaded());
    EXPECT_EQ(state->unloads, (std::vector<std::u16string>{path}));
    EXPECT_EQ(state->loads.size(), 2u);
}

TEST_F(gwx_driver, init_fails_without_control_or_maps) {
    struct row {
        const char* what;
        bool refuse_create;
        const char* maps_path;  // null: unset; "-": a missing folder
        bool chart;
        const char* trace;
    };
    const row rows[] = {
        {"no control", true, nullptr, true, "gwx_driver::init - CreateControl - FAILED (Failed to create GWX Control)"},
        {"unset path", false, "", true, "Error: set evironment variable KIV_GWX_MAPS_PATH."},
        {"missing folder", false, "-", true, "in environment variable KIV_GWX_MAPS_PATH."},
        {"no chart", false, nullptr, false, "Error: maps not found in directory '"},
    };
    for (const row& r : rows) {
        TearDown();
        state = std::make_shared<fake_state>();
        SetUp();
        state->refuse_create = r.refuse_create;
        std::remove(maps.file("north.chart").c_str());
        if (r.chart)
            touch("north.chart");
        if (r.maps_path != nullptr)
            kiv_set_env("KIV_GWX_MAPS_PATH", std::string(r.maps_path) == "-" ? maps.file("none").c_str() : "");
        trace_capture trace;
        bool ok = true;
        auto d = make(&ok);
        EXPECT_FALSE(ok) << r.what;
        EXPECT_NE(trace.text().find(r.trace), std::string::npos) << r.what;
        // A driver that failed draws nothing.
        auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(10, 10));
        if (r.refuse_create) {
            auto_ptr_t<i_gis_renderer> ren(d->create_renderer(vp, "", ""));
            EXPECT_FALSE(ren) << r.what;
        }
    }
}

TEST_F(gwx_driver, city_search_sends_the_class_codes_and_keeps_first_of_each_matching_name) {
    touch("north.chart");
    auto d = make();
    state->answers[u"{41100000,41200000,42100000,42200000,42300000}ash"] = {
        object_row(u"1", u"41100000", u"Ashford"), object_row(u"2", u"42100000", u"ashford"),
        object_row(u"3", u"41100000", u"Ashford"),  // same text: the first is kept
        object_row(u"x", u"41100000", u"Ashdale"),  // no id
        object_row(u"4", u"41100000", u"Barton"),   // does not begin with the query
        object_row(u"5", u"41100000", u"Ashby"),    // no such object
        object_row(u"6", u"41100000", u"Ashton"),   // one value only
    };
    state->objects[1] = {53.9, 27.5, 0.1, 0.1};
    state->objects[2] = {53.8, 27.6};
    state->objects[3] = {1, 1};
    state->objects[4] = {2, 2};
    state->objects[6] = {53.7};
    auto_ptr_t<i_gis_search_result> r(d->search_cities("ash", "tags"));
    ASSERT_TRUE(r);
    EXPECT_EQ(items_of(r), (std::vector<item_view>{{1, "Ashford", 53.9, 27.5}, {2, "ashford", 53.8, 27.6}}));
    EXPECT_EQ(r->get_count(), 2u);
}

TEST_F(gwx_driver, query_texts_go_through_the_code_page) {
    touch("north.chart");
    auto d = make();
    // "中" has no place in the code page and reaches the control as "?".
    auto_ptr_t<i_gis_search_result> r(d->search_cities("Минск中", ""));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->get_count(), 0u);
    auto_ptr_t<i_gis_search_result> h(d->search_houses(0, "Ленина ул. 中"));
    ASSERT_EQ(state->queries.size(), 2u);
    EXPECT_EQ(state->queries[0], u"{41100000,41200000,42100000,42200000,42300000}Минск?");
    EXPECT_EQ(state->queries[1], u"{BL}Ленина ул. ?");
}

TEST_F(gwx_driver, cyrillic_city_names_compare_without_letter_case) {
    touch("north.chart");
    auto d = make();
    state->answers[u"{41100000,41200000,42100000,42200000,42300000}МИН"] = {
        object_row(u"1", u"41100000", u"Минск"), object_row(u"2", u"41100000", u"Мозырь")};
    state->objects[1] = {53.9, 27.55};
    state->objects[2] = {52.0, 29.2};
    auto_ptr_t<i_gis_search_result> r(d->search_cities("МИН", ""));
    EXPECT_EQ(items_of(r), (std::vector<item_view>{{1, "Минск", 53.9, 27.55}}));
}

TEST_F(gwx_driver, street_search_looks_in_the_town_area_for_street_and_road_classes) {
    touch("north.chart");
    auto d = make();
    state->objects[10] = {53.9, 27.55, 0.05, 0.08};
    state->area_rows = {
        object_row(u"20", u"ST0001", u"Mill st."),   object_row(u"21", u"RD0001", u"Ring rd."),
        object_row(u"22", u"45100000", u"Highway 1"), object_row(u"23", u"BL", u"Mill st. 1"),
        object_row(u"24", u"ST0001", u""),            object_row(u"25", u"ST0002", u"Mill st."),
        object_row(u"26", u"41100000", u"Ashford"),  object_row(u"27", u"4510", u"Lane"),
    };
    for (long long id = 20; id <= 27; ++id)
        state->objects[id] = {53.0 + double(id) / 100, 27.0};
    auto_ptr_t<i_gis_search_result> r(d->search_streets(10, "ignored"));
    EXPECT_EQ(state->area, (std::vector<double>{53.9, 27.55, 0.05, 0.08}));
    EXPECT_EQ(items_of(r), (std::vector<item_view>{{22, "Highway 1", 53.22, 27.0},
                                                   {20, "Mill st.", 53.2, 27.0},
                                                   {21, "Ring rd.", 53.21, 27.0}}));
}

TEST_F(gwx_driver, street_search_of_a_town_known_only_as_a_point_is_empty) {
    touch("north.chart");
    auto d = make();
    state->objects[10] = {53.9, 27.55};
    state->area_rows = {object_row(u"20", u"ST0001", u"Mill st.")};
    state->objects[20] = {53.9, 27.5};
    auto_ptr_t<i_gis_search_result> r(d->search_streets(10, ""));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->get_count(), 0u);
    EXPECT_TRUE(state->area.empty());
    auto_ptr_t<i_gis_search_result> none(d->search_streets(99, ""));
    ASSERT_TRUE(none);
    EXPECT_EQ(none->get_count(), 0u);
}

TEST_F(gwx_driver, house_search_gives_the_number_after_the_street_name) {
    touch("north.chart");
    auto d = make();
    EXPECT_EQ(d->search_houses(1, nullptr), nullptr);
    state->answers[u"{BL}Lenina st."] = {
        object_row(u"30", u"BL", u"Lenina st. 12"), object_row(u"31", u"BL", u"LENINA ST. 14A"),
        object_row(u"32", u"BL", u"Lenina st."),    object_row(u"33", u"BL", u"Lenina st. "),
        object_row(u"34", u"BL", u"Other st. 3"),   object_row(u"35", u"BL", u"Lenina st. 12"),
    };
    state->answers[u"{BL}St. Peter ave."] = {object_row(u"40", u"BL", u"St. Peter ave. 5")};
    for (long long id : {30, 31, 32, 33, 34, 35, 40})
        state->objects[id] = {53.9, 27.0 + double(id) / 100};
    auto_ptr_t<i_gis_search_result> r(d->search_houses(0, "Lenina st."));
    EXPECT_EQ(items_of(r), (std::vector<item_view>{{30, "12", 53.9, 27.3}, {31, "14a", 53.9, 27.31}}));
    auto_ptr_t<i_gis_search_result> peter(d->search_houses(0, "St. Peter ave."));
    EXPECT_EQ(items_of(peter), (std::vector<item_view>{{40, "5", 53.9, 27.4}}));
}

TEST_F(gwx_driver, search_result_cursor_stops_at_the_ends) {
    touch("north.chart");
    auto d = make();
    state->answers[u"{41100000,41200000,42100000,42200000,42300000}"] = {object_row(u"1", u"41100000", u"A"),
                                                                         object_row(u"2", u"41100000", u"B")};
    state->objects[1] = {1, 2};
    state->objects[2] = {3, 4};
    auto_ptr_t<i_gis_search_result> r(d->search_cities(nullptr, nullptr));
    ASSERT_TRUE(r);
    EXPECT_FALSE(r->at(2));
    EXPECT_TRUE(r->at(1));
    EXPECT_STREQ(r->get_result_text(), "B");
    EXPECT_FALSE(r->next());
    EXPECT_FALSE(r->is_valid());
    EXPECT_EQ(r->get_result_text(), nullptr);
    geo_point pt{9, 9};
    EXPECT_FALSE(r->get_result_point(pt));
    EXPECT_EQ(r->get_result_id(), 0);
    EXPECT_EQ(r->get_result_lat(), 0.0);
    EXPECT_FALSE(r->next());
    EXPECT_TRUE(r->first());
    EXPECT_TRUE(r->get_result_point(pt));
    EXPECT_EQ(pt.lat, 1.0);
    EXPECT_EQ(pt.lon, 2.0);
    EXPECT_EQ(kiv_cast_i_gis_search_result(r), r.get());
    void* out = &pt;
    EXPECT_FALSE(r->get_interface("i_named_object", &out));
    EXPECT_EQ(out, nullptr);
}

TEST_F(gwx_driver, layers_of_topo_and_plan_records_are_left_alone) {
    touch("north.chart");
    auto d = make();
    auto layers = [](std::vector<fake_row> rows) { return std::make_shared<std::vector<fake_row>>(rows); };
    state->maps = {
        fake_row{{u"1", u"{topo}"}, 1, layers({fake_row{{u"1", u"relief"}, 1, nullptr, 8}}), -1},
        fake_row{{u"1", u"city"},
                 1,
                 layers({fake_row{{u"1", u"roads"}, 1, nullptr, 1}, fake_row{{u"2", u"water"}, 2, nullptr, 2},
                         fake_row{{u"6", u"labels"}, 6, nullptr, 3}}),
                 -1},
        fake_row{{u"1", u"{plan}"}, 1, layers({fake_row{{u"1", u"plan"}, 1, nullptr, 9}}), -1},
    };
    auto_ptr_t<i_object_col> names(d->get_layer_names());
    EXPECT_EQ(strings_of(names), (std::vector<std::string>{"roads", "water", "labels"}));
    EXPECT_TRUE(d->is_layer_visible("roads"));
    EXPECT_FALSE(d->is_layer_visible("water"));
    EXPECT_FALSE(d->is_layer_visible("labels"));  // state 6: low bits 2
    EXPECT_FALSE(d->is_layer_visible("relief"));  // only in "{topo}"
    EXPECT_FALSE(d->is_layer_visible("Roads"));
    EXPECT_FALSE(d->is_layer_visible(nullptr));

    EXPECT_FALSE(d->set_visible_layers(nullptr));
    auto_ptr_t<i_object_col_x> shown(kiv_create_col());
    EXPECT_FALSE(d->set_visible_layers(shown));
    for (const char* name : {"labels", "roads", "relief"}) {
        auto_ptr_t<i_string> s(kiv_create_string(name));
        shown->add_item(s);
    }
    EXPECT_TRUE(d->set_visible_layers(shown));
    EXPECT_EQ(state->layer_visible, (std::map<int, bool>{{1, true}, {2, false}, {3, true}}));
}

TEST_F(gwx_driver, location_text_is_the_controls_place_name_and_other_queries_are_empty) {
    touch("north.chart");
    auto d = make();
    double range = -1;
    char* text = d->get_location_text(53.9, 27.55, 100, &range);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "Town");
    free(text);
    EXPECT_EQ(range, -1);  // the control gives no distance
    state->place = u"";
    text = d->get_location_text(53.9, 27.55, 100, nullptr);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    free(text);
    state->place = u"Минск 中";
    text = d->get_location_text(53.9, 27.55, 100, nullptr);
    EXPECT_STREQ(text, "Минск ?");
    free(text);

    double lats[1] = {1}, lons[1] = {2};
    geo_point pt;
    EXPECT_EQ(d->get_locations_text(lats, lons, 1, 10), nullptr);
    EXPECT_EQ(d->lock_points_to_road(lats, lons, 1, 10, false), nullptr);
    EXPECT_FALSE(d->lock_point_to_road(1, 2, 10, pt));
    EXPECT_EQ(d->get_layers(), nullptr);
    EXPECT_EQ(d->get_render_version(), 0u);
}

// A viewport that reports the size it is given and nothing else works.
class sized_viewport : public object, public virtual i_gis_viewport {
public:
    sized_viewport(int w, int h) : w_(w), h_(h) {}
    bool set_center(double, double, unsigned) override { return false; }
    bool set_geo_extents(double, double, double, double, bool) override { return false; }
    bool get_center(geo_point& pt) override { return pt = {53.9, 27.5}, true; }
    unsigned get_scale() override { return 1000; }
    bool get_geo_extents(geo_point& a, geo_point& b) override { return a = {53, 27}, b = {54, 28}, true; }
    bool set_viewport_size(unsigned, unsigned) override { return false; }
    bool get_viewport_size(view_point& pt) override { return pt = {w_, h_}, true; }
    bool set_direction(unsigned short) override { return false; }
    unsigned short get_direction() override { return 0; }
    bool dp_to_lc(int, int, geo_point& pt) override { return pt = {53.5, 27.5}, true; }
    bool lc_to_dp(double, double, view_point&) override { return false; }
    bool dp_to_lc2(view_point*, geo_point*, unsigned) override { return false; }
    bool lc_to_dp2(geo_point*, view_point*, unsigned) override { return false; }

private:
    int w_, h_;
};

TEST_F(gwx_driver, renderer_has_the_control_draw_the_viewport_and_reads_it_back) {
    touch("north.chart");
    auto d = make();
    auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(40, 30));
    ASSERT_TRUE(vp->set_center(53.9, 27.55, 50000));
    EXPECT_EQ(d->create_renderer(vp, nullptr, ""), nullptr);
    EXPECT_EQ(d->create_renderer(vp, "", nullptr), nullptr);
    EXPECT_EQ(d->create_renderer(nullptr, "", ""), nullptr);
    auto_ptr_t<i_gis_renderer> ren(d->create_renderer(vp, "", ""));
    ASSERT_TRUE(ren);
    EXPECT_EQ(ren->get_version(), 0u);
    state->calls.clear();
    auto_ptr_t<i_image> img(ren->render_image(false));
    ASSERT_TRUE(img);
    ASSERT_EQ(img->get_width(), 40u);
    ASSERT_EQ(img->get_height(), 30u);
    const unsigned char* px = static_cast<const unsigned char*>(img->get_data());
    EXPECT_EQ(px[0], 255);  // the scripted control's red top-left pixel
    EXPECT_EQ(px[2], 0);
    EXPECT_EQ(px[4 + 2], 255);  // blue next to it
    EXPECT_EQ(px[4 + 3], 255);
    EXPECT_EQ(state->calls, (std::vector<std::string>{"resize 40x30", "set_center", "set_scale 50000"}));
    geo_point lo, hi;
    ASSERT_TRUE(vp->get_geo_extents(lo, hi));
    EXPECT_EQ(state->snapshot_args[0], hi.lat);
    EXPECT_EQ(state->snapshot_args[1], lo.lon);
    EXPECT_EQ(state->snapshot_args[2], lo.lat);
    EXPECT_EQ(state->snapshot_args[3], hi.lon);
    EXPECT_EQ(state->snapshot_flags, 10);
    EXPECT_TRUE(state->snapshot_existed);  // reserved before the control wrote it
    std::string expected_prefix = tmp.path() + "/gwx_" + std::to_string(getpid()) + "_";
    std::string file(state->snapshot_file.begin(), state->snapshot_file.end());
    EXPECT_EQ(file.rfind(expected_prefix, 0), 0u) << file;
    EXPECT_TRUE(snapshots().empty());
}

TEST_F(gwx_driver, refused_view_or_snapshot_gives_no_image_and_leaves_no_file) {
    touch("north.chart");
    auto d = make();
    auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(20, 10));
    ASSERT_TRUE(vp->set_center(53.9, 27.55, 50000));
    struct row {
        const char* what;
        bool fake_state::*flag;
        const char* trace;
    };
    const row rows[] = {{"centre", &fake_state::refuse_center, "error: set geo"},
                        {"scale", &fake_state::refuse_scale, "error: set geo"},
                        {"snapshot", &fake_state::refuse_snapshot, "error: empty image"},
                        {"resize", &fake_state::refuse_resize, "error: GWX"}};
    for (const row& r : rows) {
        (*state).*r.flag = true;
        trace_capture trace;
        auto_ptr_t<i_gis_renderer> ren(d->create_renderer(vp, "", ""));
        auto_ptr_t<i_image> img(ren->render_image(true));
        EXPECT_FALSE(img) << r.what;
        EXPECT_NE(trace.text().find(r.trace), std::string::npos) << r.what;
        EXPECT_TRUE(snapshots().empty()) << r.what;
        (*state).*r.flag = false;
    }
}

TEST_F(gwx_driver, viewport_that_cannot_be_drawn_gives_null) {
    touch("north.chart");
    auto d = make();
    sized_viewport* zero_width = new sized_viewport(0, 30);
    auto_ptr_t<i_gis_viewport> keep_a((zero_width->addref(), zero_width));
    auto_ptr_t<i_gis_viewport> no_scale(kiv_gis_create_viewport(20, 20));
    for (i_gis_viewport* vp : {static_cast<i_gis_viewport*>(zero_width), no_scale.get()}) {
        trace_capture trace;
        auto_ptr_t<i_gis_renderer> ren(d->create_renderer(vp, "", ""));
        ASSERT_TRUE(ren);
        auto_ptr_t<i_image> img(ren->render_image(false));
        EXPECT_FALSE(img);
        EXPECT_NE(trace.text().find("error: viewport"), std::string::npos);
    }
    // Only the start-up calls: the control was never asked to draw.
    EXPECT_EQ(state->calls, (std::vector<std::string>{"open_workspace", "set_auto_redraw 1", "set_tool 0"}));
    EXPECT_TRUE(snapshots().empty());
}

TEST_F(gwx_driver, existing_snapshot_name_is_not_overwritten) {
    touch("north.chart");
    auto d = make();
    // The first name a new driver forms carries counter 0.
    std::string taken = tmp.file("gwx_" + std::to_string(getpid()) + "_0.bmp");
    std::ofstream(taken) << "someone else's";
    auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(20, 10));
    ASSERT_TRUE(vp->set_center(53.9, 27.55, 50000));
    auto_ptr_t<i_gis_renderer> ren(d->create_renderer(vp, "", ""));
    auto_ptr_t<i_image> img(ren->render_image(false));
    EXPECT_FALSE(img);
    EXPECT_EQ(kiv_test::read_all(taken), "someone else's");
    EXPECT_TRUE(state->snapshot_file.empty());
    // The next rendering takes the next name.
    auto_ptr_t<i_image> again(ren->render_image(false));
    EXPECT_TRUE(again);
    EXPECT_EQ(snapshots(), (std::vector<std::string>{"gwx_" + std::to_string(getpid()) + "_0.bmp"}));
}

}  // namespace
