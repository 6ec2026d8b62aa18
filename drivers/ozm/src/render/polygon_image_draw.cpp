// polygon_image_draw.cpp --
//
//     Drawing of the polygon image style: the style's rings filled with
//     its picture, tiled over the plane and mirrored at every repeat, the
//     tiling anchored at the image's top-left pixel.

#include "render/draw_tools.h"
#include "render/image_styles.h"

#include <agg_image_accessors.h>
#include <agg_span_allocator.h>
#include <agg_span_pattern_rgba.h>

namespace kiv {

void render_style_polygon_image::render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                                        i_gis_viewport* viewport) const {
    if (picture_.data() == nullptr)
        return;
    if (!ozm::build_path(features, first_code_, last_code_, pages, ctx, viewport, false))
        return;
    // The picture is only read; AGG's buffer type wants a mutable pointer.
    agg::rendering_buffer buf(const_cast<agg::int8u*>(picture_.data()), picture_.width(), picture_.height(),
                              int(picture_.width() * 4));
    ozm_pixfmt source(buf);
    typedef agg::image_accessor_wrap<ozm_pixfmt, agg::wrap_mode_reflect_auto_pow2, agg::wrap_mode_reflect_auto_pow2>
        accessor;
    accessor pattern(source);
    agg::span_pattern_rgba<accessor> spans(pattern, 0, 0);
    agg::span_allocator<agg::rgba8> alloc;
    ozm::draw_tools& t = ctx.tools();
    ozm::rasterise(
        ctx, ozm::estimate_cells(ctx, 0), 1, false, [](ozm::lane& lane) { lane.cells.add_path(lane.source); },
        [&] { agg::render_scanlines_aa(t.ras, t.sl_u, *ctx.renderer_base, alloc, spans); });
}

}  // namespace kiv
