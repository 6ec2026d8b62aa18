// polygon_draw.cpp --
//
//     Drawing of the polygon style: every ring of the style in one path,
//     filled once with the non-zero rule (every point counts, however far
//     from the view); a border instance strokes the outlines with AGG's
//     stroke defaults instead.

#include <kiv/ozm/render/geometry_styles.h>

#include "render/draw_tools.h"

#include <agg_conv_stroke.h>

namespace kiv {

void render_style_polygon::render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                                  i_gis_viewport* viewport) const {
    const double border = border_width(ctx.level);
    if (border_ && border <= 0)
        return;
    if (!ozm::build_path(features, first_code_, last_code_, pages, ctx, viewport, border_))
        return;
    if (border_) {
        agg::conv_stroke<agg::path_storage> stroke(ctx.path);
        stroke.width(border);
        stroke.miter_limit(4.0);
        ozm::fill_solid(ctx, stroke, ozm::style_rgba(color_), ozm::estimate_cells(ctx, border));
    } else {
        ozm::fill_solid(ctx, ctx.path, ozm::style_rgba(color_), ozm::estimate_cells(ctx, 0));
    }
}

}  // namespace kiv
