// ozm_text_renderer.cpp --
//
//     Measuring, placing and drawing map labels. Glyph outlines come from
//     the image's glyph cache; a placed glyph is a copy of the cached
//     outline turned and moved with FT_Glyph_Transform and rasterised,
//     kept by turn and sub-pixel offset so that a glyph placed again is
//     only shifted; its coverage serves both the halo (glyph_halo.h) and
//     the text pass. Where the copies along a line start comes from
//     label_copies.h; the modes here place and draw each copy.

#include <kiv/core/utf8.h>
#include <kiv/image/font_face.h>

#include "render/draw_tools.h"
#include "text/glyph_cache.h"
#include "text/ozm_text_renderer.h"

#include <agg_conv_stroke.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kiv {

namespace {

constexpr double pi = 3.14159265358979323846;

// The rendered glyphs kept from label to label and image to image take
// at most this much memory, pixels and records together.
constexpr size_t max_raster_bytes = size_t(16) << 20;

agg::rgba8 opaque_if_zero(uint32_t c) {
    return ozm::style_rgba(c);
}

}  // namespace

ozm_text_renderer::ozm_text_renderer(font_face* face, const std::string& face_name, unsigned pixels, uint32_t color,
                                     int halo, uint32_t halo_color)
    : face_(face), face_name_(face_name), pixels_(pixels), color_(opaque_if_zero(color)),
      halo_(halo >= 1 && halo <= 255 ? halo : 0), halo_color_(opaque_if_zero(halo_color)) {}

bool ozm_text_renderer::measure(render_context& ctx, const char* text, double& width, double& height,
                                unsigned& count) {
    items_.clear();
    width_ = height_ = 0;
    if (text == nullptr || *text == 0 || face_ == nullptr)
        return false;
    ozm::glyph_cache& cache = ctx.tools().glyphs;
    const unsigned key = cache.face_key(face_name_, pixels_);
    FT_Face face = face_->get_face();
    unsigned chars = 0;
    for (const char* p = text; *p != 0;) {
        uint32_t code = 0;
        const char* next = nullptr;
        if (!kiv_get_unicode_char(p, &code, &next) || next == nullptr || next <= p) {
            items_.clear();
            return false;
        }
        p = next;
        if (++chars > max_glyphs) {
            items_.clear();
            return false;
        }
        const ozm::cached_glyph* g = cache.get(face, key, code);
        if (g == nullptr)
            continue;
        items_.push_back(glyph_item{g, g->advance, g->height});
        width_ += g->advance;
        height_ = std::max(height_, g->height);
    }
    width = width_;
    height = height_;
    count = unsigned(items_.size());
    return true;
}

