// image_bench.cpp --
//
//     The image library against the code it stands on, in one run:
//     - PNG encoding and decoding of a 1024 × 768 map-like picture (flat
//       areas, roads, dots) against libpng's simplified API writing and
//       reading the same RGBA picture. Ours writes with the filter None
//       at the default compression level; the simplified API cannot say
//       that, so it runs twice: with its defaults (adaptive filters,
//       default level) and with its fast flag (no filters, level 3).
//     - Scaling to 800 × 600 (and turning by 30 degrees) against a
//       direct AGG span pipeline doing the same bilinear resampling into
//       a plain buffer.
//     First the two sides of each pair must agree: PNGs read back as the
//     picture, decoders read the same pixels, scalers resample alike. The
//     last lines print each ratio (our time over the reference's) and the
//     encoded sizes.

#include <kiv/core/auto_ptr.h>
#include <kiv/image/image_lib.h>

#include <agg_conv_stroke.h>
#include <agg_ellipse.h>
#include <agg_image_accessors.h>
#include <agg_path_storage.h>
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

#include "ratio_main.h"

#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <vector>

namespace {

const unsigned map_width = 1024;
const unsigned map_height = 768;

typedef agg::pixfmt_rgba32 pixfmt;
typedef agg::renderer_base<pixfmt> renderer;

// A picture like a rendered map tile: a land colour, water and park
// polygons, roads with casings, and place dots, anti-aliased.
std::vector<uint8_t> draw_map() {
    std::vector<uint8_t> pixels(size_t(map_width) * map_height * 4);
    agg::rendering_buffer buffer(pixels.data(), map_width, map_height, int(map_width * 4));
    pixfmt pf(buffer);
    renderer base(pf);
    base.clear(agg::rgba8(242, 239, 233, 255));
    agg::rasterizer_scanline_aa<> ras;
    agg::scanline_u8 sl;
    std::mt19937 random(42);
    auto coord = [&](unsigned limit) { return double(random() % limit); };

    for (int i = 0; i < 40; ++i) {
        agg::path_storage area;
        double cx = coord(map_width), cy = coord(map_height);
        area.move_to(cx, cy);
        for (int k = 0; k < 6; ++k)
            area.line_to(cx + coord(160) - 80, cy + coord(160) - 80);
        area.close_polygon();
        ras.reset();
        ras.add_path(area);
        agg::rgba8 fill = i % 2 ? agg::rgba8(170, 211, 223, 255) : agg::rgba8(200, 230, 190, 255);
        agg::render_scanlines_aa_solid(ras, sl, base, fill);
    }
    for (int i = 0; i < 120; ++i) {
        agg::path_storage road;
        road.move_to(coord(map_width), coord(map_height));
        for (int k = 0; k < 4; ++k)
            road.line_to(coord(map_width), coord(map_height));
        for (int pass = 0; pass < 2; ++pass) {
            agg::conv_stroke<agg::path_storage> stroke(road);
            stroke.width(pass == 0 ? 6.0 : 4.0);
            ras.reset();
            ras.add_path(stroke);
            agg::render_scanlines_aa_solid(ras, sl, base,
                                           pass == 0 ? agg::rgba8(160, 160, 160, 255) : agg::rgba8(255, 255, 255, 255));
        }
    }
    for (int i = 0; i < 300; ++i) {
        agg::ellipse dot(coord(map_width), coord(map_height), 3, 3);
        ras.reset();
        ras.add_path(dot);
        agg::render_scanlines_aa_solid(ras, sl, base, agg::rgba8(60, 60, 60, 255));
    }
    return pixels;
}

const std::vector<uint8_t>& map_pixels() {
    static const std::vector<uint8_t> pixels = draw_map();
    return pixels;
}

kiv::i_image* map_image() {
    static kiv::i_image* img = kiv_image_create_from_data(map_pixels().data(), unsigned(map_pixels().size()),
                                                          map_width, map_height, 6);
    return img;
}

const std::vector<uint8_t>& map_png() {
    static const std::vector<uint8_t> png = [] {
        auto_ptr_t<kiv::i_binary> b(map_image()->get_binary_data(2, 100));
        const uint8_t* p = static_cast<const uint8_t*>(b->get_data());
        return std::vector<uint8_t>(p, p + b->get_data_size());
    }();
    return png;
}

std::map<std::string, size_t>& encoded_sizes() {
    static std::map<std::string, size_t> sizes;
    return sizes;
}

// PNG -------------------------------------------------------------------

void bm_png_encode_ours(benchmark::State& state) {
    size_t size = 0;
    for (auto _ : state) {
        auto_ptr_t<kiv::i_binary> png(map_image()->get_binary_data(2, 100));
        size = png->get_data_size();
        benchmark::DoNotOptimize(size);
    }
    encoded_sizes()["ours"] = size;
}

void encode_simplified(benchmark::State& state, png_uint_32 flags, const char* name) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = map_width;
    image.height = map_height;
    image.format = PNG_FORMAT_RGBA;
    image.flags = flags;
    png_alloc_size_t capacity = 0;
    png_image_write_to_memory(&image, nullptr, &capacity, 0, map_pixels().data(), 0, nullptr);
    size_t size = 0;
    for (auto _ : state) {
        png_alloc_size_t n = capacity;
        void* out = malloc(n);
        if (!png_image_write_to_memory(&image, out, &n, 0, map_pixels().data(), 0, nullptr))
            state.SkipWithError("libpng simplified write failed");
        size = n;
        free(out);
    }
    encoded_sizes()[name] = size;
}

