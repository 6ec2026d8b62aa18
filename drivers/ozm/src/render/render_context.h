// render_context.h --
//
//     What the renderer hands every style while one map image is drawn:
//     the AGG drawing target over the image, the render level and detail
//     class, one path every style reuses, the image size, the placement
//     trees of labels and of icons, the font manager, and the drawing
//     tools that live for one image (rasteriser, scanline, glyph cache).
//     Also `resolve`, through which a style reaches the geometry of a
//     feature under the image's page locks.
//
//         agg::rendering_buffer buf(pixels, w, h, int(w * 4));
//         kiv::ozm_pixfmt pixf(buf);
//         kiv::ozm_renderer_base ren(pixf);
//         kiv::font_manager fonts;
//         fonts.init();
//         kiv::render_context ctx(ren, level, detail_class, &fonts);
//         kiv::ozm::page_set pages;
//         for (auto& style : layer.styles(0))
//             style->render(features, pages, ctx, viewport);
//
//     A context belongs to one image and one thread. A caller that draws
//     image after image on one thread may hand every context the same
//     render_cache, so the faces, their glyphs and the rasteriser's
//     cells are made once instead of once an image.

#ifndef KIV_OZM_RENDER_RENDER_CONTEXT_H
#define KIV_OZM_RENDER_RENDER_CONTEXT_H

#include "map/ozm_map.h"
#include "render/placement_tree.h"

#include <agg_path_storage.h>
#include <agg_pixfmt_rgba.h>
#include <agg_renderer_base.h>
#include <agg_rendering_buffer.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kiv {

class font_manager;

namespace ozm {
class draw_tools;
}

// The image's pixels: RGBA bytes in memory order, straight alpha.
typedef agg::pixfmt_alpha_blend_rgba<agg::blender_rgba<agg::rgba8, agg::order_rgba>, agg::row_accessor<agg::int8u>>
    ozm_pixfmt;
typedef agg::renderer_base<ozm_pixfmt> ozm_renderer_base;

// The drawing state one thread keeps from one image to the next: the
// faces opened through one font manager, their loaded glyphs, the
// rasteriser and the scanlines. Opening and parsing a face costs as much
// as drawing a small image, so a view that draws many images keeps one.
// A cache serves one context at a time, of one thread, and always the
// same font manager (the first one a context brings); it must be deleted
// before that manager. Faces that failed to open are tried again in the
// next image, and the glyphs are dropped between images once there are
// more than max_glyphs (hostile names could hold any code point).
class render_cache {
public:
    static constexpr size_t max_glyphs = 4096;

    render_cache();
    ~render_cache();
    render_cache(const render_cache&) = delete;
    render_cache& operator=(const render_cache&) = delete;

    // Returns: about the bytes the cache keeps between images (the
    //     rasteriser's cells and the dash buffers; glyphs are bounded by
    //     max_glyphs).
    size_t kept_bytes() const;

private:
    friend struct render_context;
    std::unique_ptr<ozm::draw_tools> tools_;  // owned; null until a context draws
    font_manager* fonts_ = nullptr;           // not owned: the manager of tools_' faces; null: none yet
};

struct render_context {
    // `ren` must draw into an image of at least 1 × 1 pixels whose clip
    // box is the whole image; width and height are taken from it. With
    // `cache` (borrowed, see render_cache) the drawing tools come from it
    // and stay there after the context; a cache that serves another font
    // manager is left alone and the context makes its own tools.
    render_context(ozm_renderer_base& ren, uint8_t level, uint8_t detail_class, font_manager* fonts,
                   render_cache* cache = nullptr);
    ~render_context();
    render_context(const render_context&) = delete;
    render_context& operator=(const render_context&) = delete;

    ozm_renderer_base* renderer_base;  // the image, clipped to it; not owned
    uint8_t level;                     // render level 0..16
    uint8_t detail_class;              // 0..2
    agg::path_storage path;            // reused by every style; styles clear it first
    uint32_t width;                    // image size in pixels
    uint32_t height;
    placement_tree labels;             // boxes taken by labels
    font_manager* fonts;               // not owned; may be null (no labels then)
    placement_tree icons;              // boxes taken by icons

    // Rasteriser, scanlines and the glyph cache of this image (made on
    // first use, owned by the context or by its cache).
    ozm::draw_tools& tools();

private:
    std::unique_ptr<ozm::draw_tools> tools_;  // owned; null until first use or when the cache holds them
    render_cache* cache_ = nullptr;            // not owned; null: no cache
};

// Gives `entry` its geometry: locks the entry's page through `pages`
// (each page once per set) and decodes the record with the format's
// checks.
// Out: `record` = the decoded record, whose points stay valid while
//     `pages` keeps the page locked.
// Returns: false when the page cannot be locked or the record does not
//     fit in its page; the feature is then to be skipped. A name outside
//     the string pool only leaves that name null.
bool resolve(ozm::feature_entry& entry, ozm::page_set& pages, ozm::feature_record& record);

}  // namespace kiv

#endif
