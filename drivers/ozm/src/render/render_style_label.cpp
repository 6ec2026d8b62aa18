// render_style_label.cpp --
//
//     Attributes of the label style.

#include <kiv/core/i_xml.h>

#include "render/label_style.h"
#include "render/style_attributes.h"

#include <cstring>

namespace kiv {

namespace {

// Largest glyph size a label may ask for, in pixels.
constexpr int max_label_size = 1000;

}  // namespace

bool render_style_label::init(i_xml_node* element) {
    if (!render_style_base::init(element))
        return false;
    const char* align = element->get_attribute("align");
    if (std::strcmp(align, "along") == 0)
        align_ = align_along;
    else if (std::strcmp(align, "center") == 0)
        align_ = align_center;
    else if (std::strcmp(align, "along-box") == 0)
        align_ = align_along_box;
    else
        return false;
    // Sizes run from level 0 whatever the style's levels are.
    if (render_attr::fill_levels(element->get_attribute("size"), 0, max_label_size, size_) <= 0)
        return false;
    face_ = element->get_attribute("face");
    if (face_.empty())
        return false;
    label_spacing_ = render_attr::to_int(element->get_attribute("label_spacing"));
    halo_size_ = render_attr::to_int(element->get_attribute("halo_size"));
    halo_color_ = halo_size_ != 0 ? render_attr::to_color(element->get_attribute("halo_color")) : 0;
    box_color_ = render_attr::to_color(element->get_attribute("border_color"));
    offset_ = render_attr::to_int(element->get_attribute("offset"));
    return true;
}

}  // namespace kiv
