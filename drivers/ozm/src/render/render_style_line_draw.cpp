// render_style_line_draw.cpp --
//
//     Drawing of the line style: every feature of the style in one path,
//     stroked once with round joins and caps. A border instance strokes
//     the same path wider, before the line itself is drawn.

#include "render/draw_tools.h"
#include "render/geometry_styles.h"

namespace kiv {

void render_style_line::render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                               i_gis_viewport* viewport) const {
    const unsigned level = ctx.level;
    double width = this->width(level);
    if (width <= 0 || (border_ && border_width(level) <= 0))
        return;
    if (border_)
        width += 2 * border_width(level);
    if (!ozm::build_path(features, first_code_, last_code_, pages, ctx, viewport, true))
        return;
    ozm::draw_tools& t = ctx.tools();
    const agg::rgba8 color = ozm::style_rgba(color_);
    ozm::rasterise(
        ctx, ozm::estimate_cells(ctx, width), width, false,
        [&](ozm::lane& lane) {
            agg::conv_stroke<ozm::path_range>& stroke = lane.line_stroke;
            stroke.width(width);
            stroke.line_join(agg::round_join);
            stroke.line_cap(agg::round_cap);
            stroke.miter_limit(4.0);
            lane.cells.add_path(stroke);
        },
        [&] { t.ras.render_solid(*ctx.renderer_base, color); });
}

}  // namespace kiv
