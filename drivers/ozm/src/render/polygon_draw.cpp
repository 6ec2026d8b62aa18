// polygon_draw.cpp --
//
//     Drawing of the polygon styles: every ring of the style in one path,
//     filled once with the non-zero rule (every point counts, however far
//     from the view); a border instance strokes the outlines with AGG's
//     stroke defaults instead. The smooth polygon turns the path's
//     corners into curves first and draws through the same steps.

#include "render/draw_tools.h"
#include "render/geometry_styles.h"

namespace kiv {

namespace {

// Adds `shape` to `cells`: as it is for a fill, or through `outline`
// (which reads it) `border` pixels wide for a border instance.
template <class Shape>
void add_shape(ozm::cell_lane& cells, Shape& shape, agg::conv_stroke<Shape>& outline, bool border_instance,
               double border) {
    if (!border_instance) {
        cells.add_path(shape);
        return;
    }
    outline.width(border);
    outline.miter_limit(4.0);
    cells.add_path(outline);
}

}  // namespace

void render_style_polygon::render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                                  i_gis_viewport* viewport) const {
    draw_polygon(features, pages, ctx, viewport, false);
}

void render_style_polygon::draw_polygon(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                                        i_gis_viewport* viewport, bool smooth) const {
    const double border = border_width(ctx.level);
    if (border_ && border <= 0)
        return;
    if (!ozm::build_path(features, first_code_, last_code_, pages, ctx, viewport, border_))
        return;
    ozm::draw_tools& t = ctx.tools();
    const agg::rgba8 color = ozm::style_rgba(color_);
    // Miter joins reach out at most the miter limit times half the width.
    const double stroke = border_ ? border : 0;
    // Curves run through the same vertices and bulge out by less than a
    // ring's own size, so twice the straight estimate bounds their cells.
    const double cells = smooth ? 2 * ozm::estimate_cells(ctx, stroke) : ozm::estimate_cells(ctx, stroke);
    ozm::rasterise(
        ctx, cells, 2 * stroke + 1, smooth,
        [&](ozm::lane& lane) {
            if (!smooth) {
                add_shape(lane.cells, lane.source, lane.outline, border_, border);
                return;
            }
            lane.smooth_poly.smooth_value(0.5);
            add_shape(lane.cells, lane.curve, lane.curve_outline, border_, border);
        },
        [&] { t.ras.render_solid(*ctx.renderer_base, color); });
}

}  // namespace kiv
