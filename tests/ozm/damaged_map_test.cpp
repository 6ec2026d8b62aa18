// damaged_map_test.cpp --
//
//     Maps damaged where the header checksum does not reach, loaded and
//     drawn through the driver: a name offset outside the string pool or
//     a map without a pool loses the name only (the road is still drawn
//     and snapped to), and a pages index listing millions of pages loads
//     without page records for pages no feature can name. A town cut
//     short inside its pages is refused with its reason, in the trace and
//     the log, both when the driver starts the way the viewer starts it
//     (the library loaded through the core's loader) and when the file is
//     dropped into the maps folder while the driver runs.

#include <kiv/core/log.h>
#include <kiv/image/i_image.h>
#include <kiv_test/core_hooks.h>

#include "../../bench/ozm_town.h"
#include "../gis/gis_loader.h"
#include "driver_test_support.h"
#include "ozm_fixtures.h"

#include <fstream>
#include <functional>
#include <iterator>

using namespace kiv;
using namespace kiv_test;
using namespace ozm_test;

namespace {

// A labelled road (code 1) running west to east through the home point.
bytes labelled_road_map() {
    kiv::ozm_writer::map_info info;
    info.name = "damaged";
    kiv::ozm_writer::map_writer w(info);
    kiv::ozm_writer::feature road;
    road.code = 1;
    road.flags = 0x40;  // road
    road.label = "Main Street";
    road.place = "Old Town";
    road.anchor = {float(home_lat), float(home_lon)};
    road.points = {{float(home_lat), float(home_lon - 0.01)}, {float(home_lat), float(home_lon + 0.01)}};
    w.add_feature(road);
    bytes out;
    std::string error;
    EXPECT_TRUE(w.build(out, error)) << error;
    return out;
}

// Red pixels of an image (the layer draws every code in red).
unsigned red_pixels(i_image* img) {
    const uint8_t* p = static_cast<const uint8_t*>(img->get_data());
    unsigned n = 0;
    for (unsigned i = 0; i < img->get_width() * img->get_height(); ++i, p += 4)
        n += p[0] > 200 && p[1] < 80 && p[2] < 80;
    return n;
}

// Red pixels of a 200 x 150 image around the home point at 1:12,000.
unsigned red_pixels_at_home(ozm_driver* driver) {
    auto_ptr_t<i_gis_viewport> vp = home_view(12000, 200, 150);
    auto_ptr_t<i_gis_renderer> r(driver->create_renderer(vp, "", ""));
    auto_ptr_t<i_image> img(r ? r->render_image(false) : nullptr);
    EXPECT_TRUE(img);
    return img ? red_pixels(img) : 0;
}

struct damage {
    const char* what;
    std::function<void(bytes&)> apply;
};

TEST(damaged_map, a_name_that_cannot_be_read_drops_the_name_and_keeps_the_road) {
    const damage cases[] = {
        {"undamaged", [](bytes&) {}},
        {"label offset outside the pool",
         [](bytes& b) {
             layout at(b);
             uint64_t record = at.pages + get_u32(b, size_t(at.features));  // feature 0 lies on page 0
             set_u32(b, size_t(record + 14), 0xFFFFFF00u);
         }},
        {"place name offset outside the pool",
         [](bytes& b) {
             layout at(b);
             uint64_t record = at.pages + get_u32(b, size_t(at.features));
             set_u32(b, size_t(record + 18), get_u32(b, at_resources_size));
         }},
        {"no string pool",
         [](bytes& b) {
             layout at(b);
             uint32_t pool = get_u32(b, at_resources_size);
             b.erase(b.begin() + long(at.resources), b.begin() + long(at.resources + pool));
             patch_header(b, at_resources_size, 0);
         }},
    };
    for (const damage& c : cases) {
        SCOPED_TRACE(c.what);
        core_session session{false};
        driver_folder folder;
        bytes file = labelled_road_map();
        c.apply(file);
        write_bytes(folder.map_path("town.ozm"), file);
        folder.add_layer("l.xml", layer_text("l", 0));
        auto_ptr_t<ozm_driver> driver = start_driver(folder);
        ASSERT_TRUE(driver);

        // Drawn: the road crosses the whole view.
        EXPECT_GT(red_pixels_at_home(driver), 150u);

        // Snapped to: a point 50 m north of it lands on it.
        geo_point pt{0, 0};
        EXPECT_TRUE(driver->lock_point_to_road(home_lat + 50 / 111000.0, home_lon, 200, pt));
        EXPECT_NEAR(pt.lat, home_lat, 1e-5);

        // Its place name is found when it could be read, and only then.
        double range = 0;
        char* text = driver->get_location_text(home_lat, home_lon, 1000, &range);
        bool named = text != nullptr && std::string(text) == "Old Town";
        std::free(text);
        EXPECT_EQ(named, std::string(c.what) == "undamaged" || std::string(c.what) == "label offset outside the pool");
    }
}

TEST(damaged_map, millions_of_pages_listed_get_records_only_for_the_pages_features_can_name) {
    core_session session{false};
    driver_folder folder;
    bytes file = labelled_road_map();
    layout at(file);
    uint32_t pages = get_u32(file, at_page_count);
    // Three million more empty pages in the index: 12 MB on disk, where a
    // record for each would take about 200 MB.
    constexpr uint32_t extra = 3000000;
    file.insert(file.begin() + long(at.features), size_t(extra) * 4, 0);
    patch_header(file, at_page_count, pages + extra);
    write_bytes(folder.map_path("town.ozm"), file);
    folder.add_layer("l.xml", layer_text("l", 0));
    auto_ptr_t<ozm_driver> driver = start_driver(folder);
    ASSERT_TRUE(driver);
    auto_ptr_t<i_object_col> maps(driver->get_maps(""));
    ASSERT_TRUE(maps);
    ASSERT_EQ(maps->get_count(), 1u);
    auto_ptr_t<i_object> item(maps->get_item_by_pos(0));
    ozm_map* map = dynamic_cast<ozm_map*>(kiv_cast_i_gis_map(item));
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->file().header().page_count, pages + extra);
    EXPECT_EQ(map->file().pages().size(), size_t(kiv::ozm::max_addressable_pages));
    EXPECT_FALSE(map->lock_page(kiv::ozm::max_addressable_pages));

