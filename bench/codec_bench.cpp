// codec_bench.cpp --
//
//     The image library's JPEG and GIF codecs against libjpeg and giflib
//     used directly, in one run, on a 1024 × 768 picture of smooth
//     gradients, hard edges and noise:
//     - JPEG at quality 85, encoded from RGBA rows (dropped to RGB) and
//       decoded back to RGBA;
//     - GIF with 256 colours (giflib's median-cut quantizer, then the
//       LZW encoder) and decoded back to RGBA through the colour map.
//     First both sides of each pair must agree: the same JPEG bytes, the
//     same decoded pixels. The last lines print each ratio (our time over
//     the library's).

#include <kiv/core/auto_ptr.h>
#include <kiv/image/image_lib.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <cstdio>  // before jpeglib.h
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>

namespace {

const unsigned width = 1024;
const unsigned height = 768;
const int jpeg_quality = 85;
const unsigned char gif_quality = 100;  // 256 colours
const int gif_colours = 256;

const std::vector<uint8_t>& picture() {
    static const std::vector<uint8_t> pixels = [] {
        std::vector<uint8_t> p(size_t(width) * height * 4);
        unsigned noise = 12345;
        for (unsigned y = 0; y < height; ++y)
            for (unsigned x = 0; x < width; ++x) {
                noise = noise * 1103515245u + 12345u;
                uint8_t* px = p.data() + (size_t(y) * width + x) * 4;
                bool block = ((x / 96) + (y / 80)) % 3 == 0;
                px[0] = uint8_t(block ? 200 : x * 255 / width);
                px[1] = uint8_t(block ? 60 : y * 255 / height);
                px[2] = uint8_t(((x + y) / 4 + (noise >> 28)) & 0xFF);
                px[3] = 255;
            }
        return p;
    }();
    return pixels;
}

kiv::i_image* source_image() {
    static kiv::i_image* img =
        kiv_image_create_from_data(picture().data(), unsigned(picture().size()), width, height, 6);
    return img;
}

std::vector<uint8_t> bytes_of(kiv::i_binary* b) {
    if (b == nullptr || b->get_data() == nullptr)
        return {};
    const uint8_t* p = static_cast<const uint8_t*>(b->get_data());
    return std::vector<uint8_t>(p, p + b->get_data_size());
}

std::vector<uint8_t> pixels_of(kiv::i_image* img) {
    if (img == nullptr || img->get_data() == nullptr)
        return {};
    const uint8_t* p = static_cast<const uint8_t*>(img->get_data());
    return std::vector<uint8_t>(p, p + img->get_data_size());
}

std::vector<uint8_t> our_encoding(unsigned char format, unsigned char quality) {
    auto_ptr_t<kiv::i_binary> encoded(source_image()->get_binary_data(format, quality));
    return bytes_of(encoded);
}

// JPEG through libjpeg ------------------------------------------------

struct jpeg_failure {
    jpeg_error_mgr mgr;
};

[[noreturn]] void jpeg_throw(j_common_ptr) {
    throw jpeg_failure{};
}

std::vector<uint8_t> libjpeg_encode(const std::vector<uint8_t>& rgba) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    err.error_exit = jpeg_throw;
    unsigned char* out = nullptr;
    unsigned long out_size = 0;
    std::vector<uint8_t> result;
    try {
        jpeg_create_compress(&cinfo);
        jpeg_mem_dest(&cinfo, &out, &out_size);
        cinfo.image_width = width;
        cinfo.image_height = height;
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, jpeg_quality, TRUE);
        std::vector<uint8_t> row(size_t(width) * 3);
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            const uint8_t* src = rgba.data() + size_t(cinfo.next_scanline) * width * 4;
            for (unsigned x = 0; x < width; ++x) {
                row[3 * x] = src[4 * x];
                row[3 * x + 1] = src[4 * x + 1];
                row[3 * x + 2] = src[4 * x + 2];
            }
            JSAMPROW rows[1] = {row.data()};
            jpeg_write_scanlines(&cinfo, rows, 1);
        }
        jpeg_finish_compress(&cinfo);
        result.assign(out, out + out_size);
    } catch (const jpeg_failure&) {
        result.clear();
    }
    jpeg_destroy_compress(&cinfo);
    free(out);
    return result;
}

