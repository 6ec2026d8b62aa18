// style_draw_support.h --
//
//     Helpers of the drawing tests: a viewport whose pixels are plain
//     multiples of the coordinates (x = lon × 1024, y = lat × 1024, so
//     test points are exact in float), an RGBA canvas with its render
//     context, maps written and loaded in a private folder, and styles
//     made from XML text.

#ifndef KIV_TESTS_OZM_STYLE_DRAW_SUPPORT_H
#define KIV_TESTS_OZM_STYLE_DRAW_SUPPORT_H

#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/image/font_manager.h>
#include <kiv/ozm/ozm_map.h>
#include <kiv/ozm/render/render_context.h>
#include <kiv/ozm/render/renderer_layer.h>
#include <kiv/ozm_writer/map_writer.h>

#include "render_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace kiv_test {

namespace w = kiv::ozm_writer;

constexpr double px_per_degree = 1024.0;

// Pixel (x, y) as a map point of the plain viewport.
inline w::point at_px(double x, double y) {
    return w::point{float(y / px_per_degree), float(x / px_per_degree)};
}

class plain_viewport : public kiv::object, public virtual kiv::i_gis_viewport {
public:
    plain_viewport(unsigned width, unsigned height) : width_(width), height_(height) {}
    bool get_interface(const char* name, void** out) override {
        if (std::strcmp(name, "i_gis_viewport") == 0) {
            *out = static_cast<kiv::i_gis_viewport*>(this);
            return true;
        }
        return kiv::object::get_interface(name, out);
    }
    bool set_center(double, double, unsigned) override { return false; }
    bool set_geo_extents(double, double, double, double, bool) override { return false; }
    bool get_center(kiv::geo_point&) override { return false; }
    unsigned get_scale() override { return 0; }
    bool get_geo_extents(kiv::geo_point&, kiv::geo_point&) override { return false; }
    bool set_viewport_size(unsigned, unsigned) override { return false; }
    bool get_viewport_size(kiv::view_point& pt) override {
        pt.x = int(width_);
        pt.y = int(height_);
        return true;
    }
    bool set_direction(unsigned short) override { return false; }
    unsigned short get_direction() override { return 0; }
    bool dp_to_lc(int, int, kiv::geo_point&) override { return false; }
    bool lc_to_dp(double lat, double lon, kiv::view_point& pt) override {
        double x = std::trunc(lon * px_per_degree), y = std::trunc(lat * px_per_degree);
        if (!std::isfinite(x) || !std::isfinite(y))
            return false;
        pt.x = int(std::max(-2e9, std::min(2e9, x)));
        pt.y = int(std::max(-2e9, std::min(2e9, y)));
        return true;
    }
    bool dp_to_lc2(kiv::view_point*, kiv::geo_point*, unsigned) override { return false; }
    bool lc_to_dp2(kiv::geo_point*, kiv::view_point*, unsigned) override { return false; }

private:
    unsigned width_, height_;
};

// Returns: a plain viewport with one reference for the caller.
inline kiv::i_gis_viewport* new_plain_viewport(unsigned width, unsigned height) {
    kiv::i_gis_viewport* vp = new plain_viewport(width, height);
    vp->addref();
    return vp;
}

// A white RGBA image with its AGG target and render context.
struct canvas {
    canvas(unsigned w, unsigned h, uint32_t background = 0xFFFFFFFF)
        : width(w), height(h), pixels(size_t(w) * h, background), buf(reinterpret_cast<uint8_t*>(pixels.data()), w, h,
                                                                        int(w * 4)),
          pixf(buf), ren(pixf) {
        fonts.init();
        ctx.reset(new kiv::render_context(ren, 0, 0, &fonts));
    }
    ~canvas() { ctx.reset(); }
    // Returns: the pixel as 0xAABBGGRR (bytes R, G, B, A in memory).
    uint32_t at(int x, int y) const { return pixels[size_t(y) * width + x]; }
    uint8_t red(int x, int y) const { return uint8_t(at(x, y)); }
    uint8_t green(int x, int y) const { return uint8_t(at(x, y) >> 8); }
    uint8_t blue(int x, int y) const { return uint8_t(at(x, y) >> 16); }
    bool blank() const {
        for (uint32_t p : pixels)
            if (p != 0xFFFFFFFF)
                return false;
        return true;
    }

    unsigned width, height;
    std::vector<uint32_t> pixels;
    agg::rendering_buffer buf;
    kiv::ozm_pixfmt pixf;
    kiv::ozm_renderer_base ren;
    kiv::font_manager fonts;
    std::unique_ptr<kiv::render_context> ctx;
};

// A loaded map with one reference, released at scope end.
struct loaded_map {
    kiv::ozm_map* map = new kiv::ozm_map;
    loaded_map() { map->addref(); }
    ~loaded_map() { map->release(); }
    loaded_map(const loaded_map&) = delete;
    loaded_map& operator=(const loaded_map&) = delete;
    // Writes and loads the map; false (with a test failure) when it fails.
    bool load(const w::map_writer& writer, const std::string& path) {
        std::string error;
        if (!writer.write(path, error)) {
            ADD_FAILURE() << error;
            return false;
        }
        kiv::string error_text;
        bool ok = map->load(path.c_str(), &error_text, 1, false);
        EXPECT_TRUE(ok) << error_text.get_value();
        return ok;
    }
    // Every feature of the map, unresolved, in table order.
    kiv::ozm::feature_table all() {
        kiv::ozm::feature_table table;
        const float min[2] = {-90, -180}, max[2] = {90, 180};
        map->query(min, max, 0, table);
        return table;
    }
};

inline w::feature line_feature(uint8_t code, std::vector<w::point> points, uint8_t flags = 0) {
    w::feature f;
    f.code = code;
    f.flags = flags;
    f.anchor = points.front();
    f.points = std::move(points);
    return f;
}

inline w::feature point_feature(uint8_t code, w::point p, const std::string& label = "") {
    w::feature f;
    f.code = code;
    f.flags = 0x01;
    f.anchor = p;
    f.label = label;
    return f;
}

// A style of the layer-file type `type` made from the attributes `attrs`.
inline std::unique_ptr<kiv::render_style> make_style(const std::string& type, const std::string& attrs,
                                                     bool border = false) {
    kiv::renderer_layer::config config;
    std::string text = "<layer name='t' levels='0-16'><style type='" + type + "' " + attrs + "/></layer>";
    auto_ptr_t<kiv::i_xml_node> root(xml_element(text));
    if (!root || !kiv::renderer_layer::init_styles(root, config)) {
        ADD_FAILURE() << "style refused: " << text;
        return nullptr;
    }
    kiv::renderer_layer::style_list& list = type == "label" ? config.labels : config.geometry;
    // With a "border_color" the border instance comes first.
    size_t index = border ? 0 : list.size() - 1;
    if (index >= list.size())
        return nullptr;
    return std::move(list[index]);
}

}  // namespace kiv_test

#endif
