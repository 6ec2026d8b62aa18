// label_style.h --
//
//     The label style ("label"): feature names drawn with a TrueType face,
//     centred on points, along lines, or along lines inside a box.

#ifndef KIV_OZM_RENDER_LABEL_STYLE_H
#define KIV_OZM_RENDER_LABEL_STYLE_H

#include "render/render_style.h"

#include <string>

namespace kiv {

class render_style_label : public render_style_base {
public:
    // Placement of the text ("align").
    enum align_t : uint8_t {
        align_along = 0,      // "along": along the line
        align_center = 1,     // "center": centred on the anchor point
        align_along_box = 2,  // "along-box": along the line, in a box
    };

    // Reads the base attributes, then "align", "size", "face",
    // "label_spacing", "halo_size", "halo_color" (only when the halo size
    // is not 0), "border_color" (the box colour; empty: opaque black) and
    // "offset".
    // Returns: false as the base does, for an "align" other than exactly
    //     "along", "center" or "along-box", a "size" with no value or a
    //     size below 0 or above 1000 pixels, or an empty "face".
    bool init(i_xml_node* element) override;

    align_t align() const { return align_; }
    // Returns: the glyph size at `level` in pixels; 0 past level 16.
    int32_t size(unsigned level) const { return level < render_level_count ? size_[level] : 0; }
    int32_t label_spacing() const { return label_spacing_; }
    int32_t halo_size() const { return halo_size_; }
    uint32_t halo_color() const { return halo_color_; }
    const std::string& face() const { return face_; }
    uint32_t box_color() const { return box_color_; }
    int32_t offset() const { return offset_; }
    // The labels of labelled features, placed through the context's
    // label tree by the map text renderer.
    void render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                i_gis_viewport* viewport) const override;

private:
    align_t align_ = align_along;
    int32_t size_[render_level_count] = {};  // "size" per level from level 0, pixels
    int32_t label_spacing_ = 0;              // "label_spacing"
    int32_t halo_size_ = 0;                  // "halo_size"; 0: no halo
    uint32_t halo_color_ = 0;                // "halo_color"; 0 without a halo
    std::string face_;                       // "face": the font file's name without ".ttf"
    uint32_t box_color_ = 0;                 // "border_color": the "along-box" box
    int32_t offset_ = 0;                     // "offset", for "center" labels
};

}  // namespace kiv

#endif
