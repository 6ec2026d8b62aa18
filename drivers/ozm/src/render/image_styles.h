// image_styles.h --
//
//     The styles that draw a picture from the render configuration's
//     "images" folder: icons at points ("image"), polygons tiled with the
//     picture ("polygon-image") and lines along which the picture runs
//     ("line-image"). None of them uses "color".

#ifndef KIV_OZM_RENDER_IMAGE_STYLES_H
#define KIV_OZM_RENDER_IMAGE_STYLES_H

#include "render/render_style.h"

#include <cstdint>

namespace kiv {

// Loads the style picture `name`: the PNG file
// "${KIV_OZM_RENDER_CONFIG_PATH}/images/<name>.png".
// Out: `data` = the RGBA pixels (rows top to bottom, width × 4 bytes a
//     row), a malloc-ed block the caller frees with free(); `width`,
//     `height` = the picture's size. Untouched on failure.
// Returns: false for a null or empty name, a name holding "/", "\" or
//     "$" (a picture never comes from outside the folder), an unset
//     variable or a file that does not load as an image.
// Safe from any thread (the core must be running: the path is expanded
// through its string service).
bool load_style_image(const char* name, uint8_t*& data, unsigned& width, unsigned& height);

// The pixels of a style picture, owned: freed with free() when the owner
// goes or loads another picture.
class style_picture {
public:
    style_picture() = default;
    style_picture(const style_picture&) = delete;
    style_picture& operator=(const style_picture&) = delete;
    ~style_picture();

    // Loads the picture named by the element's "file" attribute through
    // load_style_image. Returns: false when the name is empty or the
    //     picture does not load (the old picture is kept then).
    bool load(i_xml_node* element);

    const uint8_t* data() const { return data_; }
    unsigned width() const { return width_; }
    unsigned height() const { return height_; }

private:
    uint8_t* data_ = nullptr;  // malloc-ed RGBA rows, owned; null: no picture
    unsigned width_ = 0;
    unsigned height_ = 0;
};

// What the picture styles share: no colour, and the picture named by
// "file".
class render_style_picture : public render_style_base {
public:
    // Reads the base attributes ("color" may be empty), then "file".
    // Returns: false as the base does, or when the picture does not load.
    bool init(i_xml_node* element) override;
    const style_picture& picture() const { return picture_; }

protected:
    style_picture picture_;  // "file"
};

// An icon drawn centred on each feature's anchor point.
class render_style_image : public render_style_picture {
public:
    // Icons at anchor points that find their box free in the icon tree.
    void render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                i_gis_viewport* viewport) const override;
};

// A polygon fill tiled with the picture, mirrored at every repeat.
class render_style_polygon_image : public render_style_picture {
public:
    // A fill tiled from the image's top-left pixel.
    void render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                i_gis_viewport* viewport) const override;
};

// A line as thick as the picture is high, with the picture running along it.
class render_style_line_image : public render_style_picture {
public:
    // As render_style_picture::init, then "flags".
    bool init(i_xml_node* element) override;
    // Returns: the feature flags mask: a feature is drawn only when its
    //     flags share a bit with it; 0 draws every feature.
    uint8_t flags_mask() const { return flags_mask_; }
    // Each feature on its own, the picture running along it.
    void render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                i_gis_viewport* viewport) const override;

protected:
    uint8_t flags_mask_ = 0;  // "flags", low byte; 0: no filter
};

}  // namespace kiv

#endif
