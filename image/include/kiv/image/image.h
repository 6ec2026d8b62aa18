// image.h --
//
//     The image object behind i_image: it owns one malloc-ed RGBA buffer
//     and holds the codecs. Most callers create images through the flat
//     functions of <kiv/image/image_lib.h>; the class is exported with
//     its non-virtual members for code that builds on it (a derived
//     picture, or one filled through create and load directly). Its two
//     private helpers stay inside the library.
//
//     An image is filled once: create, load and the decoders are used on
//     a new, empty image only. Every pixel count read from outside (file
//     headers, raw sizes) is computed in 64 bits and refused when the
//     picture would take more than image::max_data_size, so a crafted
//     header never leads to a short allocation or a giant one.

#ifndef KIV_IMAGE_IMAGE_H
#define KIV_IMAGE_IMAGE_H

#include <kiv/core/binary_impl.h>
#include <kiv/core/object.h>
#include <kiv/image/i_image.h>

#include <cstdint>
#include <cstdio>

namespace kiv {

class KIV_EXPORT image : public object, public i_image {
public:
    // The most one picture may take: 1 GiB, the pixel buffer of a
    // 16384 × 16384 picture. A decoder refuses a header, before it
    // allocates anything, when the pixel buffer together with what the
    // decoder must keep of the whole picture would pass it. Only a JPEG
    // that is progressive, or sends its components in separate scans,
    // keeps anything of the kind: libjpeg holds every DCT coefficient
    // (2 bytes a sample at each component's sampling) until the last
    // scan, which limits such a file to 13376 × 13376 in grey, and in
    // colour to 12384 × 12384 with the usual half-size chroma or
    // 10360 × 10360 with full-size chroma. Not counted, as they stay
    // small whatever a header claims: the decoders' row buffers (a side
    // is below 65536 in JPEG and GIF and at most 10^6 in libpng, so a
    // few tens of MB at most) and one PNG colour profile (libpng stops
    // at 8 MB). PNG text, which could inflate to gigabytes, is skipped
    // unread. Nor is the encoded input counted: the caller's block, or
    // the file that load reads whole, itself within this size.
    static constexpr uint64_t max_data_size = uint64_t(1) << 30;

    // A new image is empty, with count 0.
    image() = default;
    // Frees the buffer when one is held.
    ~image() override;
    // An image owns its buffer, so it is never copied by value (a copy
    // would free the same pixels again); copy() makes a new image with
    // its own copy of the pixels.
    image(const image&) = delete;
    image& operator=(const image&) = delete;

    const void* get_data() override { return data_; }
    unsigned get_data_size() override { return data_size_; }
    bool save_image(const char* path, unsigned char format, unsigned char quality) override;
    i_binary* get_binary_data(unsigned char format, unsigned char quality) override;
    void detach() override;
    unsigned get_width() override { return width_; }
    unsigned get_height() override { return height_; }
    i_image* scale_to_max_border(unsigned max_size) override;
    i_image* scale(unsigned width, unsigned height, short angle = 0, unsigned color = 0) override;
    bool blend_image(i_image* img2, int x, int y, unsigned char alpha) override;
    i_image* copy() override;
    // Answers "i_image"; other names go to object.
    bool get_interface(const char* name, void** out) override;

    // Fills a width × height picture with `color`.
    // Returns: false for a zero side, a size over the cap or no memory.
    bool create(unsigned width, unsigned height, unsigned color);
    // Fills the picture from data: formats 2, 3 and 4 are decoded (their
    // own size wins over width and height); 6 must hold exactly
    // width × height × 4 bytes and is copied; 7 must hold exactly
    // width × height × 3 bytes and gets alpha 255.
    // Returns: false for null or empty data, another format, a size that
    //     does not match, or a failed decode.
    bool create(const void* data, unsigned data_size, unsigned width, unsigned height,
                unsigned char format);
    // Decodes a file (relative paths are under KIV_ROOT_PATH), chosen by
    // its extension: ".png", ".jpg" or ".jpeg", ".gif", in any case.
    // Returns: false for another extension (the file is not opened), a
    //     file that cannot be read, or a failed decode.
    bool load(const char* path);
    // Returns: true for the formats save_image writes, 2 to 6.
    static bool format_supported(unsigned char format);

protected:
    // Decoders: fill the empty image from an encoded picture in memory.
    // gif_create reads either the open file (whole) or the data; exactly
    // one of the two is given. Returns: false on any decoding error.
    bool png_create(const void* data, unsigned size);
    bool jpeg_create(const void* data, unsigned size);
    bool gif_create(FILE* file, const void* data, unsigned size);
    // Encoders: write the picture either to the open file or into a new
    // binary stored in *out with one reference; exactly one of the two is
    // given. Returns: false on any failure (then *out stays null).
    bool png_save(FILE* file, binary** out, unsigned char quality);
    bool jpeg_save(FILE* file, binary** out, unsigned char quality);
    bool gif_save(FILE* file, binary** out, unsigned char quality);

private:
    // Takes over a malloc-ed buffer of width × height × 4 bytes.
    KIV_HIDDEN void adopt(uint8_t* pixels, unsigned width, unsigned height);
    // Writes the picture in `format` into an open temporary file.
    KIV_HIDDEN bool write_file(FILE* file, unsigned char format, unsigned char quality);

    uint8_t* data_ = nullptr;  // malloc-ed pixels, owned; null while empty
    unsigned data_size_ = 0;   // width × height × 4 once filled, else 0
    unsigned width_ = 0;       // pixels; 0 while empty
    unsigned height_ = 0;      // pixels; 0 while empty
};

}  // namespace kiv

#endif