void bm_png_encode_libpng(benchmark::State& state) {
    encode_simplified(state, 0, "libpng simplified");
}

void bm_png_encode_libpng_fast(benchmark::State& state) {
    encode_simplified(state, PNG_IMAGE_FLAG_FAST, "libpng simplified, fast");
}

void bm_png_decode_ours(benchmark::State& state) {
    const std::vector<uint8_t>& png = map_png();
    for (auto _ : state) {
        auto_ptr_t<kiv::i_image> img(kiv_image_create_from_data(png.data(), unsigned(png.size()), 0, 0, 2));
        if (!img)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(img.get());
    }
}

void bm_png_decode_libpng(benchmark::State& state) {
    const std::vector<uint8_t>& png = map_png();
    for (auto _ : state) {
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_memory(&image, png.data(), png.size()))
            state.SkipWithError("libpng simplified read failed");
        image.format = PNG_FORMAT_RGBA;
        void* pixels = calloc(PNG_IMAGE_SIZE(image), 1);
        if (!png_image_finish_read(&image, nullptr, pixels, 0, nullptr))
            state.SkipWithError("libpng simplified read failed");
        benchmark::DoNotOptimize(pixels);
        free(pixels);
    }
}

// Scaling ---------------------------------------------------------------

const unsigned scaled_width = 800;
const unsigned scaled_height = 600;

void bm_scale_ours(benchmark::State& state) {
    short angle = short(state.range(0));
    for (auto _ : state) {
        auto_ptr_t<kiv::i_image> img(map_image()->scale(scaled_width, scaled_height, angle, 0xFFFFFFFF));
        benchmark::DoNotOptimize(img.get());
    }
}

// The same resampling written straight against AGG, into `target`.
void agg_scale(double angle, uint8_t* target) {
    const std::vector<uint8_t>& source = map_pixels();
    agg::rendering_buffer target_buffer(target, scaled_width, scaled_height, int(scaled_width * 4));
    pixfmt target_pf(target_buffer);
    renderer base(target_pf);
    base.clear(agg::rgba8(255, 255, 255, 255));

    agg::trans_affine mtx;
    mtx *= agg::trans_affine_scaling(double(map_width) / scaled_width, double(map_height) / scaled_height);
    if (angle != 0) {
        mtx *= agg::trans_affine_translation(-(scaled_width / 2.0), -(scaled_height / 2.0));
        mtx *= agg::trans_affine_rotation(-angle * agg::pi / 180.0);
        mtx *= agg::trans_affine_translation(scaled_width / 2.0, scaled_height / 2.0);
    }
    agg::rendering_buffer source_buffer(const_cast<uint8_t*>(source.data()), map_width, map_height,
                                        int(map_width * 4));
    pixfmt source_pf(source_buffer);
    agg::image_accessor_clip<pixfmt> accessor(source_pf, agg::rgba8(0, 0, 0, 0));
    agg::span_interpolator_linear<> interpolator(mtx);
    agg::span_image_filter_rgba_bilinear<agg::image_accessor_clip<pixfmt>, agg::span_interpolator_linear<>> spans(
        accessor, interpolator);
    agg::span_allocator<agg::rgba8> allocator;
    agg::rasterizer_scanline_aa<> ras;
    agg::scanline_u8 sl;
    ras.move_to_d(0, 0);
    ras.line_to_d(0, scaled_height);
    ras.line_to_d(scaled_width, scaled_height);
    ras.line_to_d(scaled_width, 0);
    ras.close_polygon();
    agg::render_scanlines_aa(ras, sl, base, allocator, spans);
}

