// i_image.h --
//
//     The system's raster picture as other libraries see it: one flat
//     buffer of 8-bit RGBA pixels (R, G, B, A in memory, rows top to
//     bottom, width × 4 bytes a row, no padding, colours not
//     premultiplied), with its codecs and copies. Renderers draw into the
//     buffer in place through get_data.
//
//     A colour passed as one 32-bit number is the pixel read as a
//     little-endian word: bits 0-7 red, 8-15 green, 16-23 blue, 24-31
//     alpha (0xFF0000FF is opaque red).
//
//     Format codes, one byte throughout the system: 2 PNG, 3 GIF, 4 JPEG,
//     5 PPM (files only), 6 raw RGBA, 7 raw RGB (memory only).
//
//     One image is used by one thread at a time; different images may be
//     coded on different threads at once.

#ifndef KIV_IMAGE_I_IMAGE_H
#define KIV_IMAGE_I_IMAGE_H

#include <kiv/core/i_binary.h>
#include <kiv/core/i_object.h>

namespace kiv {

// Format codes of the system.
enum : unsigned char {
    image_format_png = 2,
    image_format_gif = 3,
    image_format_jpeg = 4,
    image_format_ppm = 5,
    image_format_rgba = 6,
    image_format_rgb = 7,
};

class i_image : public virtual i_object {
public:
    // Returns: the pixel buffer (borrowed), or null while the image is empty.
    virtual const void* get_data() = 0;
    // Returns: the bytes in the buffer, width × height × 4 once filled.
    virtual unsigned get_data_size() = 0;
    // Writes the picture to a file (relative paths are under
    // KIV_ROOT_PATH) in format 2 to 6. Quality 0 and values above 100
    // count as 100; its meaning per format: PNG 100 RGBA, 99 RGB, lower
    // a 256-colour palette with transparency (opaque pixels stay opaque,
    // transparent ones transparent, partial alpha close to its own: the
    // entries are shared between colour and alpha); JPEG the
    // libjpeg quality; GIF the palette size (below 20: 2 colours ... 80
    // and above: 256), of which fully transparent pixels, if any, take
    // one entry of their own.
    // The file is replaced only when the whole picture was written.
    // Returns: false for an empty image, another format, or a failed
    //     open, encode or write (the cause goes to the trace).
    virtual bool save_image(const char* path, unsigned char format, unsigned char quality) = 0;
    // Encodes the picture in memory in format 2, 3, 4, 6 or 7; the
    // quality goes to the encoder as it is.
    // Returns: a new block with one reference for the caller, or null for
    //     an empty image, format 5 or an unknown code, or a failure.
    virtual i_binary* get_binary_data(unsigned char format, unsigned char quality) = 0;
    // Forgets the buffer without freeing it: a caller that took it
    // through get_data owns it from then on and frees it with free().
    virtual void detach() = 0;
    virtual unsigned get_width() = 0;
    virtual unsigned get_height() = 0;
    // A copy scaled down so that neither side exceeds max_size, keeping
    // the proportions (truncating); a plain copy when it already fits.
    // Returns: a new image with one reference, or null when empty.
    virtual i_image* scale_to_max_border(unsigned max_size) = 0;
    // A new width × height picture filled with `color`, over which this
    // one is drawn with bilinear filtering, stretched to the new size and
    // turned by `angle` degrees (clockwise on screen); `color` shows
    // where the source is transparent or absent.
    // Returns: a new image with one reference, or null when this image is
    //     empty, a side is 0, or memory fails.
    virtual i_image* scale(unsigned width, unsigned height, short angle = 0, unsigned color = 0) = 0;
    // Blends img2 over this image with its top-left corner at (x, y); the
    // parts that land outside are skipped and img2's own alpha decides
    // the mix. `alpha` only has to be non-zero.
    // Returns: false (changing nothing) for a null or empty img2, alpha 0
    //     or an empty image.
    virtual bool blend_image(i_image* img2, int x, int y, unsigned char alpha) = 0;
    // Returns: a new image with the same pixels and one reference, or
    //     null when empty or out of memory.
    virtual i_image* copy() = 0;

protected:
    ~i_image() = default;
};

}  // namespace kiv

// Returns: the object's "i_image" interface, null for null or for an
//     object without it. Adds no reference.
KIV_EXTERN_C kiv::i_image* kiv_cast_i_image(kiv::i_object* obj);

#endif
