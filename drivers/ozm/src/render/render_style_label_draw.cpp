// render_style_label_draw.cpp --
//
//     Drawing of the label style: the names of labelled features through
//     the map text renderer, centred on the anchor point or along the
//     feature's line, each placed only where no earlier label of the
//     image lies. The face is opened once per image and shared by its
//     label styles.

#include <kiv/gis/i_gis_viewport.h>
#include <kiv/image/font_manager.h>

#include "render/draw_tools.h"
#include "render/label_style.h"
#include "text/ozm_text_renderer.h"

#include <memory>
#include <vector>

namespace kiv {

void render_style_label::render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                                i_gis_viewport* viewport) const {
    const int32_t size = this->size(ctx.level);
    // A size at or below 0 draws nothing.
    if (size <= 0 || viewport == nullptr)
        return;
    ozm::feature_range r = ozm::walk_features(features, first_code_, last_code_);
    if (r.begin == r.end)
        return;
    font_face* face = nullptr;
    // Made with the face, then used for every label of the style.
    std::unique_ptr<ozm_text_renderer> text;
    std::vector<pixel_point> line;
    for (auto it = r.begin; it != r.end; ++it) {
        ozm::feature_entry& entry = it->second;
        if ((entry.flags & ozm::feature_flag_labelled) == 0)
            continue;
        ozm::feature_record record;
        if (!resolve(entry, pages, record) || record.label == nullptr || *record.label == 0)
            continue;
        if (face == nullptr) {
            if (ctx.fonts == nullptr)
                return;
            face = ctx.tools().face(ctx.fonts, face_);
            if (face == nullptr || !face->set_pixel_size(unsigned(size)))
                return;
            text.reset(new ozm_text_renderer(face, face_, unsigned(size), color_, halo_size_, halo_color_));
        }
        const bool point = (entry.flags & ozm::feature_flag_point) != 0;
        if (align_ == align_center) {
            view_point pt;
            if (viewport->lc_to_dp(record.lat, record.lon, pt))
                text->draw_at_point(ctx, ctx.labels, pt.x, pt.y, record.label, offset_);
            continue;
        }
        if (point)
            continue;
        ctx.path.remove_all();
        if (ozm::add_geometry(entry, record, ctx, viewport, false) == 0)
            continue;
        line.clear();
        ctx.path.rewind(0);
        double x, y;
        unsigned cmd;
        while (!agg::is_stop(cmd = ctx.path.vertex(&x, &y))) {
            if (agg::is_vertex(cmd))
                line.push_back(pixel_point{x, y});
        }
        if (line.size() < 2)
            continue;
        if (align_ == align_along)
            text->draw_along(ctx, ctx.labels, line, record.label, label_spacing_);
        else
            text->draw_along_box(ctx, ctx.labels, line, record.label, label_spacing_, box_color_);
    }
}

}  // namespace kiv