void bm_scale_agg(benchmark::State& state) {
    double angle = double(state.range(0));
    for (auto _ : state) {
        uint8_t* target = static_cast<uint8_t*>(malloc(size_t(scaled_width) * scaled_height * 4));
        agg_scale(angle, target);
        benchmark::DoNotOptimize(target);
        free(target);
    }
}

std::vector<uint8_t> scale_with_agg(double angle) {
    std::vector<uint8_t> target(size_t(scaled_width) * scaled_height * 4);
    agg_scale(angle, target.data());
    return target;
}

// Returns: the RGBA pixels libpng's simplified API reads from `png`,
//     empty when it cannot.
std::vector<uint8_t> libpng_pixels(const void* png, size_t size) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, png, size))
        return {};
    image.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr))
        return {};
    return pixels;
}

std::vector<uint8_t> pixels_of(kiv::i_image* img) {
    if (img == nullptr || img->get_data() == nullptr)
        return {};
    const uint8_t* p = static_cast<const uint8_t*>(img->get_data());
    return std::vector<uint8_t>(p, p + img->get_data_size());
}

// Returns: the largest difference of one channel, 256 for other sizes.
int largest_difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size() || a.empty())
        return 256;
    int largest = 0;
    for (size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, std::abs(int(a[i]) - int(b[i])));
    return largest;
}

// Both encoders write PNGs that read back as the picture, both decoders
// read the same pixels, and both scalers resample alike (AGG's blender
// rounds, so a channel may differ by a step or two).
void check_results() {
    const std::vector<uint8_t>& source = map_pixels();
    kiv_bench::check(libpng_pixels(map_png().data(), map_png().size()) == source, "our PNG read back by libpng");
    for (png_uint_32 flags : {png_uint_32(0), png_uint_32(PNG_IMAGE_FLAG_FAST)}) {
        png_image image;
        std::memset(&image, 0, sizeof image);
        image.version = PNG_IMAGE_VERSION;
        image.width = map_width;
        image.height = map_height;
        image.format = PNG_FORMAT_RGBA;
        image.flags = flags;
        png_alloc_size_t size = 0;
        png_image_write_to_memory(&image, nullptr, &size, 0, source.data(), 0, nullptr);
        std::vector<uint8_t> png(size);
        bool written = png_image_write_to_memory(&image, png.data(), &size, 0, source.data(), 0, nullptr);
        png.resize(written ? size : 0);
        auto_ptr_t<kiv::i_image> ours(kiv_image_create_from_data(png.data(), unsigned(png.size()), 0, 0, 2));
        kiv_bench::check(written && pixels_of(ours) == source,
                         flags != 0 ? "libpng's fast PNG read back by ours" : "libpng's PNG read back by ours");
    }
    for (short angle : {short(0), short(30)}) {
        auto_ptr_t<kiv::i_image> scaled(map_image()->scale(scaled_width, scaled_height, angle, 0xFFFFFFFF));
        int difference = largest_difference(pixels_of(scaled), scale_with_agg(angle));
        kiv_bench::check(difference <= 2, "scaled pixels, " + std::to_string(angle) + " degrees (largest difference " +
                                              std::to_string(difference) + ")");
    }
}

BENCHMARK(bm_png_encode_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_png_encode_libpng)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_png_encode_libpng_fast)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_png_decode_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_png_decode_libpng)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_scale_ours)->Arg(0)->Arg(30)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_scale_agg)->Arg(0)->Arg(30)->Unit(benchmark::kMillisecond);


}  // namespace

int main(int argc, char** argv) {
    return kiv_bench::run_with_ratios(
        argc, argv,
        {{"PNG encode vs libpng simplified", "bm_png_encode_ours", "bm_png_encode_libpng"},
         {"PNG encode vs libpng simplified, fast", "bm_png_encode_ours", "bm_png_encode_libpng_fast"},
         {"PNG decode vs libpng simplified", "bm_png_decode_ours", "bm_png_decode_libpng"},
         {"scale 1024x768 to 800x600 vs direct AGG", "bm_scale_ours/0", "bm_scale_agg/0"},
         {"scale and turn 30 degrees vs direct AGG", "bm_scale_ours/30", "bm_scale_agg/30"}},
        check_results, [] {
            for (const auto& size : encoded_sizes())
                std::printf("PNG size, %s: %zu bytes\n", size.first.c_str(), size.second);
        });
}
