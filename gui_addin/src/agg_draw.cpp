// agg_draw.cpp --
//
//     AGG's scanline rasteriser over the RGBA buffer of an i_image (see
//     agg_draw.h). The buffer is drawn in place, as renderers do. The
//     system's pixels are not premultiplied, so shapes are laid on with
//     AGG's plain blender: a translucent colour over a transparent pixel
//     leaves that colour itself, where the premultiplied blender would
//     darken it by its alpha (and fringe every anti-aliased edge).

#include "agg_draw.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/image/font_manager.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>
#include <kiv/image/text_renderer.h>

#include <agg_conv_stroke.h>
#include <agg_ellipse.h>
#include <agg_path_storage.h>
#include <agg_pixfmt_rgba.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_renderer_base.h>
#include <agg_renderer_scanline.h>
#include <agg_rendering_buffer.h>
#include <agg_rounded_rect.h>
#include <agg_scanline_u.h>

#include <cstdint>
#include <memory>

namespace kiv_addin {

namespace {

agg::rgba8 to_rgba8(unsigned colour) {
    return agg::rgba8(colour & 0xFF, (colour >> 8) & 0xFF, (colour >> 16) & 0xFF, (colour >> 24) & 0xFF);
}

// "Over" for plain colours into a plain buffer, in full precision and
// rounded once. AGG's own plain blender passes through premultiplied
// 8-bit values and back, which moves a translucent colour laid on a
// transparent pixel by a step or two; here it stays exactly itself.
struct plain_blender : agg::blender_rgba_plain<agg::rgba8, agg::order_rgba> {
    static void blend_pix(value_type* p, value_type cr, value_type cg, value_type cb, value_type alpha,
                          agg::cover_type cover) {
        blend_pix(p, cr, cg, cb, agg::rgba8::mult_cover(alpha, cover));
    }
    static void blend_pix(value_type* p, value_type cr, value_type cg, value_type cb, value_type alpha) {
        if (alpha == 0)
            return;
        // Weights in units of 1/(255 * 255): the colour's own, and what
        // shows through of the pixel under it.
        uint32_t own = alpha * 255u;
        uint32_t under = p[agg::order_rgba::A] * (255u - alpha);
        uint32_t total = own + under;  // never 0: alpha > 0
        auto mix = [&](value_type c, value_type& d) {
            d = static_cast<value_type>((c * own + d * under + total / 2) / total);
        };
        mix(cr, p[agg::order_rgba::R]);
        mix(cg, p[agg::order_rgba::G]);
        mix(cb, p[agg::order_rgba::B]);
        p[agg::order_rgba::A] = static_cast<value_type>((total + 127) / 255);
    }
};
using plain_pixfmt = agg::pixfmt_alpha_blend_rgba<plain_blender, agg::rendering_buffer>;

// Points `buffer` at the image's RGBA pixels.
// Returns: false for a null or empty image, or one whose data is shorter
//     than its size says (the buffer is then left as it was).
bool attach(kiv::i_image* image, agg::rendering_buffer& buffer) {
    if (image == nullptr || image->get_data() == nullptr)
        return false;
    unsigned w = image->get_width(), h = image->get_height();
    if (w == 0 || h == 0 || static_cast<uint64_t>(w) * h * 4 > image->get_data_size())
        return false;
    buffer.attach(static_cast<agg::int8u*>(const_cast<void*>(image->get_data())), w, h, static_cast<int>(w * 4));
    return true;
}

// Rasterises `shape` into the image in `colour`.
template <class Shape>
bool draw(kiv::i_image* image, Shape& shape, unsigned colour) {
    agg::rendering_buffer buffer;
    if (!attach(image, buffer))
        return false;
    plain_pixfmt pixels(buffer);
    agg::renderer_base<plain_pixfmt> base(pixels);
    agg::renderer_scanline_aa_solid<agg::renderer_base<plain_pixfmt>> solid(base);
    agg::rasterizer_scanline_aa<> rasterizer;
    agg::scanline_u8 scanline;
    rasterizer.add_path(shape);
    solid.color(to_rgba8(colour));
    agg::render_scanlines(rasterizer, scanline, solid);
    return true;
}

// Appends the open polyline of `count` points (x0, y0, x1, y1, ...).
void polyline_path(agg::path_storage& path, const double* xy, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        if (i == 0)
            path.move_to(xy[0], xy[1]);
        else
            path.line_to(xy[2 * i], xy[2 * i + 1]);
    }
}

void polygon_path(agg::path_storage& path, const double* xy, unsigned count) {
    polyline_path(path, xy, count);
    path.close_polygon();
}

// Strokes the `count` points with round joins and caps, as a closed
// outline when `closed`. Returns: false for fewer than two points.
bool stroke_points(kiv::i_image* image, const double* xy, unsigned count, bool closed, double width,
                   unsigned colour) {
    if (xy == nullptr || count < 2)
        return false;
    agg::path_storage path;
    if (closed)
        polygon_path(path, xy, count);
    else
        polyline_path(path, xy, count);
    agg::conv_stroke<agg::path_storage> stroke(path);
    stroke.width(width);
    stroke.line_join(agg::round_join);
    stroke.line_cap(agg::round_cap);
    return draw(image, stroke, colour);
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
    return stroke_points(image, xy, count, true, width, colour);
}

}  // namespace kiv_addin

