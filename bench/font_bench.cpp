// font_bench.cpp --
//
//     Text rendering of 1000 labels into a 1024 × 768 RGBA picture, in
//     one run: the text renderer (measuring each label, then loading,
//     rendering and blending its glyphs) against a raw FreeType loop that
//     loads and renders each character and blends its bitmap with the
//     same AGG renderer. Both use DejaVuSans at 14 pixels without hinting.
//     The last line prints the ratio (our time over the raw loop's).

#include <kiv/core/env.h>
#include <kiv/image/font_manager.h>
#include <kiv/image/text_renderer.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr unsigned width = 1024, height = 768, labels = 1000, pixels = 14;
const char* const font_folder = "/usr/share/fonts/truetype/dejavu";

const char* const names[] = {"Main Street", "River Road", "Old Mill Bridge", "North Lane 12",
                             "Lake Shore Drive", "Station Square", "Hill Road", "Ulitsa Lenina"};

struct label {
    std::string text;
    int x, y;
};

const std::vector<label>& label_set() {
    static std::vector<label> set = [] {
        std::vector<label> out;
        unsigned state = 3;
        for (unsigned i = 0; i < labels; ++i) {
            state = state * 1103515245u + 12345u;
            out.push_back(label{names[(state >> 8) % 8], int((state >> 4) % (width - 100)),
                                int(20 + (state >> 16) % (height - 30))});
        }
        return out;
    }();
    return set;
}

struct picture {
    std::vector<unsigned char> bytes = std::vector<unsigned char>(size_t(width) * height * 4, 255);
    agg::rendering_buffer buffer{bytes.data(), width, height, int(width * 4)};
    kiv::text_pixfmt pixfmt{buffer};
    kiv::text_renderer_base ren{pixfmt};
};

void bm_text_renderer(benchmark::State& state) {
    kiv::font_manager manager;
    manager.init();
    std::unique_ptr<kiv::font_face> face(manager.create_face("DejaVuSans"));
    if (!face || !face->set_pixel_size(pixels)) {
        state.SkipWithError("DejaVuSans not found");
        return;
    }
    kiv::text_renderer text(face.get(), agg::rgba8(0, 0, 0), 0, agg::rgba8(255, 255, 255));
    picture pic;
    for (auto _ : state) {
        for (const label& l : label_set()) {
            unsigned w = 0, h = 0;
            text.set_text(l.text.c_str(), w, h);
            text.render(pic.ren, l.x, l.y);
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * labels);
}

void bm_raw_freetype(benchmark::State& state) {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&library) != 0 ||
        FT_New_Face(library, (std::string(font_folder) + "/DejaVuSans.ttf").c_str(), 0, &face) != 0) {
        state.SkipWithError("DejaVuSans not found");
        return;
    }
    FT_Set_Pixel_Sizes(face, 0, pixels);
    picture pic;
    const agg::rgba8 black(0, 0, 0);
    for (auto _ : state) {
        for (const label& l : label_set()) {
            int pen = l.x;
            for (unsigned char c : l.text) {
                if (FT_Load_Char(face, c, FT_LOAD_NO_HINTING | FT_LOAD_RENDER) != 0)
                    continue;
                const FT_Bitmap& bm = face->glyph->bitmap;
                int left = pen + face->glyph->bitmap_left;
                int top = l.y - face->glyph->bitmap_top;
                for (unsigned j = 0; j < bm.rows; ++j)
                    for (unsigned i = 0; i < bm.width; ++i) {
                        unsigned char cover = bm.buffer[j * bm.pitch + i];
                        if (cover != 0)
                            pic.ren.blend_pixel(left + int(i), top + int(j), black, cover);
                    }
                pen += int(face->glyph->advance.x >> 6);
            }
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * labels);
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

BENCHMARK(bm_text_renderer)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_raw_freetype)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    kiv_set_env("KIV_FONT_PATH", font_folder);
    return kiv_bench::run_with_ratios(
        argc, argv, {{"text_renderer vs raw FreeType, 1000 labels", "bm_text_renderer", "bm_raw_freetype"}});
}
