// image_transform.cpp --
//
//     Resampling and compositing with AGG: scale (stretch and turn with a
//     bilinear filter) and blend_image. Both work on the plain,
//     non-premultiplied RGBA buffers of images through AGG's rgba pixel
//     format, whose blender rounds (results may differ by one or two from
//     exact arithmetic).

#include <kiv/core/auto_ptr.h>
#include <kiv/image/image.h>

#include <agg_image_accessors.h>
#include <agg_pixfmt_rgba.h>
#include <agg_rasterizer_scanline_aa.h>
#include <agg_renderer_base.h>
#include <agg_renderer_scanline.h>
#include <agg_rendering_buffer.h>
#include <agg_scanline_u.h>
#include <agg_span_allocator.h>
#include <agg_span_image_filter_rgba.h>
#include <agg_span_interpolator_linear.h>
#include <agg_trans_affine.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace kiv {

namespace {

// AGG's rasterizer and interpolator keep coordinates in 24.8 fixed
// point; sides past this would overflow them.
constexpr unsigned max_scaled_side = 1u << 22;

constexpr double degrees_to_radians = 0.017453292519943295;

static_assert(sizeof(agg::rgba8) == 4, "an AGG colour must be one RGBA pixel");

}  // namespace

i_image* image::scale(unsigned width, unsigned height, short angle, unsigned color) {
    if (data_ == nullptr || width == 0 || height == 0)
        return nullptr;
    if (width > max_scaled_side || height > max_scaled_side || width_ > max_scaled_side ||
        height_ > max_scaled_side)
        return nullptr;
    image* target = new (std::nothrow) image;
    if (target == nullptr)
        return nullptr;
    auto_ptr_t<image> holder(target);
    target->addref();
    if (!target->create(width, height, color))
        return nullptr;

    // Maps a destination point to the source point it samples.
    agg::trans_affine mtx;
    if (width != width_ || height != height_)
        mtx *= agg::trans_affine_scaling(double(width_) / width, double(height_) / height);
    if (angle != 0) {
        mtx *= agg::trans_affine_translation(-(width / 2.0), -(height / 2.0));
        mtx *= agg::trans_affine_rotation(-angle * degrees_to_radians);
        mtx *= agg::trans_affine_translation(width / 2.0, height / 2.0);
    }

    typedef agg::pixfmt_rgba32 pixfmt;
    typedef agg::image_accessor_clip<pixfmt> source_accessor;
    typedef agg::span_interpolator_linear<> interpolator;
    typedef agg::span_image_filter_rgba_bilinear<source_accessor, interpolator> span_generator;

    agg::rendering_buffer source_buffer(data_, width_, height_, int(width_ * 4));
    pixfmt source_pixels(source_buffer);
    source_accessor source(source_pixels, agg::rgba8(0, 0, 0, 0));
    interpolator spans_at(mtx);
    span_generator spans(source, spans_at);
    agg::span_allocator<agg::rgba8> allocator;

    agg::rendering_buffer target_buffer(target->data_, width, height, int(width * 4));
    pixfmt target_pixels(target_buffer);
    agg::renderer_base<pixfmt> renderer(target_pixels);

    // The rectangle runs so that its cells get a positive cover: AGG's
    // rasterizer shifts the cover left, which a negative value may not be.
    agg::rasterizer_scanline_aa<> rasterizer;
    agg::scanline_u8 scanline;
    rasterizer.move_to_d(0, 0);
    rasterizer.line_to_d(0, height);
    rasterizer.line_to_d(width, height);
    rasterizer.line_to_d(width, 0);
    rasterizer.close_polygon();
    agg::render_scanlines_aa(rasterizer, scanline, renderer, allocator, spans);
    return holder.detach();
}

bool image::blend_image(i_image* img2, int x, int y, unsigned char alpha) {
    if (img2 == nullptr || alpha == 0 || data_ == nullptr)
        return false;
    const uint8_t* source = static_cast<const uint8_t*>(img2->get_data());
    uint64_t source_width = img2->get_width();
    uint64_t source_height = img2->get_height();
    if (source == nullptr || source_width == 0 || source_height == 0 ||
        uint64_t(img2->get_data_size()) < source_width * source_height * 4)
        return false;

    // The part of img2 that lands inside this image, in img2's pixels.
    int64_t first_col = x < 0 ? -int64_t(x) : 0;
    int64_t first_row = y < 0 ? -int64_t(y) : 0;
    int64_t end_col = std::min<int64_t>(int64_t(source_width), int64_t(width_) - x);
    int64_t end_row = std::min<int64_t>(int64_t(source_height), int64_t(height_) - y);
    if (first_col >= end_col || first_row >= end_row)
        return true;

    agg::rendering_buffer buffer(data_, width_, height_, int(width_ * 4));
    agg::pixfmt_rgba32 pixels(buffer);
    // A row is copied out first: img2 may be this image itself.
    size_t count = size_t(end_col - first_col);
    std::vector<agg::rgba8> row;
    try {
        row.resize(count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int64_t j = first_row; j < end_row; ++j) {
        std::memcpy(row.data(), source + (uint64_t(j) * source_width + uint64_t(first_col)) * 4,
                    count * 4);
        pixels.blend_color_hspan(int(x + first_col), int(y + j), unsigned(count), row.data(),
                                 nullptr, agg::cover_full);
    }
    return true;
}

}  // namespace kiv
