// render_style.cpp --
//
//     The attributes every render style reads: colour, level range, code
//     range and the per-level border width.

#include <kiv/core/i_xml.h>

#include "render/parse_range.h"
#include "render/render_style.h"
#include "render/style_attributes.h"

namespace kiv {

bool render_style_base::init(i_xml_node* element) {
    if (element == nullptr)
        return false;
    const char* color = element->get_attribute("color");
    if (color_required_ && *color == 0)
        return false;
    color_ = render_attr::to_color(color);
    unsigned first = 0, last = 0;
    if (!parse_range(element->get_attribute("levels"), 0, render_level_count - 1, first, last))
        return false;
    first_level_ = static_cast<uint8_t>(first);
    last_level_ = static_cast<uint8_t>(last);
    if (!parse_range(element->get_attribute("features"), 1, 255, first, last))
        return false;
    first_code_ = static_cast<uint8_t>(first);
    last_code_ = static_cast<uint8_t>(last);
    return render_attr::fill_levels(element->get_attribute("border_width"), first_level_, render_attr::max_pixels,
                                    border_width_) >= 0;
}

bool render_style_base::set_color(uint32_t color) {
    color_ = color;
    border_ = true;
    return true;
}

bool render_style_base::is_visible(uint8_t level) const {
    return first_level_ <= level && level <= last_level_;
}

}  // namespace kiv