std::vector<uint8_t> libjpeg_decode(const std::vector<uint8_t>& jpeg) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    err.error_exit = jpeg_throw;
    std::vector<uint8_t> rgba;
    try {
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
        jpeg_read_header(&cinfo, TRUE);
        cinfo.out_color_space = JCS_RGB;
        jpeg_start_decompress(&cinfo);
        rgba.resize(size_t(cinfo.output_width) * cinfo.output_height * 4);
        std::vector<uint8_t> row(size_t(cinfo.output_width) * 3);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW rows[1] = {row.data()};
            jpeg_read_scanlines(&cinfo, rows, 1);
            uint8_t* dst = rgba.data() + size_t(cinfo.output_scanline - 1) * cinfo.output_width * 4;
            for (unsigned x = 0; x < cinfo.output_width; ++x) {
                dst[4 * x] = row[3 * x];
                dst[4 * x + 1] = row[3 * x + 1];
                dst[4 * x + 2] = row[3 * x + 2];
                dst[4 * x + 3] = 255;
            }
        }
        jpeg_finish_decompress(&cinfo);
    } catch (const jpeg_failure&) {
        rgba.clear();
    }
    jpeg_destroy_decompress(&cinfo);
    return rgba;
}

// GIF through giflib --------------------------------------------------

struct memory_out {
    std::vector<uint8_t> bytes;
};

int write_memory(GifFileType* gif, const GifByteType* data, int size) {
    static_cast<memory_out*>(gif->UserData)->bytes.insert(static_cast<memory_out*>(gif->UserData)->bytes.end(),
                                                         data, data + size);
    return size;
}

struct memory_in {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
};

int read_memory(GifFileType* gif, GifByteType* out, int size) {
    memory_in* in = static_cast<memory_in*>(gif->UserData);
    size_t n = std::min(size_t(size), in->size - in->at);
    std::memcpy(out, in->data + in->at, n);
    in->at += n;
    return int(n);
}

std::vector<uint8_t> giflib_encode(const std::vector<uint8_t>& rgba) {
    size_t count = size_t(width) * height;
    std::vector<GifByteType> red(count), green(count), blue(count), indices(count);
    for (size_t i = 0; i < count; ++i) {
        red[i] = rgba[4 * i];
        green[i] = rgba[4 * i + 1];
        blue[i] = rgba[4 * i + 2];
    }
    ColorMapObject* map = GifMakeMapObject(gif_colours, nullptr);
    if (map == nullptr)
        return {};
    int colours = gif_colours;
    memory_out sink;
    bool ok = GifQuantizeBuffer(width, height, &colours, red.data(), green.data(), blue.data(), indices.data(),
                                map->Colors) == GIF_OK;
    int error = 0;
    GifFileType* gif = ok ? EGifOpen(&sink, write_memory, &error) : nullptr;
    ok = gif != nullptr && EGifPutScreenDesc(gif, int(width), int(height), GifBitSize(gif_colours), 0, map) == GIF_OK &&
         EGifPutImageDesc(gif, 0, 0, int(width), int(height), false, nullptr) == GIF_OK;
    for (unsigned y = 0; ok && y < height; ++y)
        ok = EGifPutLine(gif, indices.data() + size_t(y) * width, int(width)) == GIF_OK;
    if (gif != nullptr && EGifCloseFile(gif, &error) == GIF_ERROR)
        ok = false;
    GifFreeMapObject(map);
    return ok ? sink.bytes : std::vector<uint8_t>();
}

std::vector<uint8_t> giflib_decode(const std::vector<uint8_t>& data) {
    memory_in source{data.data(), data.size()};
    int error = 0;
    GifFileType* gif = DGifOpen(&source, read_memory, &error);
    if (gif == nullptr)
        return {};
    std::vector<uint8_t> rgba;
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0) {
        const SavedImage& frame = gif->SavedImages[0];
        const ColorMapObject* map = frame.ImageDesc.ColorMap != nullptr ? frame.ImageDesc.ColorMap : gif->SColorMap;
        unsigned w = unsigned(frame.ImageDesc.Width), h = unsigned(frame.ImageDesc.Height);
        if (map != nullptr && w == unsigned(gif->SWidth) && h == unsigned(gif->SHeight)) {
            rgba.resize(size_t(w) * h * 4);
            for (size_t i = 0; i < size_t(w) * h; ++i) {
                unsigned index = frame.RasterBits[i];
                const GifColorType& c = map->Colors[index < unsigned(map->ColorCount) ? index : 0];
                rgba[4 * i] = c.Red;
                rgba[4 * i + 1] = c.Green;
                rgba[4 * i + 2] = c.Blue;
                rgba[4 * i + 3] = 255;
            }
        }
    }
    DGifCloseFile(gif, &error);
    return rgba;
}

// Benchmarks ----------------------------------------------------------

