// ozm_renderer.h --
//
//     One map image for one viewport. The driver's create_renderer
//     chooses the maps, the layers, the render level and the detail
//     class and hands them over through init; render_image then collects
//     the features in view from every map once, locks the layers and the
//     pages it reads, lets every layer draw its geometry (layers in
//     order, borders first) and then its labels (layers in reverse
//     order, so the last layer places its labels first), and returns a
//     new RGBA image filled with the first layer's background colour.
//
//     A renderer keeps its maps loaded (one reference each) until it is
//     destroyed; pages are locked only during a render_image call. The
//     layers are borrowed from the driver, which outlives its renderers
//     (the GIS service holds the driver).
//
//     Threads: render_image runs on the caller's thread, which hands
//     blocks of rows of large fills to pool workers and waits for them;
//     several renderers may draw at the same time. One renderer is used
//     by one thread at a time. The drawing tools (faces, glyphs,
//     rasteriser) are borrowed from the driver for one image.

#ifndef KIV_OZM_OZM_RENDERER_H
#define KIV_OZM_OZM_RENDERER_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/object.h>
#include <kiv/gis/i_gis_driver.h>
#include <kiv/gis/i_gis_viewport.h>

#include "map/ozm_map.h"
#include "render/renderer_layer.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace kiv {

class render_tool_pool;

class ozm_renderer : public object, public virtual i_gis_renderer {
public:
    // No viewport, no maps, no layers, level and class 0 until init.
    ozm_renderer() = default;
    // Releases every map and the viewport.
    ~ozm_renderer() override;

    // Answers "i_gis_renderer".
    bool get_interface(const char* name, void** out) override;

    // Takes the lists (the maps' references pass to the renderer; the
    // layers stay the driver's), keeps a reference to `vp` (releasing the
    // one held before) and the area to draw, `box_min` its south-west and
    // `box_max` its north-east corner.
    // Returns: true.
    bool init(const std::vector<renderer_layer*>& layers, const std::vector<ozm_map*>& maps, i_gis_viewport* vp,
              uint8_t level, uint8_t detail_class, const geo_point& box_min, const geo_point& box_max);

    // Draws with drawing tools borrowed from `pool` (the driver's), kept
    // there between images; without one every image makes its own.
    void share_tools(std::shared_ptr<render_tool_pool> pool) { tools_ = std::move(pool); }

    // Returns: the sum (mod 2^32) of the maps' header versions and the
    //     layers' versions.
    unsigned get_version() override;
    // Draws the image. `allow_cache` is the caller's business.
    // Returns: a new image of the viewport's size with one reference for
    //     the caller; null when the viewport has no size or the image or
    //     the font library cannot be set up. No page stays locked and
    //     every layer's lock counter is back when it returns.
    i_image* render_image(bool allow_cache) override;

    // What init was given (borrowed; for tests and diagnostics).
    const std::deque<ozm_map*>& maps() const { return maps_; }
    const std::vector<renderer_layer*>& layers() const { return layers_; }
    uint8_t level() const { return level_; }
    uint8_t detail_class() const { return detail_class_; }
    const geo_point& box_min() const { return box_min_; }
    const geo_point& box_max() const { return box_max_; }

private:
    void release_maps();

    auto_ptr_t<i_gis_viewport> viewport_;   // one reference; null until init
    uint8_t detail_class_ = 0;              // 0..2
    uint8_t level_ = 0;                     // render level 0..16
    std::vector<renderer_layer*> layers_;   // borrowed from the driver, drawing order
    std::deque<ozm_map*> maps_;             // one reference each, highest priority first
    geo_point box_min_{0, 0};               // south-west corner of the area drawn
    geo_point box_max_{0, 0};               // north-east corner
    std::shared_ptr<render_tool_pool> tools_;  // shared with the driver; may be null
};

}  // namespace kiv

#endif