void ozm_text_renderer::draw_run(render_context& ctx, double ox, double oy, const std::vector<placed_glyph>& glyphs) {
    const int w = int(ctx.width), h = int(ctx.height);
    ozm::glyph_cache& cache = ctx.tools().glyphs;
    cache.trim_rasters(max_raster_bytes);
    std::vector<halo_glyph> bitmaps;
    bitmaps.reserve(glyphs.size());
    // Glyphs farther than this from the image are left out: they could not
    // touch it, and FreeType's coordinates stay small.
    const double far = 1e6;
    for (const placed_glyph& pg : glyphs) {
        double gx = ox + pg.x, gy = (h - oy) + pg.y;
        if (!(std::fabs(gx) < far && std::fabs(gy) < far))
            continue;
        // A glyph whose pixels and halo cannot reach the image adds
        // nothing to it: most glyphs of a long name lie outside a small
        // image, and rasterising them is most of the label's cost.
        const double reach = pg.glyph->reach + halo_ + 2;
        if (gx + reach < 0 || gx - reach > w || gy + reach < 0 || gy - reach > h)
            continue;
        FT_Matrix mat;
        mat.xx = FT_Fixed(std::lround(std::cos(pg.angle) * 65536));
        mat.xy = FT_Fixed(std::lround(-std::sin(pg.angle) * 65536));
        mat.yx = FT_Fixed(std::lround(std::sin(pg.angle) * 65536));
        mat.yy = FT_Fixed(std::lround(std::cos(pg.angle) * 65536));
        // The glyph moved by the sub-pixel part of its place, then shifted
        // by the whole pixels: the bitmap FreeType makes at the full place.
        const FT_Pos dx = FT_Pos(std::lround(gx * 64)), dy = FT_Pos(std::lround(gy * 64));
        const FT_BitmapGlyph bg = cache.raster(pg.glyph, mat, dx & 63, dy & 63);
        if (bg == nullptr)
            continue;
        const FT_Pos left = bg->left + (dx >> 6), top = bg->top + (dy >> 6);
        // FreeType refuses a bitmap beyond 16-bit pixel coordinates.
        if (left < -0x8000 || left + FT_Pos(bg->bitmap.width) > 0x7FFF || top - FT_Pos(bg->bitmap.rows) < -0x8000 ||
            top > 0x7FFF)
            continue;
        bitmaps.push_back(halo_glyph{&bg->bitmap, int(left), h - int(top)});
    }
    ozm_pixfmt& pixf = ctx.renderer_base->ren();
    auto pixel = [&](int x, int y) { return pixf.row_ptr(y) + 4 * x; };

    if (halo_ > 0)
        halo_drawer_.draw(pixf.row_ptr(0), pixf.stride(), bitmaps, halo_, halo_color_, blend_rule::toward_zero, 0, 0,
                          w, h);
    for (const halo_glyph& b : bitmaps) {
        const FT_Bitmap* bm = b.bitmap;
        for (unsigned row = 0; row < bm->rows; ++row) {
            const int y = b.top + int(row);
            if (y < 0 || y >= h)
                continue;
            const uint8_t* src = bm->buffer + ptrdiff_t(row) * bm->pitch;
            for (unsigned col = 0; col < bm->width; ++col) {
                const int x = b.left + int(col);
                if (x >= 0 && x < w)
                    blend_toward_zero(pixel(x, y), color_, src[col]);
            }
        }
    }
}

bool ozm_text_renderer::draw_at_point(render_context& ctx, placement_tree& placement, double x, double y,
                                      const char* text, int offset) {
    double width, height;
    unsigned count;
    if (!measure(ctx, text, width, height, count))
        return false;
    const double x0 = x - width / 2, x1 = x + width / 2;
    const double y0 = y - height / 2 + 1 + offset, y1 = y + height / 2 + 1 + offset;
    if (!placement.is_free(float(x0 - 1), float(y0 - 1), float(x1 + 1), float(y1 + 1)))
        return false;
    placement.add(float(x0 - 1), float(y0 - 1), float(x1 + 1), float(y1 + 1));
    if (x1 < -5 || y1 < -5 || y0 > ctx.height + 5.0 || x0 > ctx.width + 5.0)
        return true;
    std::vector<placed_glyph> glyphs;
    glyphs.reserve(items_.size());
    double pen = 0;
    for (const glyph_item& item : items_) {
        glyphs.push_back(placed_glyph{pen, 0, 0, item.glyph});
        pen += item.advance;
    }
    // The baseline sits where a line label's would: half the text height,
    // less one pixel, below the centre.
    draw_run(ctx, x0, y + height / 2 - 1 + offset, glyphs);
    return true;
}

