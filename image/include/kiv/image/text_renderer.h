// text_renderer.h --
//
//     Puts one line of UTF-8 text, measured with one TrueType face, into
//     an RGBA buffer: on a straight baseline, or along a polyline with
//     every glyph turned to the line and kept upright (labels of roads and
//     rivers), each optionally over a halo. The buffer is the pixel
//     buffer of an i_image or any buffer of the same layout (RGBA bytes,
//     rows top to bottom, colours not premultiplied), wrapped by the
//     caller in the AGG renderer below.
//
//         agg::rendering_buffer buf(pixels, width, height, int(width * 4));
//         kiv::text_pixfmt pixfmt(buf);
//         kiv::text_renderer_base ren(pixfmt);
//         kiv::text_renderer text(face, agg::rgba8(0, 0, 0), 2, agg::rgba8(255, 255, 255));
//         unsigned w, h;
//         if (text.set_text("Main Street", w, h))
//             text.render(ren, 10, 40);
//
//     Glyphs are measured and loaded without hinting. A character the
//     face has no glyph for is left out of the text (never drawn as the
//     face's "missing glyph" box). A renderer and its face are used by one
//     thread at a time; nothing here locks.

#ifndef KIV_IMAGE_TEXT_RENDERER_H
#define KIV_IMAGE_TEXT_RENDERER_H

#include <kiv/core/export.h>
#include <kiv/image/font_face.h>
#include <kiv/image/glyph_halo.h>

#include <agg_color_rgba.h>
#include <agg_path_storage.h>
#include <agg_pixfmt_rgba.h>
#include <agg_renderer_base.h>
#include <agg_rendering_buffer.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H

#include <array>
#include <unordered_map>
#include <vector>

namespace kiv {

// Plain (not premultiplied) RGBA blending in the image's byte order.
typedef agg::pixfmt_alpha_blend_rgba<agg::blender_rgba<agg::rgba8, agg::order_rgba>,
                                     agg::row_accessor<agg::int8u>>
    text_pixfmt;
typedef agg::renderer_base<text_pixfmt> text_renderer_base;
// A polyline in image pixels, y down.
typedef agg::path_base<agg::vertex_block_storage<double, 8, 256>> text_path;

// One glyph placed for drawing. The glyph it holds is released by
// text_renderer::cleanup_placement; a placement is moved, never copied,
// so no glyph is ever held (and released) twice.
struct char_placement {
    char_placement() = default;
    char_placement(const char_placement&) = delete;
    char_placement& operator=(const char_placement&) = delete;
    // The glyph moves along: `other` holds none afterwards.
    char_placement(char_placement&& other) noexcept
        : x(other.x), y(other.y), code(other.code), angle(other.angle), glyph(other.glyph) {
        other.glyph = nullptr;
    }

    double x = 0;        // glyph origin relative to the label's start, pixels
    double y = 0;        // the same, y pointing up
    unsigned code = 0;   // Unicode code point
    double angle = 0;    // radians, counter-clockwise with y up
    FT_Glyph glyph = nullptr;  // owned from load_glyphs to cleanup_placement; null: not drawn
};

// Implemented by the caller of render_along_line to keep labels apart.
// Boxes are in image pixels, y down, corners included.
class KIV_EXPORT placement_checker {
public:
    virtual ~placement_checker() = default;
    // Returns: whether a glyph may occupy the box; false rejects the
    //     whole label.
    virtual bool check_box(int x0, int y0, int x1, int y1) = 0;
    // Records a box that a placed label occupies.
    virtual void add_box(int x0, int y0, int x1, int y1) = 0;
};

class KIV_EXPORT text_renderer {
public:
    // The most text bytes set_text takes; also the most glyphs of a label.
    static constexpr unsigned max_text_bytes = 255;

    // `face` is borrowed and must outlive the renderer. A halo of 0, or
    // of 256 and more, draws none.
    text_renderer(font_face* face, agg::rgba8 color, unsigned halo, agg::rgba8 halo_color);
    text_renderer(const text_renderer&) = delete;
    text_renderer& operator=(const text_renderer&) = delete;
    // Releases the glyphs kept from the last set_text.
    virtual ~text_renderer();

    // Measures `text` (UTF-8, decoded by kiv_get_unicode_char, so a
    // sequence cut short by the end of the text ends it) and keeps it for
    // drawing; characters without a glyph are left out. width: the sum of the advances; height: the tallest glyph box.
    // Returns: false (changing nothing) for a null or empty text, one of
    //     256 bytes or more, or no face; true otherwise, also when no
    //     character could be measured.
    bool set_text(const char* text, unsigned& width, unsigned& height);

    // Draws the text set last with its baseline starting at (x, y),
    // image pixels, y down. Pixels outside the renderer's clip box are
    // skipped.
    // Returns: false when no character was measured.
    bool render(text_renderer_base& ren, int x, int y);

    // Draws copies of the text set last along the first `vertex_count`
    // vertices of `path`: one copy centred when gap is 0, else as many as
    // fit with `gap` pixels between them, spread evenly around the
    // middle. Each glyph follows its segment and stands upright; a copy
    // that would bend more than 120 degrees under a glyph, would leave
    // the line or is refused by `checker` is skipped, the others are
    // drawn. `label_length` and `label_height` are normally the width
    // and height set_text returned. `checker` may be null; it receives
    // the boxes of each placed copy, grown by one pixel.
    // Returns: false for fewer than 2 vertices; true otherwise (also when
    //     the line is shorter than the label and nothing is drawn).
    bool render_along_line(text_renderer_base& ren, text_path& path, unsigned image_width,
                           unsigned image_height, unsigned vertex_count, unsigned label_length,
                           unsigned label_height, unsigned gap, placement_checker* checker);

protected:
    // One measured character.
    struct text_item {
        unsigned width;   // pixels of advance
        unsigned height;  // pixels of the glyph's box
        unsigned code;    // Unicode code point
        FT_Glyph glyph;   // the upright outline as measured, from the glyph cache (not owned); null: none
    };

