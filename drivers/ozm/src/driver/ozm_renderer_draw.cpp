// ozm_renderer_draw.cpp --
//
//     The drawing of one map image: the features in view are looked up
//     once per image through every map's R-tree and shared by all styles
//     of all layers; the layers are locked for the image (a reload waits)
//     and every page that a style reads is locked once and let go when
//     the image is done, whatever path the drawing took. Geometry goes
//     first, layer by layer in drawing order; then the labels, the last
//     layer first, so the layer of highest priority places its labels
//     first and wins where labels collide.

#include <kiv/image/font_manager.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>

#include "driver/ozm_renderer.h"
#include "driver/render_tools.h"
#include "render/draw_tools.h"
#include "render/render_context.h"

namespace kiv {

namespace {

// Holds the layers locked for the scope of one image.
class layer_locks {
public:
    explicit layer_locks(const std::vector<renderer_layer*>& layers) : layers_(layers) {
        for (renderer_layer* layer : layers_)
            layer->lock();
    }
    ~layer_locks() {
        for (renderer_layer* layer : layers_)
            layer->unlock();
    }
    layer_locks(const layer_locks&) = delete;
    layer_locks& operator=(const layer_locks&) = delete;

private:
    const std::vector<renderer_layer*>& layers_;
};

}  // namespace

i_image* ozm_renderer::render_image(bool) {
    if (!viewport_)
        return nullptr;
    view_point size{0, 0};
    if (!viewport_->get_viewport_size(size) || size.x <= 0 || size.y <= 0)
        return nullptr;
    unsigned width = unsigned(size.x);
    unsigned height = unsigned(size.y);

    // Declared before the layer locks, so the pages are let go after the
    // layers, on every way out.
    ozm::page_set pages;
    layer_locks locks(layers_);

    // Only the features some style draws at this level are looked up: at
    // a town's middle levels most features in view are buildings and
    // house numbers that no style shows there.
    ozm::code_set codes;
    for (renderer_layer* layer : layers_)
        layer->add_codes(level_, codes);
    ozm::feature_table features;
    const float min[2] = {float(box_min_.lat), float(box_min_.lon)};
    const float max[2] = {float(box_max_.lat), float(box_max_.lon)};
    for (ozm_map* map : maps_)
        map->query(min, max, detail_class_, features, &codes);

    uint32_t background = layers_.empty() ? 0xFFFFFFFFu : layers_.front()->get_bg_color();
    if ((background >> 24) == 0)
        background |= 0xFF000000u;
    auto_ptr_t<i_image> image(kiv_image_create(width, height, background));  // its one reference
    if (!image)
        return nullptr;
    uint8_t* pixels = static_cast<uint8_t*>(const_cast<void*>(image->get_data()));
    if (pixels == nullptr || uint64_t(image->get_data_size()) < uint64_t(width) * height * 4)
        return nullptr;

    // The tools come from the driver's pool when there is one; they go
    // back after the context that draws with them.
    std::unique_ptr<render_tool_pool::tools> borrowed = tools_ ? tools_->take() : nullptr;
    std::unique_ptr<render_tool_pool::tools> own;
    if (!borrowed) {
        own.reset(new (std::nothrow) render_tool_pool::tools);
        if (!own || !own->fonts.init())
            return nullptr;
    }
    render_tool_pool::tools& set = borrowed ? *borrowed : *own;

    agg::rendering_buffer buffer(pixels, width, height, int(width * 4));
    ozm_pixfmt format(buffer);
    ozm_renderer_base base(format);
    base.clip_box(0, 0, int(width) - 1, int(height) - 1);
    {
        render_context context(base, level_, detail_class_, &set.fonts, &set.cache);
        context.tools().ras.use_crew(&set.crew);
        for (renderer_layer* layer : layers_)
            layer->render(features, pages, context, viewport_, 0);
        for (auto it = layers_.rbegin(); it != layers_.rend(); ++it)
            (*it)->render(features, pages, context, viewport_, 1);
        context.tools().ras.use_crew(nullptr);
        // The context (and its faces and glyph cache) goes before the
        // font manager.
    }
    if (borrowed)
        tools_->give_back(std::move(borrowed));
    return image.detach();
}

}  // namespace kiv
