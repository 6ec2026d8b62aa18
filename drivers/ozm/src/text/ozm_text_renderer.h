// ozm_text_renderer.h --
//
//     The text of map labels: glyphs of a TrueType face drawn into the
//     image of a rendering with an optional halo, centred on a point,
//     bent along a line, or in small boxes repeated along a line. Every
//     label first reserves its boxes in a placement tree; a label that
//     would overlap an earlier one is not drawn.
//
//         kiv::ozm_text_renderer text(face, "DejaVuSans", 12, 0xFF000000, 2, 0xFFFFFFFF);
//         text.draw_at_point(ctx, ctx.labels, 120, 80, "Moscow", 0);
//
//     Glyphs come from the context's glyph cache, so a face name and size
//     always stand for the same face file at the same size within one
//     image. One renderer serves the labels of one style in turn, keeping
//     its buffers from label to label. One thread (the image's).

#ifndef KIV_OZM_TEXT_OZM_TEXT_RENDERER_H
#define KIV_OZM_TEXT_OZM_TEXT_RENDERER_H

#include <kiv/image/glyph_halo.h>
#include <kiv/image/label_copies.h>

#include "render/render_context.h"

#include <cstdint>
#include <string>
#include <vector>

namespace kiv {

class font_face;

namespace ozm {
struct cached_glyph;
}

// A point of a line in image pixels (y downwards).
struct pixel_point {
    double x, y;
};

class ozm_text_renderer {
public:
    // Most glyphs a label may have.
    static constexpr unsigned max_glyphs = 254;

    // `face` (not owned) is the face file `face_name` already sized to
    // `pixels`. Colours have bytes R, G, B, A in memory; alpha 0 is taken
    // as 255. A halo is drawn only for a halo size of 1 to 255.
    ozm_text_renderer(font_face* face, const std::string& face_name, unsigned pixels, uint32_t color, int halo,
                      uint32_t halo_color);
    virtual ~ozm_text_renderer() = default;

    // Measures UTF-8 `text` and keeps its glyphs for drawing.
    // Out: `width` = the sum of the advances, `height` = the greatest
    //     glyph height, `count` = the glyphs kept (pixels).
    // Returns: false for a null or empty text, a text that is not UTF-8,
    //     no face, or more than max_glyphs glyphs.
    bool measure(render_context& ctx, const char* text, double& width, double& height, unsigned& count);

    // Mode "center": the text centred on (x, y), moved `offset` pixels down.
    // Returns: false when the text does not measure or its box is taken;
    //     true when the box was taken for it (drawn unless it lies more
    //     than 5 pixels outside the image).
    bool draw_at_point(render_context& ctx, placement_tree& placement, double x, double y, const char* text,
                       int offset);
    // Mode "along": copies of the text bent along `path` (2 points or
    // more), `spacing` pixels apart at least (0 or below: one copy).
    // Returns: false when the text does not measure or the path is
    //     shorter than 2 points; true otherwise, whatever copies fitted.
    bool draw_along(render_context& ctx, placement_tree& placement, const std::vector<pixel_point>& path,
                    const char* text, int spacing);
    // Mode "along-box": horizontal copies in boxes of `box_color`
    // outlined in the halo colour, centred on points along `path`.
    // Returns: as draw_along.
    bool draw_along_box(render_context& ctx, placement_tree& placement, const std::vector<pixel_point>& path,
                        const char* text, int spacing, uint32_t box_color);

private:
    struct glyph_item {
        const ozm::cached_glyph* glyph;
        double advance, height;
    };
    struct placed_glyph {
        double x, y;      // pen position from the label origin, y upwards
        double angle;     // radians, counter-clockwise
        const ozm::cached_glyph* glyph;
    };
    struct box {
        double x0, y0, x1, y1;
    };

    // A line the copies of a text go along.
    struct along_line {
        std::vector<double> lengths;  // the path's length up to each point
        label_copies copies;          // n = 0: the line is shorter than the text
        double reach = 0;             // how far from the image's centre a copy may start and still show
    };

    // The start of the modes along a line: measures `text`, and lays out
    // its copies along `path` into `line`, `spacing` pixels apart, spread
    // around the line's middle: their centres (`centred`) or their starts.
    // Returns: false when the text does not measure or the path is
    //     shorter than 2 points; true otherwise.
    bool start_along(render_context& ctx, const std::vector<pixel_point>& path, const char* text, int spacing,
                     bool centred, along_line& line);
    // Draws the halo (when on) and then the text of `glyphs` with the
    // label origin at (ox, oy) in image pixels.
    void draw_run(render_context& ctx, double ox, double oy, const std::vector<placed_glyph>& glyphs);
    // Places one copy starting at `start` along the path (see the .cpp).
    bool place_along(render_context& ctx, placement_tree& placement, const std::vector<pixel_point>& path,
                     const std::vector<double>& lengths, size_t& cursor, double start,
                     std::vector<placed_glyph>& out, std::vector<box>& boxes, pixel_point& origin);

    font_face* face_;
    std::string face_name_;
    unsigned pixels_;
    agg::rgba8 color_;
    int halo_;
    agg::rgba8 halo_color_;
    std::vector<glyph_item> items_;  // of the last measured text
    double width_ = 0, height_ = 0;
    glyph_halo halo_drawer_;  // the halo's buffers, kept from label to label of a style
};

}  // namespace kiv

#endif
