// smooth_polygon_draw.cpp --
//
//     Drawing of the smooth polygon style: the polygon's path with its
//     corners turned into curves (smooth value 0.5) and the curves
//     flattened, then filled or, for a border instance, stroked.

#include <kiv/ozm/render/geometry_styles.h>

#include "render/draw_tools.h"

#include <agg_conv_curve.h>
#include <agg_conv_smooth_poly1.h>
#include <agg_conv_stroke.h>

namespace kiv {

void render_style_smooth_polygon::render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                                         i_gis_viewport* viewport) const {
    const double border = border_width(ctx.level);
    if (border_ && border <= 0)
        return;
    if (!ozm::build_path(features, first_code_, last_code_, pages, ctx, viewport, border_))
        return;
    agg::conv_smooth_poly1<agg::path_storage> smooth(ctx.path);
    smooth.smooth_value(0.5);
    agg::conv_curve<agg::conv_smooth_poly1<agg::path_storage>> curve(smooth);
    // Smoothing keeps a curve between the same vertices, so the straight
    // path's estimate (with room for the bulge) bounds the cells.
    if (border_) {
        agg::conv_stroke<decltype(curve)> stroke(curve);
        stroke.width(border);
        stroke.miter_limit(4.0);
        ozm::fill_solid(ctx, stroke, ozm::style_rgba(color_), 2 * ozm::estimate_cells(ctx, border));
    } else {
        ozm::fill_solid(ctx, curve, ozm::style_rgba(color_), 2 * ozm::estimate_cells(ctx, 0));
    }
}

}  // namespace kiv
