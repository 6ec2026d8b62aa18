// smooth_polygon_draw.cpp --
//
//     Drawing of the smooth polygon style: the polygon's steps (see
//     polygon_draw.cpp) with the path's corners turned into curves.

#include "render/geometry_styles.h"

namespace kiv {

void render_style_smooth_polygon::render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                                         i_gis_viewport* viewport) const {
    draw_polygon(features, pages, ctx, viewport, true);
}

}  // namespace kiv
