// standin_snapshot.cpp --
//
//     Draws the stand-in control's snapshots: the visible layers of the
//     loaded charts, each in the order its file declares them, areas as
//     filled and outlined boxes, points as dots, coloured by the class
//     code. The picture is drawn straight into the pixel rows of a
//     24-bit bottom-up BMP (AGG's row accessor with a negative stride
//     turns the rows over), then the two headers are put in front.

#include "standin_control.h"

#include <agg_conv_stroke.h>
#include <agg_ellipse.h>
#include <agg_path_storage.h>
#include <agg_pixfmt_rgb.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_renderer_base.h>
#include <agg_renderer_scanline.h>
#include <agg_rendering_buffer.h>
#include <agg_scanline_u.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace kiv {

namespace {

const unsigned max_side = 16384;                // pixels a side
const uint64_t max_pixel_bytes = 256ull << 20;  // bytes of pixel rows

struct class_style {
    const char* prefix;
    agg::rgba8 fill;
    agg::rgba8 line;
};

// First match wins; the empty prefix catches every other class.
const class_style styles[] = {
    {"41", agg::rgba8(236, 226, 204), agg::rgba8(190, 170, 140)},   // towns
    {"42", agg::rgba8(236, 226, 204), agg::rgba8(190, 170, 140)},   // villages
    {"451", agg::rgba8(255, 255, 255), agg::rgba8(150, 150, 150)},  // roads by code
    {"ST", agg::rgba8(255, 255, 255), agg::rgba8(150, 150, 150)},   // streets
    {"RD", agg::rgba8(255, 236, 160), agg::rgba8(200, 160, 80)},    // main roads
    {"BL", agg::rgba8(196, 130, 100), agg::rgba8(120, 70, 50)},     // buildings
    {"WA", agg::rgba8(170, 205, 235), agg::rgba8(100, 145, 200)},   // water
    {"PK", agg::rgba8(200, 228, 176), agg::rgba8(130, 170, 110)},   // parks
    {"", agg::rgba8(205, 205, 205), agg::rgba8(120, 120, 120)},
};

const class_style& style_of(const std::string& cls) {
    for (const class_style& s : styles)
        if (cls.compare(0, std::strlen(s.prefix), s.prefix) == 0)
            return s;
    return styles[sizeof styles / sizeof styles[0] - 1];
}

void put_le(std::vector<unsigned char>& out, size_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

typedef agg::pixfmt_bgr24 pixfmt;
typedef agg::renderer_base<pixfmt> base_renderer;

class painter {
public:
    painter(base_renderer& ren, double north, double west, double south, double east, unsigned width,
            unsigned height)
        : ren_(ren), north_(north), west_(west), kx_(width / (east - west)), ky_(height / (north - south)),
          width_(width), height_(height) {}

    void draw(const chart_object& obj) {
        const class_style& style = style_of(obj.cls);
        double x0 = x_of(obj.min_lon), x1 = x_of(obj.max_lon);
        double y0 = y_of(obj.max_lat), y1 = y_of(obj.min_lat);
        if (obj.area) {
            // Boxes are cut to a margin around the view first, so a box
            // far larger than the view never reaches AGG's integer range.
            x0 = clamp_x(x0), x1 = clamp_x(x1), y0 = clamp_y(y0), y1 = clamp_y(y1);
            if (x1 - x0 < 1)
                x1 = x0 + 1;
            if (y1 - y0 < 1)
                y1 = y0 + 1;
            agg::path_storage box;
            box.move_to(x0, y0);
            box.line_to(x1, y0);
            box.line_to(x1, y1);
            box.line_to(x0, y1);
            box.close_polygon();
            fill(box, style.fill);
            agg::conv_stroke<agg::path_storage> outline(box);
            outline.width(1.0);
            fill(outline, style.line);
        } else {
            if (x0 < -10 || y0 < -10 || x0 > width_ + 10.0 || y0 > height_ + 10.0)
                return;
            agg::ellipse dot(x0, y0, 3.5, 3.5, 16);
            fill(dot, style.line);
        }
    }

private:
    double x_of(double lon) const { return (lon - west_) * kx_; }
    double y_of(double lat) const { return (north_ - lat) * ky_; }
    double clamp_x(double x) const { return std::min(std::max(x, -4.0), width_ + 4.0); }
    double clamp_y(double y) const { return std::min(std::max(y, -4.0), height_ + 4.0); }

    template <class Source>
    void fill(Source& src, const agg::rgba8& colour) {
        ras_.reset();
        ras_.add_path(src);
        agg::render_scanlines_aa_solid(ras_, sl_, ren_, colour);
    }

    base_renderer& ren_;
    double north_, west_, kx_, ky_;
    unsigned width_, height_;
    agg::rasterizer_scanline_aa<> ras_;
    agg::scanline_u8 sl_;
};

}  // namespace

bool draw_chart_snapshot(const std::vector<const chart*>& maps, double north, double west, double south,
                         double east, unsigned width, unsigned height, std::vector<unsigned char>& bmp) {
    if (width == 0 || height == 0 || width > max_side || height > max_side)
        return false;
    if (!std::isfinite(north) || !std::isfinite(south) || !std::isfinite(west) || !std::isfinite(east) ||
        north <= south || east <= west)
        return false;
    const uint64_t stride = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
    const uint64_t pixel_bytes = stride * height;
    if (pixel_bytes > max_pixel_bytes)
        return false;
    const size_t header = 54;
    bmp.assign(header + pixel_bytes, 0);
    put_le(bmp, 0, 0x4D42, 2);  // "BM"
    put_le(bmp, 2, static_cast<uint32_t>(header + pixel_bytes), 4);
    put_le(bmp, 10, header, 4);
    put_le(bmp, 14, 40, 4);
    put_le(bmp, 18, width, 4);
    put_le(bmp, 22, height, 4);  // positive: rows stored bottom-up
    put_le(bmp, 26, 1, 2);
    put_le(bmp, 28, 24, 2);
    put_le(bmp, 34, static_cast<uint32_t>(pixel_bytes), 4);
    put_le(bmp, 38, 2835, 4);  // 72 dpi
    put_le(bmp, 42, 2835, 4);

    agg::rendering_buffer rows(bmp.data() + header, width, height, -static_cast<int>(stride));
    pixfmt pixels(rows);
    base_renderer ren(pixels);
    ren.clear(agg::rgba8(245, 242, 236));
    painter paint(ren, north, west, south, east, width, height);
    for (const chart* map : maps) {
        for (size_t layer = 0; layer < map->layers.size(); ++layer) {
            if ((map->layers[layer].state & 3u) == 2u)
                continue;
            for (int pass = 0; pass < 2; ++pass)  // areas, then points on top
                for (const chart_object& obj : map->objects)
                    if (obj.layer == layer && obj.area == (pass == 0))
                        paint.draw(obj);
        }
    }
    return true;
}

}  // namespace kiv