const std::vector<uint8_t>& sample(unsigned char format) {
    static const std::vector<uint8_t> jpeg = libjpeg_encode(picture());
    static const std::vector<uint8_t> gif = giflib_encode(picture());
    return format == kiv::image_format_jpeg ? jpeg : gif;
}

void encode_ours(benchmark::State& state, unsigned char format, unsigned char quality) {
    source_image();
    for (auto _ : state) {
        auto_ptr_t<kiv::i_binary> encoded(source_image()->get_binary_data(format, quality));
        if (!encoded) {
            state.SkipWithError("encoding failed");
            break;
        }
    }
}

void decode_ours(benchmark::State& state, unsigned char format) {
    const std::vector<uint8_t>& data = sample(format);
    for (auto _ : state) {
        auto_ptr_t<kiv::i_image> img(kiv_image_create_from_data(data.data(), unsigned(data.size()), 0, 0, format));
        if (!img) {
            state.SkipWithError("decoding failed");
            break;
        }
    }
}

template <class Codec>
void run_reference(benchmark::State& state, const std::vector<uint8_t>& input, Codec codec) {
    for (auto _ : state) {
        std::vector<uint8_t> out = codec(input);
        if (out.empty()) {
            state.SkipWithError("the library failed");
            break;
        }
    }
}

void bm_jpeg_encode_ours(benchmark::State& state) {
    encode_ours(state, kiv::image_format_jpeg, jpeg_quality);
}
void bm_jpeg_encode_libjpeg(benchmark::State& state) {
    run_reference(state, picture(), libjpeg_encode);
}
void bm_jpeg_decode_ours(benchmark::State& state) {
    decode_ours(state, kiv::image_format_jpeg);
}
void bm_jpeg_decode_libjpeg(benchmark::State& state) {
    run_reference(state, sample(kiv::image_format_jpeg), libjpeg_decode);
}
void bm_gif_encode_ours(benchmark::State& state) {
    encode_ours(state, kiv::image_format_gif, gif_quality);
}
void bm_gif_encode_giflib(benchmark::State& state) {
    run_reference(state, picture(), giflib_encode);
}
void bm_gif_decode_ours(benchmark::State& state) {
    decode_ours(state, kiv::image_format_gif);
}
void bm_gif_decode_giflib(benchmark::State& state) {
    run_reference(state, sample(kiv::image_format_gif), giflib_decode);
}

BENCHMARK(bm_jpeg_encode_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_jpeg_encode_libjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_jpeg_decode_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_jpeg_decode_libjpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_gif_encode_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_gif_encode_giflib)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_gif_decode_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_gif_decode_giflib)->Unit(benchmark::kMillisecond);

void check_results() {
    std::vector<uint8_t> our_jpeg = our_encoding(kiv::image_format_jpeg, jpeg_quality);
    kiv_bench::check(!our_jpeg.empty() && our_jpeg == sample(kiv::image_format_jpeg), "JPEG bytes");
    auto_ptr_t<kiv::i_image> jpeg_read(kiv_image_create_from_data(sample(kiv::image_format_jpeg).data(),
                                                                  unsigned(sample(kiv::image_format_jpeg).size()), 0,
                                                                  0, kiv::image_format_jpeg));
    std::vector<uint8_t> reference = libjpeg_decode(sample(kiv::image_format_jpeg));
    kiv_bench::check(!reference.empty() && pixels_of(jpeg_read) == reference, "JPEG decoded pixels");

    std::vector<uint8_t> our_gif = our_encoding(kiv::image_format_gif, gif_quality);
    reference = giflib_decode(sample(kiv::image_format_gif));
    kiv_bench::check(!reference.empty() && giflib_decode(our_gif) == reference, "GIF encoded pixels");
    auto_ptr_t<kiv::i_image> gif_read(kiv_image_create_from_data(sample(kiv::image_format_gif).data(),
                                                                 unsigned(sample(kiv::image_format_gif).size()), 0, 0,
                                                                 kiv::image_format_gif));
    kiv_bench::check(pixels_of(gif_read) == reference, "GIF decoded pixels");
}

}  // namespace

int main(int argc, char** argv) {
    return kiv_bench::run_with_ratios(
        argc, argv,
        {{"JPEG encode vs libjpeg", "bm_jpeg_encode_ours", "bm_jpeg_encode_libjpeg"},
         {"JPEG decode vs libjpeg", "bm_jpeg_decode_ours", "bm_jpeg_decode_libjpeg"},
         {"GIF encode vs giflib", "bm_gif_encode_ours", "bm_gif_encode_giflib"},
         {"GIF decode vs giflib", "bm_gif_decode_ours", "bm_gif_decode_giflib"}},
        check_results);
}
