// agg_draw.cpp --
//
//     AGG's scanline rasteriser over the RGBA buffer of an i_image (see
//     agg_draw.h). The buffer is drawn in place, as renderers do.

#include "agg_draw.h"

#include <kiv/image/i_image.h>

#include <agg_conv_stroke.h>
#include <agg_ellipse.h>
#include <agg_path_storage.h>
#include <agg_pixfmt_rgba.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_renderer_base.h>
#include <agg_renderer_scanline.h>
#include <agg_rendering_buffer.h>
#include <agg_scanline_u.h>

#include <cstdint>

namespace kiv_addin {

namespace {

agg::rgba8 to_rgba8(unsigned colour) {
    return agg::rgba8(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF, (colour >> 24) & 0xFF);
}

// Rasterises `shape` into the image in `colour`.
template <class Shape>
bool draw(kiv::i_image* image, Shape& shape, unsigned colour) {
    if (image == nullptr || image->get_data() == nullptr)
        return false;
    unsigned w = image->get_width(), h = image->get_height();
    if (w == 0 || h == 0 || static_cast<uint64_t>(w) * h * 4 > image->get_data_size())
        return false;
    agg::rendering_buffer buffer(static_cast<agg::int8u*>(const_cast<void*>(image->get_data())), w, h,
                                 static_cast<int>(w * 4));
    agg::pixfmt_rgba32 pixels(buffer);
    agg::renderer_base<agg::pixfmt_rgba32> base(pixels);
    agg::renderer_scanline_aa_solid<agg::renderer_base<agg::pixfmt_rgba32>> solid(base);
    agg::rasterizer_scanline_aa<> rasterizer;
    agg::scanline_u8 scanline;
    rasterizer.add_path(shape);
    solid.color(to_rgba8(colour));
    agg::render_scanlines(rasterizer, scanline, solid);
    return true;
}

void polygon_path(agg::path_storage& path, const double* xy, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        if (i == 0)
            path.move_to(xy[0], xy[1]);
        else
            path.line_to(xy[2 * i], xy[2 * i + 1]);
    }
    path.close_polygon();
}

}  // namespace

bool fill_ellipse(kiv::i_image* image, double cx, double cy, double r, unsigned colour) {
    agg::ellipse ellipse(cx, cy, r, r, 0);
    return draw(image, ellipse, colour);
}

bool fill_polygon(kiv::i_image* image, const double* xy, unsigned count, unsigned colour) {
    if (xy == nullptr || count < 3)
        return false;
    agg::path_storage path;
    polygon_path(path, xy, count);
    return draw(image, path, colour);
}

bool stroke_polygon(kiv::i_image* image, const double* xy, unsigned count, double width, unsigned colour) {
    if (xy == nullptr || count < 2)
        return false;
    agg::path_storage path;
    polygon_path(path, xy, count);
    agg::conv_stroke<agg::path_storage> stroke(path);
    stroke.width(width);
    stroke.line_join(agg::round_join);
    stroke.line_cap(agg::round_cap);
    return draw(image, stroke, colour);
}

}  // namespace kiv_addin
