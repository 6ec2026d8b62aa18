// render_style.h --
//
//     The root of the render styles and the base every style class shares.
//     A style is one "style" element of a render layer file: it draws the
//     features whose code lies in its "features" range, at the render
//     levels of its "levels" range. After `init` a style is plain,
//     read-only data; each class draws itself from that data in its own
//     source file, so the renderer and the layer loader see only this
//     root.
//
//     Styles are made and owned by renderer_layer. They are not
//     reference-counted and never cross a library boundary by pointer
//     ownership: the layer deletes them.

#ifndef KIV_OZM_RENDER_RENDER_STYLE_H
#define KIV_OZM_RENDER_RENDER_STYLE_H

#include "map/ozm_map.h"

#include <cstdint>

namespace kiv {

class i_xml_node;
class i_gis_viewport;
struct render_context;

// Number of render levels: 0 (most detailed) to 16.
constexpr unsigned render_level_count = 17;

class render_style {
public:
    render_style() = default;
    render_style(const render_style&) = delete;
    render_style& operator=(const render_style&) = delete;
    virtual ~render_style() = default;

    // Reads the style's attributes from its "style" element.
    // Returns: false at the first missing or bad attribute (the style
    //     must then be deleted); true when the style is ready.
    // Changes: every field of the style. Called once, by the layer loader.
    virtual bool init(i_xml_node* element) = 0;
    // Turns the style into a border instance drawn in `color`.
    // Returns: true.
    virtual bool set_color(uint32_t color) = 0;
    // Returns: whether `level` lies within the style's level range.
    virtual bool is_visible(uint8_t level) const = 0;
    // Draws the style's features of `features` (codes in its range, in
    // table order) into the context's image at the context's level. The
    // geometry is reached through resolve() under `pages`; a feature whose
    // page or record fails is skipped, and nothing is reported.
    // Changes: the geometry pointers of the entries it resolves, `pages`,
    //     the context's path, trees and image. Called between the layer's
    //     lock and unlock, on the image's thread.
    virtual void render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                        i_gis_viewport* viewport) const = 0;
};

// The attributes every style has: "color", "levels", "features",
// "border_width". Colours are 32-bit values with R in bits 0-7 and A in
// bits 24-31 (bytes R, G, B, A in memory).
class render_style_base : public virtual render_style {
public:
    // Reads "color", "levels" (0..16), "features" (1..255) and
    // "border_width" in that order.
    // Returns: false when "color" is empty while the style requires it,
    //     a range is missing or bad, or a border width is not finite, is
    //     negative or exceeds 1000 pixels.
    bool init(i_xml_node* element) override;
    bool set_color(uint32_t color) override;
    bool is_visible(uint8_t level) const override;

    uint8_t first_level() const { return first_level_; }
    uint8_t last_level() const { return last_level_; }
    uint32_t color() const { return color_; }
    uint8_t first_code() const { return first_code_; }
    uint8_t last_code() const { return last_code_; }
    bool is_border() const { return border_; }
    // Returns: the border width at `level` in pixels; 0 past level 16.
    double border_width(unsigned level) const { return level < render_level_count ? border_width_[level] : 0; }

protected:
    uint8_t first_level_ = 0;                       // "levels"
    uint8_t last_level_ = 0;
    uint32_t color_ = 0;                            // "color", or the border colour
    uint8_t first_code_ = 0;                        // "features"; 0 until init
    uint8_t last_code_ = 0;
    bool border_ = false;                           // set_color made this a border instance
    double border_width_[render_level_count] = {};  // "border_width" per level, pixels
    bool color_required_ = true;                    // the image styles clear it: they draw no colour
};

}  // namespace kiv

#endif
