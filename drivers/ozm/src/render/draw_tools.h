// draw_tools.h --
//
//     The drawing state one map image keeps for all its styles: one
//     rasteriser (clipped in double precision, so far coordinates cannot
//     overflow AGG's fixed-point cells), the scanlines, the glyph cache of
//     the text renderer and scratch buffers; plus the helpers every style
//     draws through: colours, the feature walk, projection of point lists
//     into the context's path and solid rasterising that survives paths
//     with more cells than AGG stores at once.

#ifndef KIV_OZM_SRC_RENDER_DRAW_TOOLS_H
#define KIV_OZM_SRC_RENDER_DRAW_TOOLS_H

#include "render/rasterizer.h"
#include "render/render_context.h"
#include "render/render_style.h"
#include "text/glyph_cache.h"

#include <kiv/image/font_face.h>

#include <agg_conv_curve.h>
#include <agg_conv_dash.h>
#include <agg_conv_smooth_poly1.h>
#include <agg_conv_stroke.h>
#include <agg_renderer_scanline.h>
#include <agg_scanline_p.h>
#include <agg_scanline_u.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace kiv {

class i_gis_viewport;

namespace ozm {

// Cells one rasterisation may hold: AGG allocates 4096 cells a block and
// stops storing (silently) at its block limit. The default limit of 1024
// blocks would drop the later features of a dense style; memory is taken
// only as cells are really made.
constexpr unsigned cell_block_limit = 4096;
// Above this many estimated cells a path is rasterised in horizontal
// bands, each band on its own.
constexpr double band_cells = 8.0 * 1024 * 1024;
// Estimated cells below which one lane more costs more than it saves.
constexpr double lane_cells = 8.0 * 1024;

typedef agg::conv_dash<agg::path_storage> dasher;

// Where a piece of a dash style's path starts: the length along the line
// there and the index of the piece's first x in draw_tools::dash_points.
struct dash_piece {
    double phase;
    size_t begin;
};
class draw_tools {
    agg::path_storage idle_;  // the converters' source until a user attaches its own

public:
    draw_tools()
        : ras(cell_block_limit), dash(idle_), dash_stroke(dash) {}
    draw_tools(const draw_tools&) = delete;
    draw_tools& operator=(const draw_tools&) = delete;

    rasterizer ras;
    agg::scanline_u8 sl_u;  // spans of images and patterns
    glyph_cache glyphs;

    // The dash converters, kept from style to style and image to image
    // as the lanes' converters are (see lane in rasterizer.h); the user
    // attaches its path and sets every parameter before each use.
    std::vector<dash_piece> dash_pieces;              // the pieces of a dash style's path near the image
    std::vector<double> dash_points;                  // their points, x then y, piece after piece
    agg::path_storage dash_path;                      // the piece being dashed
    dasher dash;
    agg::conv_stroke<dasher> dash_stroke;  // round joins and caps

    // Returns: the face `name` opened through `fonts`, the same object for
    //     every label style of the image (each sizes it before use), or
    //     null when it does not open (also remembered). Opening a face
    //     maps and parses its file, which cost as much as a small image.
    font_face* face(font_manager* fonts, const std::string& name);

    // Readies tools kept from an earlier image (see render_cache): faces
    // that did not open are tried again, and the glyphs are dropped when
    // there are more than `max_glyphs`. No glyph of the earlier image
    // may be in use.
    void start_image(size_t max_glyphs);

    // Returns: about the bytes these tools keep between images (the
    //     rasteriser's cells, the dash buffers).
    size_t kept_bytes() const;

private:
    std::map<std::string, std::unique_ptr<font_face>> faces_;
};

// Returns: the AGG colour of a style colour (bytes R, G, B, A in memory);
//     alpha 0 is drawn as 255.
inline agg::rgba8 style_rgba(uint32_t c) {
    unsigned a = c >> 24;
    return agg::rgba8(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, a == 0 ? 255 : a);
}

// The entries of `features` whose code lies in [first, last], in table
// order: begin == end when there are none.
struct feature_range {
    feature_table::iterator begin, end;
};
feature_range walk_features(feature_table& features, uint8_t first, uint8_t last);

// Projects the point list of a resolved record into ctx.path (see
// add_geometry in draw_tools.cpp for the clip rule).
// Returns: the record's point count; 0 (nothing added) for a point
//     feature or fewer than 2 points.
uint32_t add_geometry(const feature_entry& entry, const feature_record& record, render_context& ctx,
                      i_gis_viewport* viewport, bool clip);

// Clears ctx.path and appends every non-point feature of the walk.
// Returns: false when the walk finds no entry.
bool build_path(feature_table& features, uint8_t first, uint8_t last, page_set& pages, render_context& ctx,
                i_gis_viewport* viewport, bool clip);

// An upper bound of the cells a rasterisation of ctx.path makes after
// stroking with `stroke_width` (0 for a fill).
double estimate_cells(render_context& ctx, double stroke_width);

// The sub-paths of ctx.path whose box, grown by `grow` (and, with
// `bulge`, by the box's own larger side, for curves drawn through the
// points), meets the rows y0..y1; copied into `out`.
void band_subpaths(render_context& ctx, double grow, bool bulge, double y0, double y1, agg::path_storage& out);

// Rasterises ctx.path through the context's rasteriser (non-zero rule):
// `add`(lane) adds the lane's source (its share of the path) through the
// lane's converters to lane.cells, on pool workers too (see
// rasterizer::add_split), then `draw`() renders what the rasteriser
// holds. When `cells` (an estimate_cells value) exceeds what one pass
// keeps, the image is drawn in horizontal bands, each band from the
// sub-paths that can reach it (their boxes grown by `grow`, see
// band_subpaths).
template <class Draw>
void rasterise(render_context& ctx, double cells, double grow, bool bulge, const std::function<void(lane&)>& add,
               Draw draw) {
    draw_tools& t = ctx.tools();
    unsigned bands = cells > band_cells ? unsigned(std::min(cells / band_cells, 1e6)) + 1 : 1;
    bands = std::max(1u, std::min(bands, ctx.height));
    // A lane for every lane_cells cells; add_split takes no more than the
    // CPUs and the path's sub-paths allow.
    const unsigned lanes = unsigned(std::min(cells / lane_cells, 64.0)) + 1;
    agg::path_storage band;
    for (unsigned b = 0; b < bands; ++b) {
        double y0 = b == 0 ? -1.0 : double(uint64_t(ctx.height) * b / bands);
        double y1 = b + 1 == bands ? ctx.height + 1.0 : double(uint64_t(ctx.height) * (b + 1) / bands);
        if (bands > 1)
            band_subpaths(ctx, grow, bulge, y0, y1, band);
        t.ras.clip_box(-1.0, y0, ctx.width + 1.0, y1);
        t.ras.filling_rule(agg::fill_non_zero);
        t.ras.add_split(bands > 1 ? band : ctx.path, lanes, add);
        draw();
    }
    t.ras.reset();
}

// Rasterises `vs` once, clipped to the image, in one colour (small
// shapes: label boxes).
template <class VertexSource>
void fill_once(render_context& ctx, VertexSource& vs, agg::rgba8 color) {
    draw_tools& t = ctx.tools();
    t.ras.clip_box(-1.0, -1.0, ctx.width + 1.0, ctx.height + 1.0);
    t.ras.filling_rule(agg::fill_non_zero);
    t.ras.add_path(vs);
    t.ras.render_solid(*ctx.renderer_base, color);
    t.ras.reset();
}

}  // namespace ozm
}  // namespace kiv

#endif