bool ozm_text_renderer::place_along(render_context& ctx, placement_tree& placement,
                                    const std::vector<pixel_point>& path, const std::vector<double>& lengths,
                                    size_t& cursor, double start, std::vector<placed_glyph>& out,
                                    std::vector<box>& boxes, pixel_point& origin) {
    out.clear();
    boxes.clear();
    const size_t segments = path.size() - 1;
    while (cursor < segments && lengths[cursor + 1] < start)
        ++cursor;
    if (cursor >= segments || start < 0)
        return false;
    size_t j = cursor;
    double seg_len = lengths[j + 1] - lengths[j];
    if (seg_len <= 0)
        return false;
    const pixel_point& a0 = path[j];
    const pixel_point& a1 = path[j + 1];
    const double t = (start - lengths[j]) / seg_len;
    const pixel_point s{a0.x + (a1.x - a0.x) * t, a0.y + (a1.y - a0.y) * t};
    double a = std::atan2(-(a1.y - a0.y), a1.x - a0.x);
    const bool reversed = std::fabs(a) > pi / 2;
    // Copies that start too far from the image to reach it are dropped.
    // The distance is taken from the image's centre: measured from the
    // corner (m, m) it would also drop copies at the far corner of a
    // large image, inside the view.
    const double m = std::max(ctx.width, ctx.height);
    if (std::hypot(s.x - ctx.width / 2.0, s.y - ctx.height / 2.0) - width_ > m + 200)
        return false;
    pixel_point p = a1;
    double rem = std::hypot(p.x - s.x, p.y - s.y);
    const double half = height_ / 2 - 1;
    const size_t n = items_.size();
    for (size_t i = 0; i < n; ++i) {
        const glyph_item& item = items_[reversed ? n - 1 - i : i];
        const double gw = item.advance, gh = item.height;
        const double before = a;
        bool moved = false;
        while (rem < gw) {
            if (++j >= segments)
                return false;
            const pixel_point& b0 = path[j];
            const pixel_point& b1 = path[j + 1];
            rem += lengths[j + 1] - lengths[j];
            a = std::atan2(-(b1.y - b0.y), b1.x - b0.x);
            p = b1;
            moved = true;
        }
        if (moved) {
            double turn = std::remainder(a - before, 2 * pi);
            if (std::fabs(turn) > 2 * pi / 3)
                return false;
        }
        const double c = std::cos(a), sn = std::sin(a);
        const double x = p.x - c * rem + sn * half;
        const double y = p.y + sn * rem + c * half;
        const double xs[4] = {x, x + c * gw, x - sn * gh, x + c * gw - sn * gh};
        const double ys[4] = {y, y - sn * gw, y - c * gh, y - sn * gw - c * gh};
        box bx{*std::min_element(xs, xs + 4), *std::min_element(ys, ys + 4), *std::max_element(xs, xs + 4),
               *std::max_element(ys, ys + 4)};
        if (!placement.is_free(float(bx.x0), float(bx.y0), float(bx.x1), float(bx.y1)))
            return false;
        boxes.push_back(bx);
        double px = x, py = y, angle = a;
        if (reversed) {
            px = x + c * gw - sn * (height_ - 2);
            py = y - sn * gw - c * (height_ - 2);
            angle = a + pi;
        }
        out.push_back(placed_glyph{px - s.x, s.y - py, angle, item.glyph});
        rem -= gw;
    }
    origin = s;
    return true;
}

bool ozm_text_renderer::start_along(render_context& ctx, const std::vector<pixel_point>& path, const char* text,
                                    int spacing, bool centred, along_line& line) {
    double width, height;
    unsigned count;
    if (path.size() < 2 || !measure(ctx, text, width, height, count))
        return false;
    line.lengths.assign(path.size(), 0);
    for (size_t i = 1; i < path.size(); ++i)
        line.lengths[i] =
            line.lengths[i - 1] + std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y);
    const double length = line.lengths.back();
    line.copies = label_copies();
    line.copies.n = 0;
    if (!(length >= width))
        return true;
    // No cap of the mode's own: copies out of reach are passed over.
    const double centre = centred ? length / 2 : length / 2 - width / 2;
    line.copies = make_label_copies(length, width, spacing, centre, std::numeric_limits<uint64_t>::max());
    const double m = std::max(ctx.width, ctx.height);
    line.reach = m + 200 + width;
    return true;
}

