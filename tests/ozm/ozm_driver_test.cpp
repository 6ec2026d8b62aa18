// ozm_driver_test.cpp --
//
//     The driver's start and its map bookkeeping: what init needs, load
//     numbers, rescans with their traces (a file added, replaced by
//     rename, replaced by one with a bad checksum, removed), the render
//     version, the maps list, and the library entry's work with its
//     environment checks.

#include <kiv/core/object_col.h>
#include <kiv_test/core_hooks.h>
#include <kiv_test/ozm_hooks.h>

#include "../gis/gis_loader.h"
#include "driver_test_support.h"

#include <cstdio>

using namespace kiv;
using namespace kiv_test;

namespace {

test_map plain(const char* name, uint8_t priority = 1, uint32_t version = 1) {
    test_map m;
    m.name = name;
    m.priority = priority;
    m.version = version;
    return m;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class driver_test : public ::testing::Test {
protected:
    core_session session{false};
    driver_folder folder;
    temp_dir trace_dir;
};

TEST_F(driver_test, init_needs_map_files_and_a_layers_folder_with_xml_files) {
    {
        // No map file at all.
        folder.add_layer("a.xml", layer_text("a", 0));
        EXPECT_FALSE(start_driver(folder));
    }
    folder.add_map("m.ozm", plain("m"));
    EXPECT_TRUE(start_driver(folder));
    {
        driver_folder no_xml;
        no_xml.add_map("m.ozm", plain("m"));
        no_xml.add_layer("notes.txt", "x");
        EXPECT_FALSE(start_driver(no_xml));
    }
    {
        driver_folder no_layers;
        no_layers.add_map("m.ozm", plain("m"));
        ASSERT_EQ(std::system(("rm -rf '" + no_layers.layers() + "'").c_str()), 0);
        trace_capture trace(trace_dir.file("trace.txt"));
        EXPECT_FALSE(start_driver(no_layers));
        EXPECT_NE(trace.text().find("GIS OZM driver: error loading renderer layers configuration. Directory "
                                    "${KIV_OZM_RENDER_CONFIG_PATH}/layers not exists"),
                  std::string::npos);
    }
    auto_ptr_t<ozm_driver> d(new ozm_driver);
    d->addref();
    EXPECT_FALSE(d->init(nullptr, folder.render().c_str()));
    EXPECT_FALSE(d->init(folder.maps().c_str(), nullptr));
}

TEST_F(driver_test, a_relative_maps_folder_is_read_from_the_root_not_the_working_folder) {
    folder.add_map("m.ozm", plain("m"));
    folder.add_layer("l.xml", layer_text("l", 0));
    std::string root;
    ASSERT_TRUE(kiv_get_env("KIV_ROOT_PATH", root));
    ASSERT_NE(root, folder.dir.path());
    kiv_set_env("KIV_ROOT_PATH", folder.dir.path().c_str());
    auto_ptr_t<ozm_driver> d(new ozm_driver);
    d->addref();
    trace_capture trace(trace_dir.file("trace.txt"));
    EXPECT_TRUE(d->init("maps", folder.render().c_str()));
    kiv_set_env("KIV_ROOT_PATH", root.c_str());
    auto_ptr_t<ozm_map> m(d->map_by_load_number(1));
    ASSERT_TRUE(m) << trace.text();
    EXPECT_EQ(m->path(), folder.map_path("m.ozm"));
}

TEST_F(driver_test, layers_that_fail_are_skipped_and_named_in_load_order) {
    folder.add_map("m.ozm", plain("m"));
    folder.add_layer("1.xml", layer_text("late", 5));
    folder.add_layer("2.xml", "<layer name='broken' levels='0-20'/>");
    folder.add_layer("3.xml", layer_text("early", 1));
    trace_capture trace(trace_dir.file("trace.txt"));
    auto_ptr_t<ozm_driver> d = start_driver(folder);
    ASSERT_TRUE(d);
    EXPECT_STREQ(d->get_layers(), "late,early");
    EXPECT_NE(trace.text().find("Loaded layer '" + folder.layers() + "/1.xml' with priority 5"), std::string::npos);
    std::vector<renderer_layer*> by_priority = d->layers_by_priority();
    ASSERT_EQ(by_priority.size(), 2u);
    EXPECT_EQ(by_priority[0]->get_name(), "early");

    driver_folder all_bad;
    all_bad.add_map("m.ozm", plain("m"));
    all_bad.add_layer("x.xml", "<layer levels='0-1'/>");
    auto_ptr_t<ozm_driver> empty = start_driver(all_bad);
    ASSERT_TRUE(empty);
    EXPECT_STREQ(empty->get_layers(), "");
}

TEST_F(driver_test, render_version_sums_map_and_layer_versions) {
    folder.add_map("a.ozm", plain("a", 1, 3));
    folder.add_map("b.ozm", plain("b", 2, 4));
    folder.add_layer("l.xml", layer_text("l", 0));
    set_file_time(folder.layers() + "/l.xml", 2, 0);
    auto_ptr_t<ozm_driver> d = start_driver(folder);
    ASSERT_TRUE(d);
    EXPECT_EQ(d->get_render_version(), 9u);
    auto_ptr_t<i_gis_viewport> vp = home_view(3000);
    auto_ptr_t<i_gis_renderer> r(d->create_renderer(vp, "", ""));
    ASSERT_TRUE(r);
    EXPECT_EQ(r->get_version(), 9u);
}

TEST_F(driver_test, maps_list_by_priority_through_the_tag_filter) {
    folder.add_map("a.ozm", plain("high", 9));
    folder.add_map("b.ozm", plain("low", 2));
    folder.add_layer("l.xml", layer_text("l", 0));
    auto_ptr_t<ozm_driver> d = start_driver(folder);
    ASSERT_TRUE(d);
    auto_ptr_t<i_object_col> maps(d->get_maps(""));
    ASSERT_TRUE(maps);
    ASSERT_EQ(maps->get_count(), 2u);
    std::vector<std::string> names;
    for (unsigned i = 0; i < maps->get_count(); ++i) {
        auto_ptr_t<i_object> item(maps->get_item_by_pos(i));
        i_gis_map* map = kiv_cast_i_gis_map(item);
        ASSERT_NE(map, nullptr);
        names.push_back(map->get_name());
        geo_point min{0, 0}, max{0, 0};
        EXPECT_TRUE(map->get_envelope(min, max));
        EXPECT_LT(min.lat, home_lat);
        EXPECT_GT(max.lon, home_lon);
        EXPECT_STREQ(map->get_tags(), "test");
    }
    EXPECT_EQ(names, (std::vector<std::string>{"low", "high"}));
    auto_ptr_t<i_object_col> none(d->get_maps("-test"));
    ASSERT_TRUE(none);
    EXPECT_EQ(none->get_count(), 0u);
    EXPECT_EQ(d->get_maps(nullptr), nullptr);
}

TEST_F(driver_test, rescans_trace_every_change_and_keep_load_numbers_unique) {
    folder.add_map("a.ozm", plain("first", 3));
    folder.add_layer("l.xml", layer_text("l", 0));
    auto_ptr_t<ozm_driver> d = start_driver(folder);
    ASSERT_TRUE(d);
    auto_ptr_t<ozm_map> first(d->map_by_load_number(1));
    ASSERT_TRUE(first);
    EXPECT_EQ(d->map_by_load_number(0), nullptr);

    // A renderer made now keeps the old map alive.
    auto_ptr_t<i_gis_viewport> vp = home_view(3000);
    auto_ptr_t<ozm_renderer> before = as_ozm(d->create_renderer(vp, "", ""));
    ASSERT_TRUE(before);

    trace_capture trace(trace_dir.file("trace.txt"));
    // Nothing changed: nothing traced.
    EXPECT_TRUE(d->load_maps(true));
    EXPECT_EQ(trace.text().find("oaded map"), std::string::npos);

    // A new file.
    folder.add_map("b.ozm", plain("second", 5));
    EXPECT_TRUE(d->load_maps(true));
    EXPECT_NE(trace.text().find("Loaded map 'second' from '" + folder.map_path("b.ozm") + "' with priority 5"),
              std::string::npos);
    auto_ptr_t<ozm_map> second(d->map_by_load_number(2));
    ASSERT_TRUE(second);

    // "a.ozm" replaced by rename with another header.
    std::string fresh = folder.dir.file("fresh.ozm");
    ASSERT_TRUE(write_test_map(fresh, plain("first again", 4)));
    ASSERT_EQ(std::rename(fresh.c_str(), folder.map_path("a.ozm").c_str()), 0);
    EXPECT_TRUE(d->load_maps(true));
    std::string text = trace.text();
    size_t unloaded = text.find("Unloaded map 'first'");
    size_t loaded = text.find("Loaded map 'first again' from '" + folder.map_path("a.ozm") + "' with priority 4");
    ASSERT_NE(unloaded, std::string::npos);
    ASSERT_NE(loaded, std::string::npos);
    EXPECT_LT(unloaded, loaded);
    EXPECT_EQ(d->map_by_load_number(1), nullptr);
    auto_ptr_t<ozm_map> third(d->map_by_load_number(3));
    ASSERT_TRUE(third);
    EXPECT_STREQ(third->get_name(), "first again");
    // The renderer made before still holds the old map, pages and all.
    EXPECT_EQ(map_names(*before), (std::vector<std::string>{"first"}));
    EXPECT_TRUE(first->lock_page(0));
    EXPECT_TRUE(first->unlock_page(0));

    // A file with a bad header checksum is reported on every rescan.
    std::string bad = folder.map_path("c.ozm");
    ASSERT_TRUE(write_test_map(bad, plain("bad")));
    {
        FILE* f = std::fopen(bad.c_str(), "r+b");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fseek(f, 0x10, SEEK_SET), 0);
        ASSERT_EQ(std::fputc('#', f), '#');
        ASSERT_EQ(std::fclose(f), 0);
    }
    EXPECT_TRUE(d->load_maps(true));
    EXPECT_TRUE(d->load_maps(true));
    EXPECT_EQ(count(trace.text(), "Error loading map from '" + bad + "': Invalid map header CRC."), 2u);
    ASSERT_EQ(std::remove(bad.c_str()), 0);

    // A removed file is unloaded.
    ASSERT_EQ(std::remove(folder.map_path("b.ozm").c_str()), 0);
    EXPECT_TRUE(d->load_maps(true));
    EXPECT_NE(trace.text().find("Unloaded map 'second'"), std::string::npos);
    EXPECT_EQ(d->map_by_load_number(2), nullptr);

    // With no file left the rescan changes nothing.
    ASSERT_EQ(std::remove(folder.map_path("a.ozm").c_str()), 0);
    EXPECT_FALSE(d->load_maps(true));
    auto_ptr_t<ozm_map> still(d->map_by_load_number(3));
    EXPECT_TRUE(still);
    // Load numbers are never given twice.
    ASSERT_TRUE(write_test_map(folder.map_path("d.ozm"), plain("fourth")));
    EXPECT_TRUE(d->load_maps(true));
    auto_ptr_t<ozm_map> fourth(d->map_by_load_number(4));
    ASSERT_TRUE(fourth);
    EXPECT_STREQ(fourth->get_name(), "fourth");
}

// The background task through the core's own ticks: the core is loaded
// through its loader so its threads run, and the clock moves only when
// the test moves it.
class background_test : public driver_test {
protected:
    void SetUp() override { ASSERT_NE(kiv_core()->load_library(KIV_CORE_LIBRARY), nullptr); }
};

TEST_F(background_test, ticks_reload_changed_layers_and_rescan_the_maps_every_five_seconds) {
    folder.add_map("a.ozm", plain("first"));
    std::string layer = folder.layers() + "/l.xml";
    folder.add_layer("l.xml", layer_text("old", 0));
    set_file_time(layer, 1000, 0);
    kiv_test_clock_drive(true);
    auto_ptr_t<ozm_driver> d = start_driver(folder);
    ASSERT_TRUE(d);
    trace_capture trace(trace_dir.file("trace.txt"));
    folder.add_map("b.ozm", plain("second", 2));
    folder.add_layer("l.xml", layer_text("new", 0));
    set_file_time(layer, 2000, 0);

    unsigned advanced_ms = 0;
    auto rescanned = [&] { return trace.text().find("Loaded map 'second'") != std::string::npos; };
    while (!rescanned()) {
        kiv_test_clock_advance(500);
        advanced_ms += 500;
        holds_within(rescanned, 100);
    }
    EXPECT_GE(advanced_ms, 5000u);  // the first tick only notes the time
    EXPECT_NE(trace.text().find("renderer_layer: reloaded layer 'new'"), std::string::npos);
    // The trace line comes as the map is read; it is listed just after.
    auto_ptr_t<ozm_map> second;
    eventually([&] {
        second = auto_ptr_t<ozm_map>(d->map_by_load_number(2));
        return static_cast<bool>(second);
    });
    EXPECT_STREQ(second->get_name(), "second");
}

class entry_test : public driver_test {
protected:
    void SetUp() override {
        gis = load_gis_service(trace_dir.path());
        ASSERT_TRUE(gis);
    }
    void TearDown() override {
        kiv_core()->unregister_service("svc_gis");
        kiv_set_env("KIV_OZM_MAPS_PATH", "");
        kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", "");
    }
    auto_ptr_t<i_gis_service> gis;
};

TEST_F(entry_test, the_driver_is_registered_only_with_both_folders_and_maps) {
    folder.add_layer("l.xml", layer_text("l", 0));
    const struct {
        const char* what;
        std::string maps, render;
        const char* message;
    } failures[] = {
        {"maps path unset", "", folder.render(),
         "Error loading OZM GIS driver. Environment varibale KIV_OZM_MAPS_PATH is not set or incorrect."},
        {"maps path not a folder", folder.dir.file("none"), folder.render(),
         "Error loading OZM GIS driver. Environment varibale KIV_OZM_MAPS_PATH is not set or incorrect."},
        {"render path unset", folder.maps(), "",
         "Error loading OZM GIS driver. Environment varibale KIV_OZM_RENDER_CONFIG_PATH is not set or incorrect."},
        {"empty maps folder", folder.maps(), folder.render(), "Error initializing OZM GIS driver."},
    };
    for (const auto& f : failures) {
        kiv_set_env("KIV_OZM_MAPS_PATH", f.maps.c_str());
        kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", f.render.c_str());
        trace_capture trace(trace_dir.file("trace.txt"));
        EXPECT_FALSE(kiv_ozm_test_start()) << f.what;
        EXPECT_NE(trace.text().find(f.message), std::string::npos) << f.what;
        auto_ptr_t<i_gis_driver> none(gis->get_driver_by_name("ozm"));
        EXPECT_FALSE(none) << f.what;
    }

    folder.add_map("m.ozm", plain("m"));
    kiv_set_env("KIV_OZM_MAPS_PATH", folder.maps().c_str());
    kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", folder.render().c_str());
    EXPECT_TRUE(kiv_ozm_test_start());
    auto_ptr_t<i_gis_driver> driver(gis->get_driver_by_name("ozm"));
    ASSERT_TRUE(driver);
    EXPECT_STREQ(driver->get_layers(), "l");
    gis->remove_driver(driver);
}

}  // namespace
