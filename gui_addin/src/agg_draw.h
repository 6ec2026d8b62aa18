// agg_draw.h --
//
//     Anti-aliased drawing on an i_image's RGBA pixels for the add-in's
//     pictures and the modes' overlays. A colour is the pixel as a
//     little-endian word: bits 0-7 red, 8-15 green, 16-23 blue, 24-31
//     alpha. Shapes are blended over what is there.

#ifndef KIV_GUI_ADDIN_AGG_DRAW_H
#define KIV_GUI_ADDIN_AGG_DRAW_H

namespace kiv {
class i_image;
}

namespace kiv_addin {

// Returns: false for a null or empty image (nothing drawn).
bool fill_ellipse(kiv::i_image* image, double cx, double cy, double r, unsigned colour);
// Fills the closed polygon of `count` points (x0, y0, x1, y1, ...).
bool fill_polygon(kiv::i_image* image, const double* xy, unsigned count, unsigned colour);
// Outlines the closed polygon with round joins and caps.
bool stroke_polygon(kiv::i_image* image, const double* xy, unsigned count, double width, unsigned colour);

}  // namespace kiv_addin

#endif
