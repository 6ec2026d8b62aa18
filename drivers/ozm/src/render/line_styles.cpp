// line_styles.cpp --
//
//     Attributes of the line and dash styles: the per-level stroke width
//     and the dash pattern.

#include <kiv/core/i_xml.h>

#include "render/geometry_styles.h"
#include "render/style_attributes.h"

#include <climits>

namespace kiv {

bool render_style_line::init(i_xml_node* element) {
    if (!render_style_base::init(element))
        return false;
    return render_attr::fill_levels(element->get_attribute("width"), first_level_, render_attr::max_pixels,
                                    width_) > 0;
}

bool render_style_dash::init(i_xml_node* element) {
    if (!render_style_line::init(element))
        return false;
    std::vector<std::string> items = render_attr::split_list(element->get_attribute("dash"));
    if (items.size() < 2)
        return false;
    dashes_.clear();
    dashes_.reserve(items.size());
    for (const std::string& item : items)
        dashes_.push_back(render_attr::to_int(item.c_str()));
    for (size_t i = 0; i + 1 < dashes_.size(); i += 2) {
        if (dashes_[i] <= 0 || dashes_[i + 1] <= 0)
            return false;
    }
    return true;
}

}  // namespace kiv
