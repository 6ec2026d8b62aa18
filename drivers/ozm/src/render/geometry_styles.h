// geometry_styles.h --
//
//     The styles that stroke or fill feature geometry in one colour:
//     lines ("line"), dashed lines ("dash"), filled polygons ("polygon")
//     and polygons with smoothed outlines ("smooth-polygon").

#ifndef KIV_OZM_RENDER_GEOMETRY_STYLES_H
#define KIV_OZM_RENDER_GEOMETRY_STYLES_H

#include "render/render_style.h"

#include <vector>

namespace kiv {

// A stroke of a per-level width.
class render_style_line : public render_style_base {
public:
    // Reads the base attributes, then "width".
    // Returns: false as the base does, when "width" holds no value, or
    //     when a width is not finite, is negative or exceeds 1000 pixels.
    bool init(i_xml_node* element) override;

    // Returns: the stroke width at `level` in pixels; 0 past level 16.
    double width(unsigned level) const { return level < render_level_count ? width_[level] : 0; }
    // One stroke over all features (a border instance: widened by the
    // border width on each side).
    void render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                i_gis_viewport* viewport) const override;

protected:
    double width_[render_level_count] = {};  // "width" per level, pixels
};

// A line drawn in dashes. Its border instance draws nothing.
class render_style_dash : public render_style_line {
public:
    // Reads the line's attributes, then "dash".
    // Returns: false as the line does, when "dash" holds fewer than two
    //     values, or when a value of a dash/gap pair is 0 or below (a dash
    //     pattern of no length would never end).
    bool init(i_xml_node* element) override;

    // The dash list as written: dash, gap, dash, gap, ...; an unpaired
    // last value is kept here but never drawn.
    const std::vector<int32_t>& dashes() const { return dashes_; }
    // Dashes, then a stroke over them; a border instance draws nothing.
    void render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                i_gis_viewport* viewport) const override;

private:
    std::vector<int32_t> dashes_;  // "dash", pixels; at least two values after init
};

// A fill of closed geometry; its border instance strokes the outline.
class render_style_polygon : public render_style_base {
public:
    // A non-zero fill; a border instance strokes the outlines instead.
    void render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                i_gis_viewport* viewport) const override;

protected:
    // Draws as render() does; with `smooth` the outlines' corners are
    // turned into curves (smooth value 0.5), flattened, before the fill
    // or stroke.
    void draw_polygon(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                      i_gis_viewport* viewport, bool smooth) const;
};

// A polygon whose outline is smoothed before filling or stroking.
class render_style_smooth_polygon : public render_style_polygon {
public:
    // As the polygon, with the outline smoothed and its curves flattened.
    void render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                i_gis_viewport* viewport) const override;
};

}  // namespace kiv

#endif