    // The box of one glyph of a label, image pixels, y down.
    struct glyph_box {
        double x0, y0, x1, y1;
    };

    // A label laid out along the line by build_placement.
    struct label_layout {
        double start_x = 0, start_y = 0;  // the label's start point, image pixels
        std::array<glyph_box, max_text_bytes> boxes;  // the first box_count are used
        unsigned box_count = 0;
        bool outside = false;             // the whole label lies off the picture
    };

    // The walk along the polyline, carried from one label to the next;
    // it never goes back.
    struct line_walk {
        double cx = 0, cy = 0;       // current vertex
        double px = 0, py = 0;       // previous vertex
        unsigned index = 0;          // index of the current vertex
        double walked = 0;           // line length up to the current vertex
        double dx = 0, dy = 0;       // current segment, previous to current vertex
        double length = 0;           // its length; 0 before the first step
    };

    // Measures one character with the identity transform.
    // Returns: false without a face, for a character without a glyph, or
    //     when FreeType fails.
    bool get_char_size(unsigned code, unsigned& width, unsigned& height);
    // One character measured, and its glyph kept for drawing. Labels
    // repeat their characters, so each is loaded (and rasterised) once
    // per face size rather than once per label.
    struct cached_glyph {
        unsigned width = 0;         // as text_item
        unsigned height = 0;
        FT_Glyph outline = nullptr;  // upright, at the origin; owned; null: not an outline
        FT_Glyph bitmap = nullptr;   // the outline rasterised at the origin, made on first draw; owned
    };
    // What the cached glyphs were loaded for: the face's size object, its
    // metrics and the character map. Any change makes them stale.
    struct size_key {
        FT_Size size = nullptr;
        FT_CharMap charmap = nullptr;
        FT_UShort x_ppem = 0, y_ppem = 0;
        FT_Fixed x_scale = 0, y_scale = 0;
        bool operator==(const size_key& o) const {
            return size == o.size && charmap == o.charmap && x_ppem == o.x_ppem && y_ppem == o.y_ppem &&
                   x_scale == o.x_scale && y_scale == o.y_scale;
        }
    };
    // Returns: the key of the face as it is now.
    size_key current_key() const;
    // Returns: whether the cached glyphs fit the face as it is now.
    bool cache_current() const;
    // Measures item.code as get_char_size does, through the cache, and
    // points item.glyph at the cached outline (null when there is none).
    bool measure_item(text_item& item);
    // Releases every cached glyph.
    void flush_glyphs();
    // Returns: the outline set_text kept for `code` (borrowed), or null;
    //     null too when the face changed size since.
    FT_Glyph kept_glyph(unsigned code) const;
    // Draws the text set last, every glyph of which has an outline in the
    // current cache, at (x, y) as render does, from bitmaps made once.
    void render_cached(text_renderer_base& ren, int x, int y);

    std::unordered_map<unsigned, cached_glyph> glyphs_;  // code point -> glyph, for key_
    size_key key_;
    // Returns: the length of the polyline through the first n vertices.
    double get_line_length(text_path& path, unsigned n);
    // Loads every placement's glyph turned by its angle and shifted by
    // its position; a glyph that fails to load stays null.
    // Returns: false without a face.
    bool load_glyphs(std::vector<char_placement>& placements);
    // Draws loaded placements with the label's start at (x, y), image
    // pixels, y down: halos first under the whole label, then glyphs.
    // Turns the glyphs into bitmaps in place.
    void render_placement(text_renderer_base& ren, std::vector<char_placement>& placements, int x,
                          int y);
    // Draws the halo of halo_glyphs_ inside the renderer's clip box: a
    // square of side 2 × halo + 1 around every covered pixel, blended as
    // the renderer blends.
    void draw_halo(text_renderer_base& ren);
    // Blends an 8-bit coverage bitmap with its top-left pixel at (x, y),
    // pixel for pixel.
    void render_bitmap(text_renderer_base& ren, const FT_Bitmap& bitmap, int x, int y,
                       const agg::rgba8& color);
    // Lays out the label that starts `start_offset` pixels along the
    // line, continuing `walk`, into `placements` and `layout`.
    // Returns: false when the start lies at or past the line's end, the
    //     label is far off the picture, runs past the line's end, bends
    //     more than 120 degrees or is refused by `checker`.
    bool build_placement(text_path& path, unsigned image_width, unsigned image_height,
                         unsigned vertex_count, std::vector<char_placement>& placements,
                         unsigned label_length, unsigned label_height, double start_offset,
                         label_layout& layout, line_walk& walk, placement_checker* checker);
    // Releases every glyph the placements hold.
    void cleanup_placement(std::vector<char_placement>& placements);

    font_face* face_;             // borrowed; null draws nothing
    agg::rgba8 color_;            // text colour
    unsigned halo_;               // halo radius in pixels; 0 or >= 256: no halo
    agg::rgba8 halo_color_;
    std::vector<text_item> items_;  // filled by set_text; each glyph is loaded once, to measure and draw
    std::vector<halo_glyph> halo_glyphs_;  // the bitmaps of the label being drawn; scratch of draw_halo
    glyph_halo halo_drawer_;               // its buffers kept from label to label

private:
    // Steps the walk to the next vertex. Returns: false at the last vertex.
    bool step_walk(text_path& path, unsigned vertex_count, line_walk& walk);
};

}  // namespace kiv

#endif
