// image_styles.cpp --
//
//     Loading of style pictures and the attributes of the three picture
//     styles. The picture name comes from a layer file, so it may only
//     name a file inside the render configuration's "images" folder.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/files.h>
#include <kiv/core/absolute_path.h>
#include <kiv/core/i_xml.h>
#include <kiv/image/image_lib.h>

#include "render/image_styles.h"
#include "render/style_attributes.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace kiv {

bool load_style_image(const char* name, uint8_t*& data, unsigned& width, unsigned& height) {
    if (name == nullptr || *name == 0 || std::strpbrk(name, "/\\$") != nullptr)
        return false;
    std::string rel = std::string("${KIV_OZM_RENDER_CONFIG_PATH}/images/") + name + ".png";
    std::string path = kiv::absolute_path(rel);
    if (path.empty())
        return false;
    auto_ptr_t<i_image> img(kiv_image_load(path.c_str()));
    if (!img)
        return false;
    void* pixels = const_cast<void*>(img->get_data());
    unsigned w = img->get_width();
    unsigned h = img->get_height();
    if (pixels == nullptr || w == 0 || h == 0)
        return false;
    // detach forgets the size too, so it is taken first.
    img->detach();
    data = static_cast<uint8_t*>(pixels);
    width = w;
    height = h;
    return true;
}

style_picture::~style_picture() {
    std::free(data_);
}

bool style_picture::load(i_xml_node* element) {
    uint8_t* data = nullptr;
    unsigned width = 0, height = 0;
    if (!load_style_image(element->get_attribute("file"), data, width, height))
        return false;
    std::free(data_);
    data_ = data;
    width_ = width;
    height_ = height;
    return true;
}

bool render_style_picture::init(i_xml_node* element) {
    color_required_ = false;
    return render_style_base::init(element) && picture_.load(element);
}

bool render_style_line_image::init(i_xml_node* element) {
    if (!render_style_picture::init(element))
        return false;
    flags_mask_ = static_cast<uint8_t>(render_attr::to_int(element->get_attribute("flags")));
    return true;
}

}  // namespace kiv
