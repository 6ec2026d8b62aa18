// style_draw_support.h --
//
//     Helpers of the drawing tests: the plain viewport (plain_viewport.h),
//     an RGBA canvas with its render
//     context, maps written and loaded in a private folder, and styles
//     made from XML text.

#ifndef KIV_TESTS_OZM_STYLE_DRAW_SUPPORT_H
#define KIV_TESTS_OZM_STYLE_DRAW_SUPPORT_H

#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/image/font_manager.h>
#include <kiv/ozm_writer/map_writer.h>

#include "map/ozm_map.h"
#include "plain_viewport.h"
#include "render/render_context.h"
#include "render/renderer_layer.h"
#include "render_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace kiv_test {

namespace w = kiv::ozm_writer;

// Pixel (x, y) as a map point of the plain viewport.
inline w::point at_px(double x, double y) {
    return w::point{float(y / px_per_degree), float(x / px_per_degree)};
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
