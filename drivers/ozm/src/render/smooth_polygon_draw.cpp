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
    ozm::draw_tools& t = ctx.tools();
    const agg::rgba8 color = ozm::style_rgba(color_);
    const double stroke = border_ ? border : 0;
    // The curves run through the same vertices and bulge out by less than
    // a ring's own size, so twice the straight estimate bounds the cells.
    ozm::rasterise(
        ctx, 2 * ozm::estimate_cells(ctx, stroke), 2 * stroke + 1, true,
        [&](agg::path_storage& path) {
            agg::conv_smooth_poly1<agg::path_storage> smooth(path);
            smooth.smooth_value(0.5);
            agg::conv_curve<agg::conv_smooth_poly1<agg::path_storage>> curve(smooth);
            if (border_) {
                agg::conv_stroke<decltype(curve)> outline(curve);
                outline.width(border);
                outline.miter_limit(4.0);
                t.ras.add_path(outline);
            } else {
                t.ras.add_path(curve);
            }
        },
        [&] { agg::render_scanlines_aa_solid(t.ras, t.sl_p, *ctx.renderer_base, color); });
}

}  // namespace kiv
