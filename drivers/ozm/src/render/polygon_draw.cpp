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
    ozm::draw_tools& t = ctx.tools();
    const agg::rgba8 color = ozm::style_rgba(color_);
    // Miter joins reach out at most the miter limit times half the width.
    const double stroke = border_ ? border : 0;
    ozm::rasterise(
        ctx, ozm::estimate_cells(ctx, stroke), 2 * stroke + 1, false,
        [&](agg::path_storage& path) {
            if (border_) {
                agg::conv_stroke<agg::path_storage> outline(path);
                outline.width(border);
                outline.miter_limit(4.0);
                t.ras.add_path(outline);
            } else {
                t.ras.add_path(path);
            }
        },
        [&] { agg::render_scanlines_aa_solid(t.ras, t.sl_p, *ctx.renderer_base, color); });
}

}  // namespace kiv
