// render_style_dash_draw.cpp --
//
//     Drawing of the dash style: the style's path cut into dashes, then
//     stroked like a line. The dashes are laid only over the parts of the
//     path near the image (each part starting at the dash phase its
//     length along the line gives), so a line running millions of pixels
//     beyond the image does not make millions of dashes, and the dashes
//     inside stay where the whole line would put them.

#include "render/draw_tools.h"
#include "render/geometry_styles.h"

#include <agg_clip_liang_barsky.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kiv {

namespace {

// AGG keeps at most this many dash values (16 pairs).
constexpr size_t max_dash_values = 32;

// Splits each sub-path of `path` into pieces that stay within `box`:
// their points go to `xy` (x then y), piece after piece, and `out` gets
// where each piece starts.
void cut_pieces(agg::path_storage& path, const agg::rect_d& box, std::vector<ozm::dash_piece>& out,
                std::vector<double>& xy) {
    out.clear();
    xy.clear();
    double walked = 0, px = 0, py = 0;
    bool open = false;  // the last piece still takes points
    path.rewind(0);
    double x, y;
    unsigned cmd;
    while (!agg::is_stop(cmd = path.vertex(&x, &y))) {
        if (agg::is_move_to(cmd)) {
            walked = 0;
            open = false;
        } else if (agg::is_vertex(cmd)) {
            double seg = std::hypot(x - px, y - py);
            double ax = px, ay = py, bx = x, by = y;
            unsigned flags = agg::clip_line_segment(&ax, &ay, &bx, &by, box);
            if ((flags & 4) == 0) {  // some part is visible
                bool start_cut = (flags & 1) != 0;
                if (!open || start_cut) {
                    const double phase = walked + (start_cut ? std::hypot(ax - px, ay - py) : 0);
                    out.push_back(ozm::dash_piece{phase, xy.size()});
                    xy.push_back(ax);
                    xy.push_back(ay);
                }
                xy.push_back(bx);
                xy.push_back(by);
                open = (flags & 2) == 0;
            } else {
                open = false;
            }
            walked += seg;
        }
        px = x;
        py = y;
    }
}

}  // namespace

void render_style_dash::render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                               i_gis_viewport* viewport) const {
    const double width = this->width(ctx.level);
    if (border_ || width <= 0)
        return;
    if (!ozm::build_path(features, first_code_, last_code_, pages, ctx, viewport, true))
        return;
    double period = 0;
    size_t values = std::min(dashes_.size() & ~size_t(1), max_dash_values);
    for (size_t i = 0; i < values; ++i)
        period += dashes_[i];
    if (values == 0 || period <= 0)
        return;
    // A dash entering the image may start up to one period and a stroke
    // width before its edge.
    const double margin = period + width + 2;
    agg::rect_d box(-margin, -margin, ctx.width + margin, ctx.height + margin);
    ozm::draw_tools& t = ctx.tools();
    std::vector<ozm::dash_piece>& parts = t.dash_pieces;
    const std::vector<double>& xy = t.dash_points;
    cut_pieces(ctx.path, box, parts, t.dash_points);
    // Piece k's points run from xy[parts[k].begin] up to xy[end(k)].
    auto end = [&](size_t k) { return k + 1 < parts.size() ? parts[k + 1].begin : xy.size(); };

    // Cells: both sides of every piece, a cap at each end of every dash.
    double cells = 0;
    for (size_t k = 0; k < parts.size(); ++k) {
        for (size_t i = parts[k].begin + 2; i + 1 < end(k); i += 2) {
            double len = std::fabs(xy[i] - xy[i - 2]) + std::fabs(xy[i + 1] - xy[i - 1]);
            cells += 2 * (len + 2) + 4 * width + 8 + (len / period + 1) * (8 * width + 16);
        }
    }
    cells *= 1.25;
    unsigned bands = cells > ozm::band_cells ? unsigned(std::min(cells / ozm::band_cells, 1e6)) + 1 : 1;
    bands = std::max(1u, std::min(bands, ctx.height));
    agg::path_storage& one = t.dash_path;
    t.dash.attach(one);
    t.dash_stroke.attach(t.dash);
    for (unsigned b = 0; b < bands; ++b) {
        double y0 = b == 0 ? -1.0 : double(uint64_t(ctx.height) * b / bands);
        double y1 = b + 1 == bands ? ctx.height + 1.0 : double(uint64_t(ctx.height) * (b + 1) / bands);
        t.ras.clip_box(-1.0, y0, ctx.width + 1.0, y1);
        t.ras.filling_rule(agg::fill_non_zero);
        for (size_t k = 0; k < parts.size(); ++k) {
            const size_t first = parts[k].begin, last = end(k);
            if (bands > 1) {
                double lo = xy[first + 1], hi = xy[first + 1];
                for (size_t i = first + 3; i < last; i += 2) {
                    lo = std::min(lo, xy[i]);
                    hi = std::max(hi, xy[i]);
                }
                if (hi + width < y0 || lo - width > y1)
                    continue;
            }
            one.remove_all();
            one.move_to(xy[first], xy[first + 1]);
            for (size_t i = first + 2; i + 1 < last; i += 2)
                one.line_to(xy[i], xy[i + 1]);
            ozm::dasher& dash = t.dash;
            dash.remove_all_dashes();
            for (size_t i = 0; i < values; i += 2)
                dash.add_dash(dashes_[i], dashes_[i + 1]);
            dash.dash_start(std::fmod(parts[k].phase, period));
            agg::conv_stroke<ozm::dasher>& stroke = t.dash_stroke;
            stroke.width(width);
            stroke.line_join(agg::round_join);
            stroke.line_cap(agg::round_cap);
            stroke.miter_limit(4.0);
            t.ras.add_path(stroke);
        }
        t.ras.render_solid(*ctx.renderer_base, ozm::style_rgba(color_));
    }
    t.ras.reset();
}

}  // namespace kiv