    EXPECT_GT(red_pixels_at_home(driver), 150u);

    // A load still checks that the unreachable pages end in the file.
    std::string error;
    kiv::ozm::map_file checked;
    EXPECT_TRUE(checked.load(folder.map_path("town.ozm").c_str(), error)) << error;
    set_u32(file, size_t(at.features + 4 * uint64_t(extra) - 4), 1000);  // the last page claims 1000 bytes
    write_bytes(folder.map_path("cut.ozm"), file);
    kiv::ozm::map_file cut;
    EXPECT_FALSE(cut.load(folder.map_path("cut.ozm").c_str(), error));
    EXPECT_EQ(error, "Invalid map format: the pages end past the end of the file (" +
                         std::to_string(file.size()) + " bytes).");
}

// The reason traced or logged after `prefix`, up to the line's end;
// "<none>" when no line has the prefix.
std::string reason_after(const std::string& text, const std::string& prefix) {
    size_t at = text.find(prefix);
    if (at == std::string::npos)
        return "<none>";
    at += prefix.size();
    return text.substr(at, text.find('\n', at) - at);
}

TEST(damaged_map, a_cut_town_is_refused_with_its_reason_at_start_up_and_when_dropped_in_later) {
    core_session session{false};
    driver_folder folder;
    temp_dir out;
    // The core's own threads bring the background ticks; the clock moves
    // only when the test moves it.
    ASSERT_NE(kiv_core()->load_library(KIV_CORE_LIBRARY), nullptr);
    kiv_test_clock_drive(true);

    // The town of about 5,000 features, whole and cut at 60 % of its bytes.
    std::string town_path = folder.map_path("town.ozm");
    ASSERT_TRUE(kiv_bench::write_generated_town(town_path, 18));
    std::ifstream in(town_path, std::ios::binary);
    const bytes town((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(town.size(), 100000u);
    const bytes cut(town.begin(), town.begin() + long(town.size() * 6 / 10));
    write_bytes(folder.map_path("cut.ozm"), cut);
    folder.add_layer("l.xml", layer_text("l", 0));

    trace_capture trace(out.file("trace.txt"));
    std::string log_path = out.file("log.txt");
    kiv_set_log_facility(log_path.c_str());
    kiv_set_env("KIV_OZM_MAPS_PATH", folder.maps().c_str());
    kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", folder.render().c_str());
    auto_ptr_t<i_gis_service> gis = load_gis_service("/usr/share/fonts/truetype/dejavu");
    ASSERT_TRUE(gis);
    EXPECT_NE(kiv_core()->load_library(KIV_BIN_DIR "/gis_ozm_driver.so"), nullptr);
    auto_ptr_t<i_gis_driver> driver(gis->get_driver_by_name("ozm"));
    ASSERT_TRUE(driver);

    // Only the whole town loads; the cut one says why, in both channels.
    auto_ptr_t<i_object_col> maps(driver->get_maps(""));
    ASSERT_TRUE(maps);
    EXPECT_EQ(maps->get_count(), 1u);
    const std::string cut_prefix = "Error loading map from '" + folder.map_path("cut.ozm") + "': ";
    const std::string reason = reason_after(trace.text(), cut_prefix);
    EXPECT_EQ(reason.compare(0, 25, "Invalid map format: page "), 0) << reason;
    EXPECT_EQ(reason_after(read_all(log_path), cut_prefix), reason);

    // The same bytes dropped in while the driver runs: the rescan refuses
    // them with the same reason.
    write_bytes(folder.map_path("dropped.ozm"), cut);
    const std::string dropped_prefix = "Error loading map from '" + folder.map_path("dropped.ozm") + "': ";
    auto rescanned = [&] { return trace.text().find(dropped_prefix) != std::string::npos; };
    while (!rescanned()) {
        kiv_test_clock_advance(500);
        holds_within(rescanned, 100);
    }
    EXPECT_EQ(reason_after(trace.text(), dropped_prefix), reason);
    EXPECT_EQ(reason_after(read_all(log_path), dropped_prefix), reason);
    maps.reset(driver->get_maps(""));
    EXPECT_EQ(maps->get_count(), 1u);

    gis->remove_driver(driver);
    kiv_core()->unregister_service("svc_gis");
    kiv_set_log_facility("");
    kiv_set_env("KIV_OZM_MAPS_PATH", "");
    kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", "");
}

}  // namespace
