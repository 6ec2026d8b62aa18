// font_bench.cpp --
//
//     Text rendering of 1000 labels into a 1024 × 768 RGBA picture, in
//     one run: the text renderer (measuring each label, then drawing the
//     glyphs it keeps per face size) against a raw FreeType loop that
//     loads and renders each character and blends its bitmap with the
//     same AGG renderer, and against that loop keeping each character's
//     bitmap once rendered. All use DejaVuSans at 14 pixels without
//     hinting and must first draw the same pixels. The last lines print
//     the ratios (our time over the reference's).

#include <kiv/core/env.h>
#include <kiv/image/font_manager.h>
#include <kiv/image/text_renderer.h>

#include "ratio_main.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
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

// Our side: the text renderer on DejaVuSans, made once per run.
class ours {
public:
    ours() {
        manager_.init();
        face_.reset(manager_.create_face("DejaVuSans"));
        if (face_ && face_->set_pixel_size(pixels))
            text_ = std::make_unique<kiv::text_renderer>(face_.get(), agg::rgba8(0, 0, 0), 0,
                                                          agg::rgba8(255, 255, 255));
    }
    bool ready() const { return text_ != nullptr; }
    // Measures and draws every label.
    void draw(picture& pic) {
        for (const label& l : label_set()) {
            unsigned w = 0, h = 0;
            text_->set_text(l.text.c_str(), w, h);
            text_->render(pic.ren, l.x, l.y);
        }
    }

private:
    kiv::font_manager manager_;
    std::unique_ptr<kiv::font_face> face_;
    std::unique_ptr<kiv::text_renderer> text_;
};

// The reference: FreeType loading and rendering each character, its
// bitmap blended pixel by pixel through the same AGG renderer.
class raw_freetype {
public:
    raw_freetype() {
        if (FT_Init_FreeType(&library_) != 0)
            return;
        if (FT_New_Face(library_, (std::string(font_folder) + "/DejaVuSans.ttf").c_str(), 0, &face_) != 0)
            face_ = nullptr;
        else
            FT_Set_Pixel_Sizes(face_, 0, pixels);
    }
    ~raw_freetype() {
        if (face_ != nullptr)
            FT_Done_Face(face_);
        if (library_ != nullptr)
            FT_Done_FreeType(library_);
    }
    raw_freetype(const raw_freetype&) = delete;
    raw_freetype& operator=(const raw_freetype&) = delete;
    bool ready() const { return face_ != nullptr; }
    FT_Face face() const { return face_; }
    void draw(picture& pic) {
        const agg::rgba8 black(0, 0, 0);
        for (const label& l : label_set()) {
            int pen = l.x;
            for (unsigned char c : l.text) {
                if (FT_Load_Char(face_, c, FT_LOAD_NO_HINTING | FT_LOAD_RENDER) != 0)
                    continue;
                const FT_Bitmap& bm = face_->glyph->bitmap;
                int left = pen + face_->glyph->bitmap_left;
                int top = l.y - face_->glyph->bitmap_top;
                for (unsigned j = 0; j < bm.rows; ++j)
                    for (unsigned i = 0; i < bm.width; ++i) {
                        unsigned char cover = bm.buffer[j * bm.pitch + i];
                        if (cover != 0)
                            pic.ren.blend_pixel(left + int(i), top + int(j), black, cover);
                    }
                pen += int(face_->glyph->advance.x >> 6);
            }
        }
    }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

// The reference as a program drawing many labels would write it: each
// character rendered by FreeType once, its bitmap kept and blended
// wherever the character comes again.
class cached_freetype {
public:
    bool ready() const { return raw_.ready(); }
    void draw(picture& pic) {
        const agg::rgba8 black(0, 0, 0);
        for (const label& l : label_set()) {
            int pen = l.x;
            for (unsigned char c : l.text) {
                const glyph* g = glyph_of(c);
                if (g == nullptr)
                    continue;
                int left = pen + g->left;
                int top = l.y - g->top;
                for (unsigned j = 0; j < g->rows; ++j)
                    for (unsigned i = 0; i < g->width; ++i) {
                        unsigned char cover = g->coverage[j * g->width + i];
                        if (cover != 0)
                            pic.ren.blend_pixel(left + int(i), top + int(j), black, cover);
                    }
                pen += g->advance;
            }
        }
    }

private:
    struct glyph {
        int left = 0, top = 0, advance = 0;
        unsigned width = 0, rows = 0;
        std::vector<unsigned char> coverage;
    };
    const glyph* glyph_of(unsigned char c) {
        auto known = glyphs_.find(c);
        if (known != glyphs_.end())
            return &known->second;
        FT_Face face = raw_.face();
        if (FT_Load_Char(face, c, FT_LOAD_NO_HINTING | FT_LOAD_RENDER) != 0)
            return nullptr;
        const FT_Bitmap& bm = face->glyph->bitmap;
        glyph g;
        g.left = face->glyph->bitmap_left;
        g.top = face->glyph->bitmap_top;
        g.advance = int(face->glyph->advance.x >> 6);
        g.width = bm.width;
        g.rows = bm.rows;
        for (unsigned j = 0; j < bm.rows; ++j)
            g.coverage.insert(g.coverage.end(), bm.buffer + j * bm.pitch, bm.buffer + j * bm.pitch + bm.width);
        return &glyphs_.emplace(c, std::move(g)).first->second;
    }

    raw_freetype raw_;
    std::map<unsigned char, glyph> glyphs_;
};

void bm_text_renderer(benchmark::State& state) {
    ours text;
    if (!text.ready()) {
        state.SkipWithError("DejaVuSans not found");
        return;
    }
    picture pic;
    for (auto _ : state)
        text.draw(pic);
    state.SetItemsProcessed(int64_t(state.iterations()) * labels);
}

void bm_raw_freetype(benchmark::State& state) {
    raw_freetype text;
    if (!text.ready()) {
        state.SkipWithError("DejaVuSans not found");
        return;
    }
    picture pic;
    for (auto _ : state)
        text.draw(pic);
    state.SetItemsProcessed(int64_t(state.iterations()) * labels);
}

// One pass of each into a fresh white picture gives the same pixels.
void check_results() {
    ours our_text;
    raw_freetype raw_text;
    if (!our_text.ready() || !raw_text.ready()) {
        kiv_bench::fail("DejaVuSans not found in " + std::string(font_folder));
        return;
    }
    cached_freetype cached_text;
    picture a, b, c;
    our_text.draw(a);
    raw_text.draw(b);
    cached_text.draw(c);
    size_t inked = 0;
    for (unsigned char byte : a.bytes)
        inked += byte != 255;
    kiv_bench::check(inked > 0 && a.bytes == b.bytes && a.bytes == c.bytes, "pixels of 1000 labels");
}

void bm_cached_freetype(benchmark::State& state) {
    cached_freetype text;
    if (!text.ready()) {
        state.SkipWithError("DejaVuSans not found");
        return;
    }
    picture pic;
    for (auto _ : state)
        text.draw(pic);
    state.SetItemsProcessed(int64_t(state.iterations()) * labels);
}

BENCHMARK(bm_text_renderer)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_raw_freetype)->Unit(benchmark::kMillisecond);
BENCHMARK(bm_cached_freetype)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    kiv_set_env("KIV_FONT_PATH", font_folder);
    return kiv_bench::run_with_ratios(
        argc, argv,
        {{"text_renderer vs raw FreeType, 1000 labels", "bm_text_renderer", "bm_raw_freetype"},
         {"text_renderer vs FreeType with kept bitmaps, 1000 labels", "bm_text_renderer", "bm_cached_freetype"}},
        check_results);
}