bool ozm_text_renderer::draw_along(render_context& ctx, placement_tree& placement,
                                   const std::vector<pixel_point>& path, const char* text, int spacing) {
    along_line line;
    if (!start_along(ctx, path, text, spacing, false, line))
        return false;
    const std::vector<double>& lengths = line.lengths;
    size_t cursor = 0;
    std::vector<placed_glyph> glyphs;
    std::vector<box> boxes;
    for_each_label_copy_near(line.copies, path, lengths, ctx.width / 2.0, ctx.height / 2.0, line.reach,
                             [&](uint64_t, double start) {
        pixel_point origin{0, 0};
        if (!place_along(ctx, placement, path, lengths, cursor, start, glyphs, boxes, origin))
            return;
        box all = boxes.empty() ? box{origin.x, origin.y, origin.x, origin.y} : boxes[0];
        for (const box& b : boxes) {
            all.x0 = std::min(all.x0, b.x0);
            all.y0 = std::min(all.y0, b.y0);
            all.x1 = std::max(all.x1, b.x1);
            all.y1 = std::max(all.y1, b.y1);
        }
        if (!(all.x1 < -5 || all.y1 < -5 || all.y0 > ctx.height + 5.0 || all.x0 > ctx.width + 5.0))
            draw_run(ctx, origin.x, origin.y, glyphs);
        for (const box& b : boxes)
            placement.add(float(b.x0 - 1), float(b.y0 - 1), float(b.x1 + 1), float(b.y1 + 1));
    });
    return true;
}

bool ozm_text_renderer::draw_along_box(render_context& ctx, placement_tree& placement,
                                       const std::vector<pixel_point>& path, const char* text, int spacing,
                                       uint32_t box_color) {
    along_line line;
    if (!start_along(ctx, path, text, spacing, true, line))
        return false;
    const std::vector<double>& lengths = line.lengths;
    const double width = width_, height = height_;
    const int h = halo_;
    const int saved_halo = halo_;
    halo_ = 0;
    const agg::rgba8 fill = ozm::style_rgba(box_color);
    size_t cursor = 0;
    const size_t segments = path.size() - 1;
    std::vector<placed_glyph> glyphs;
    double pen = 0;
    // The rows the text's ink spans above the baseline: the box is
    // centred on cy + 1, and so is the ink, whatever part of the em box
    // the text uses (digits and capitals stand on the baseline).
    double ink_top = 0, ink_bottom = 0;
    for (const glyph_item& item : items_) {
        glyphs.push_back(placed_glyph{pen, 0, 0, item.glyph});
        pen += item.advance;
        ink_top = glyphs.size() == 1 ? item.glyph->top : std::max(ink_top, item.glyph->top);
        ink_bottom = glyphs.size() == 1 ? item.glyph->bottom : std::min(ink_bottom, item.glyph->bottom);
    }
    const double baseline = 1 + (ink_top + ink_bottom) / 2;
    // Boxes whose centre lies this far from the image can neither show nor
    // meet a label that shows.
    for_each_label_copy_near(line.copies, path, lengths, ctx.width / 2.0, ctx.height / 2.0, line.reach + 2 * h,
                             [&](uint64_t, double at) {
        while (cursor < segments && lengths[cursor + 1] < at)
            ++cursor;
        if (cursor >= segments)
            return;
        const double seg = lengths[cursor + 1] - lengths[cursor];
        const double tpos = seg > 0 ? (at - lengths[cursor]) / seg : 0;
        const pixel_point& a0 = path[cursor];
        const pixel_point& a1 = path[cursor + 1];
        const double cx = a0.x + (a1.x - a0.x) * tpos, cy = a0.y + (a1.y - a0.y) * tpos;
        const double x0 = cx - width / 2 - h, x1 = cx + width / 2 + h;
        const double y0 = cy - height / 2 + 1 - h, y1 = cy + height / 2 + 1 + h;
        if (!placement.is_free(float(x0 - 2), float(y0 - 2), float(x1 + 2), float(y1 + 2)))
            return;
        placement.add(float(x0 - 2), float(y0 - 2), float(x1 + 2), float(y1 + 2));
        if (x1 < -5 || y1 < -5 || y0 > ctx.height + 5.0 || x0 > ctx.width + 5.0)
            return;
        agg::path_storage rect;
        rect.move_to(x0, y0);
        rect.line_to(x1, y0);
        rect.line_to(x1, y1);
        rect.line_to(x0, y1);
        rect.close_polygon();
        ozm::fill_once(ctx, rect, fill);
        agg::conv_stroke<agg::path_storage> outline(rect);
        outline.width(1.0);
        ozm::fill_once(ctx, outline, halo_color_);
        draw_run(ctx, cx - width / 2, cy + baseline, glyphs);
    });
    halo_ = saved_halo;
    return true;
}

}  // namespace kiv
