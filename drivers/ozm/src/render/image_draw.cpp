// image_draw.cpp --
//
//     Drawing of the image style: the picture centred on each feature's
//     anchor point, where its box is still free among the icons already
//     placed on the image. An icon off the image still takes its box.

#include <kiv/gis/i_gis_viewport.h>

#include "render/draw_tools.h"
#include "render/image_styles.h"

namespace kiv {

void render_style_image::render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                                i_gis_viewport* viewport) const {
    if (picture_.data() == nullptr || viewport == nullptr)
        return;
    ozm::feature_range r = ozm::walk_features(features, first_code_, last_code_);
    if (r.begin == r.end)
        return;
    agg::rendering_buffer buf(const_cast<agg::int8u*>(picture_.data()), picture_.width(), picture_.height(),
                              int(picture_.width() * 4));
    ozm_pixfmt icon(buf);
    const double w = picture_.width(), h = picture_.height();
    for (auto it = r.begin; it != r.end; ++it) {
        ozm::feature_record record;
        if (!resolve(it->second, pages, record))
            continue;
        view_point pt;
        if (!viewport->lc_to_dp(record.lat, record.lon, pt))
            continue;
        const double x = pt.x, y = pt.y;
        const double x1 = x - w / 2 - 1, x2 = x + w / 2 + 1, y1 = y - h / 2 - 1, y2 = y + h / 2 + 1;
        if (!ctx.icons.is_free(float(x1), float(y1), float(x2), float(y2)))
            continue;
        ctx.icons.add(float(x1), float(y1), float(x2), float(y2));
        if (x2 < -5 || y2 < -5 || y1 > ctx.height + 5.0 || x1 > ctx.width + 5.0)
            continue;
        ctx.renderer_base->blend_from(icon, nullptr, pt.x - int(picture_.width() / 2),
                                      pt.y - int(picture_.height() / 2), 255);
    }
}

}  // namespace kiv
