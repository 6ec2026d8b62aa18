// driver_test_support.h --
//
//     Helpers of the driver and renderer tests: a folder with "maps" and
//     "render/layers", small maps written by the map writer around a
//     fixed point, layer files, and views centred on that point.

#ifndef KIV_TESTS_OZM_DRIVER_TEST_SUPPORT_H
#define KIV_TESTS_OZM_DRIVER_TEST_SUPPORT_H

#include <kiv/core/files.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/ozm_writer/map_writer.h>

#include "driver/ozm_driver.h"
#include "driver/ozm_renderer.h"
#include "render_test_support.h"

#include <string>
#include <vector>

namespace kiv_test {

// Every test map lies around this point.
constexpr double home_lat = 53.90;
constexpr double home_lon = 27.55;

// What one test map looks like.
struct test_map {
    std::string name;
    uint8_t priority = 0;
    uint8_t min_level = 0;
    uint8_t max_level = 16;
    uint32_t flags = 0;
    uint32_t version = 1;
    // Half the side of the map's square around the home point, in
    // degrees; the map lies elsewhere when `away` is set.
    double half_side = 1.0;
    bool away = false;
    // A coverage polygon over the whole square.
    bool coverage = false;
};

inline bool write_test_map(const std::string& path, const test_map& m, std::string* error_out = nullptr) {
    kiv::ozm_writer::map_info info;
    info.name = m.name;
    info.tags = "test";
    info.priority = m.priority;
    info.min_level = m.min_level;
    info.max_level = m.max_level;
    info.flags = m.flags;
    info.map_version = m.version;
    kiv::ozm_writer::map_writer w(info);
    float lat = float(m.away ? home_lat - 20 : home_lat);
    float lon = float(m.away ? home_lon - 20 : home_lon);
    float d = float(m.half_side);
    kiv::ozm_writer::feature f;
    f.code = 1;
    f.anchor = {lat, lon};
    f.points = {{lat - d, lon - d}, {lat + d, lon + d}};
    w.add_feature(f);
    if (m.coverage) {
        kiv::ozm_writer::feature c;
        c.code = 0;
        c.flags = 0x80;
        c.anchor = {lat, lon};
        c.points = {{lat - d, lon - d}, {lat - d, lon + d}, {lat + d, lon + d}, {lat + d, lon - d}};
        w.add_feature(c);
    }
    std::string error;
    bool ok = w.write(path, error);
    if (error_out != nullptr)
        *error_out = error;
    return ok;
}

// A layer file drawing every code as a red line.
inline std::string layer_text(const std::string& name, int priority, const std::string& levels = "0-16") {
    return "<layer name='" + name + "' priority='" + std::to_string(priority) + "' levels='" + levels +
           "'><style type='line' features='1-255' levels='0-16' color='FF0000' width='2'/></layer>";
}

// A folder with "maps" and "render/layers".
class driver_folder {
public:
    driver_folder() {
        EXPECT_TRUE(kiv_make_path(maps().c_str()));
        EXPECT_TRUE(kiv_make_path(layers().c_str()));
        EXPECT_TRUE(kiv_make_path((render() + "/images").c_str()));
    }
    std::string maps() const { return dir.path() + "/maps"; }
    std::string render() const { return dir.path() + "/render"; }
    std::string layers() const { return dir.path() + "/render/layers"; }
    std::string map_path(const std::string& file) const { return maps() + "/" + file; }

    void add_map(const std::string& file, const test_map& m) const {
        EXPECT_TRUE(write_test_map(map_path(file), m)) << file;
    }
    void add_layer(const std::string& file, const std::string& text) const { put_file(layers() + "/" + file, text); }

    temp_dir dir;
};

// A driver with one reference, or null when init failed.
inline auto_ptr_t<kiv::ozm_driver> start_driver(const driver_folder& folder) {
    auto_ptr_t<kiv::ozm_driver> driver(new kiv::ozm_driver);
    driver->addref();
    if (!driver->init(folder.maps().c_str(), folder.render().c_str()))
        driver.reset();
    return driver;
}

// An 800 x 600 view centred on the home point.
inline auto_ptr_t<kiv::i_gis_viewport> home_view(unsigned scale, unsigned width = 800, unsigned height = 600) {
    auto_ptr_t<kiv::i_gis_viewport> vp(kiv_gis_create_viewport(width, height));
    EXPECT_TRUE(vp);
    if (vp) {
        EXPECT_TRUE(vp->set_center(home_lat, home_lon, scale));
    }
    return vp;
}

// The renderer behind a create_renderer result (one reference held).
inline auto_ptr_t<kiv::ozm_renderer> as_ozm(kiv::i_gis_renderer* r) {
    auto_ptr_t<kiv::ozm_renderer> out(dynamic_cast<kiv::ozm_renderer*>(r));
    if (r != nullptr && !out)
        r->release();
    return out;
}

// The names of a renderer's maps, in its order.
inline std::vector<std::string> map_names(const kiv::ozm_renderer& r) {
    std::vector<std::string> names;
    for (kiv::ozm_map* m : r.maps())
        names.push_back(m->get_name());
    return names;
}

}  // namespace kiv_test

#endif
