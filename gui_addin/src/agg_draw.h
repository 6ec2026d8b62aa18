// agg_draw.h --
//
//     Anti-aliased drawing on an i_image's RGBA pixels for the add-in's
//     pictures and the modes' overlays. A colour is the pixel as a
//     little-endian word: bits 0-7 red, 8-15 green, 16-23 blue, 24-31
//     alpha. Shapes are blended over what is there as plain (not
//     premultiplied) colours, as the system keeps its pixels.

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

// Fills the rounded rectangle from (x0, y0) to (x1, y1).
bool fill_rounded_rect(kiv::i_image* image, double x0, double y0, double x1, double y1, double radius,
                       unsigned colour);
// Strokes the open polyline of `count` points with round joins and caps
// and puts a disc of `disc_radius` on every point, all as one shape laid
// over the image once in `colour`: where the line and the discs overlap
// the colour is not laid twice.
bool draw_track(kiv::i_image* image, const double* xy, unsigned count, double width, double disc_radius,
                unsigned colour);
// Strokes the open polyline with round joins and caps.
bool stroke_polyline(kiv::i_image* image, const double* xy, unsigned count, double width, unsigned colour);

// One line of text in the face "DejaVuSans-Bold" of the font folder,
// opaque, without halo.
class label_font {
public:
    label_font(unsigned pixel_size, unsigned colour);
    ~label_font();
    label_font(const label_font&) = delete;
    label_font& operator=(const label_font&) = delete;
    // Returns: false without the face (no font folder or file).
    bool ok() const { return renderer_ != nullptr; }
    bool set_pixel_size(unsigned pixel_size);
    // Measures `text` (UTF-8) and keeps it. Returns: false when it cannot.
    bool set_text(const char* text, unsigned& width, unsigned& height);
    // Draws the kept text with its baseline starting at (x, y).
    bool render(kiv::i_image* image, int x, int y);

private:
    struct impl;
    impl* impl_ = nullptr;
    void* renderer_ = nullptr;  // non-null when the face opened
};

}  // namespace kiv_addin

#endif