// --- overlays of the measuring and geozone modes -----------------------------

namespace kiv_addin {

bool fill_rounded_rect(kiv::i_image* image, double x0, double y0, double x1, double y1, double radius,
                       unsigned colour) {
    agg::rounded_rect rect(x0, y0, x1, y1, radius);
    rect.normalize_radius();
    return draw(image, rect, colour);
}

bool stroke_polyline(kiv::i_image* image, const double* xy, unsigned count, double width, unsigned colour) {
    return stroke_points(image, xy, count, false, width, colour);
}

bool draw_track(kiv::i_image* image, const double* xy, unsigned count, double width, double disc_radius,
                unsigned colour) {
    if (image == nullptr || image->get_data() == nullptr || xy == nullptr || count == 0)
        return false;
    unsigned w = image->get_width(), h = image->get_height();
    if (w == 0 || h == 0)
        return false;
    // The parts are drawn opaque onto a clear layer (overlaps merge), the
    // layer's coverage is scaled to the colour's alpha and laid on once.
    auto_ptr_t<kiv::i_image> layer(kiv_image_create(w, h, 0x00FFFFFFu));
    if (!layer || layer->get_data() == nullptr ||
        static_cast<uint64_t>(w) * h * 4 > layer->get_data_size())
        return false;
    unsigned opaque = colour | 0xFF000000u;
    if (count >= 2)
        stroke_polyline(layer.get(), xy, count, width, opaque);
    for (unsigned i = 0; i < count; ++i)
        fill_ellipse(layer.get(), xy[2 * i], xy[2 * i + 1], disc_radius, opaque);
    unsigned alpha = colour >> 24;
    auto* px = static_cast<unsigned char*>(const_cast<void*>(layer->get_data()));
    for (uint64_t i = 0, n = static_cast<uint64_t>(w) * h; i < n; ++i)
        px[i * 4 + 3] = static_cast<unsigned char>(px[i * 4 + 3] * alpha / 255);
    return image->blend_image(layer.get(), 0, 0, 255);
}

struct label_font::impl {
    kiv::font_manager fonts;
    std::unique_ptr<kiv::font_face> face;
    std::unique_ptr<kiv::text_renderer> text;
};

label_font::label_font(unsigned pixel_size, unsigned colour) : impl_(new impl) {
    if (!impl_->fonts.init())
        return;
    impl_->face.reset(impl_->fonts.create_face("DejaVuSans-Bold"));
    if (!impl_->face || !impl_->face->set_pixel_size(pixel_size))
        return;
    impl_->text.reset(new kiv::text_renderer(impl_->face.get(), to_rgba8(colour), 0, agg::rgba8(0, 0, 0, 0)));
    renderer_ = impl_->text.get();
}

label_font::~label_font() {
    impl_->text.reset();  // before its face, the face before the manager
    impl_->face.reset();
    delete impl_;
}

bool label_font::set_pixel_size(unsigned pixel_size) {
    return ok() && impl_->face->set_pixel_size(pixel_size);
}

bool label_font::set_text(const char* text, unsigned& width, unsigned& height) {
    width = height = 0;
    return ok() && impl_->text->set_text(text, width, height);
}

bool label_font::render(kiv::i_image* image, int x, int y) {
    agg::rendering_buffer buffer;
    if (!ok() || !attach(image, buffer))
        return false;
    kiv::text_pixfmt pixels(buffer);
    kiv::text_renderer_base base(pixels);
    return impl_->text->render(base, x, y);
}

}  // namespace kiv_addin
