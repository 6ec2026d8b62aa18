// glyph_halo.h --
//
//     The halo under a run of glyphs: every covered pixel of each glyph's
//     8-bit coverage bitmap blends the halo colour, at its coverage, into
//     the square of side 2r + 1 around it, glyph after glyph, row by row,
//     so that the text stands out from what lies under it. The image's
//     text renderer and the map driver's labels draw their halos with it,
//     each with its own blend arithmetic (blend_rule).
//
//         kiv::glyph_halo halo;  // kept from label to label: its buffers
//         std::vector<kiv::halo_glyph> glyphs = {{&bitmap, left, top}};
//         halo.draw(pixf.row_ptr(0), pixf.stride(), glyphs, 2, white, kiv::blend_rule::toward_zero,
//                   0, 0, width, height);
//
//     The result is exactly that of the blends taken one by one, but they
//     are taken pixel by pixel of the image, and a pixel that can change
//     no more (most of them: a halo is usually drawn in a colour close to
//     what lies under it) takes no more; with an opaque colour, a pixel
//     within r of a fully covered glyph pixel is set to the colour at
//     once. A glyph_halo is used by one thread at a time.

#ifndef KIV_IMAGE_GLYPH_HALO_H
#define KIV_IMAGE_GLYPH_HALO_H

#include <kiv/core/export.h>

#include <agg_color_rgba.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kiv {

// How one coverage of a colour blends into an RGBA pixel (bytes R, G, B,
// A, alpha not premultiplied). A full coverage of an opaque colour sets
// the pixel under either rule.
enum class blend_rule {
    // a = (cover + 1) * alpha / 256; each byte moves by (c - v) * a / 256
    // rounded toward zero (blend_toward_zero): the map's labels.
    toward_zero,
    // AGG's blender_rgba, as text_pixfmt blends: the image's text.
    agg,
};

// Blends colour `c` at coverage `cover` into the RGBA pixel `p` by the
// rule toward_zero. Changes: the four bytes at p.
inline void blend_toward_zero(uint8_t* p, const agg::rgba8& c, unsigned cover) {
    if (cover == 0 || c.a == 0)
        return;
    if (cover == 255 && c.a == 255) {
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
        p[3] = 255;
        return;
    }
    const int a = int((cover + 1) * c.a / 256);
    p[0] = uint8_t(p[0] + (int(c.r) - int(p[0])) * a / 256);
    p[1] = uint8_t(p[1] + (int(c.g) - int(p[1])) * a / 256);
    p[2] = uint8_t(p[2] + (int(c.b) - int(p[2])) * a / 256);
    p[3] = uint8_t(p[3] + a - (p[3] * a + 255) / 256);
}

// One glyph's coverage placed in the image.
struct halo_glyph {
    const FT_Bitmap* bitmap;  // borrowed; 8-bit coverage, rows through its pitch; not null
    int left, top;            // image column and row (y down) of the bitmap's top-left pixel
};

class KIV_EXPORT glyph_halo {
public:
    // Draws the halo of `glyphs`, `radius` pixels wide (1 to 255), in
    // `color` blended by `rule`, into the pixels of an RGBA image (4
    // bytes a pixel, row 0 at `row0`, row y at row0 + y * stride) that lie
    // within [x0, x1) x [y0, y1), a part of the image (the rest is never
    // touched). A colour of alpha 0 draws nothing.
    // Changes: those pixels, and the scratch buffers kept here.
    void draw(uint8_t* row0, ptrdiff_t stride, const std::vector<halo_glyph>& glyphs, int radius,
              const agg::rgba8& color, blend_rule rule, int x0, int y0, int x1, int y1);

private:
    // Marks the targets within r of a covered glyph pixel in near_, and
    // (want_full) those within r of a fully covered one in done_.
    void dilate(const std::vector<halo_glyph>& glyphs, int r, bool want_full, int tx0, int ty0, int tw, int th);

    // Kept from run to run: the glyph pixels of some coverage (bit 0) and
    // of full coverage (bit 1) on the targets grown by r, their dilation
    // along rows, the targets that end in the colour (opaque colour only;
    // else empty), the targets with a covered glyph pixel within r, each
    // glyph row's first and last covered column (first > last: none) with
    // where each glyph's rows start among them, the glyphs that reach each
    // target of one row (target x's at first_[x] .. first_[x + 1] of
    // sources_, filled through fill_), and the glyphs whose rows reach the
    // current row and the row the lists were made for.
    std::vector<uint8_t> grid_, rows_, done_, near_;
    std::vector<int> spans_, sources_, active_, listed_;
    std::vector<size_t> span_start_;
    std::vector<unsigned> first_, fill_;
};

}  // namespace kiv

#endif
