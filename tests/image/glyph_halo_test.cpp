// glyph_halo_test.cpp --
//
//     The halo of a run of glyphs against its definition: every covered
//     glyph pixel, glyph after glyph and row by row, blending the colour
//     into the square around it, one blend at a time, inside the part of
//     the image given. Both blend rules (the map's, rounding toward zero,
//     and AGG's, as the image's text blends), opaque and translucent
//     colours and pixels, glyphs that overlap and reach past the part.

#include <kiv/image/glyph_halo.h>
#include <kiv/image/text_renderer.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

using namespace kiv;

namespace {

// A coverage bitmap with its own pixels.
struct test_bitmap {
    std::vector<uint8_t> cover;
    FT_Bitmap bm = {};
};

void fill_bitmap(test_bitmap& b, unsigned w, unsigned h, std::mt19937& rng) {
    b.cover.resize(size_t(w) * h);
    for (uint8_t& c : b.cover) {
        const unsigned roll = rng() % 4;
        c = roll == 0 ? 0 : roll == 1 ? 255 : uint8_t(rng() % 256);
    }
    b.bm.rows = h;
    b.bm.width = w;
    b.bm.pitch = int(w);
    b.bm.buffer = b.cover.data();
    b.bm.pixel_mode = FT_PIXEL_MODE_GRAY;
}

// The halo by its definition.
void reference_halo(std::vector<uint8_t>& pixels, int width, const std::vector<halo_glyph>& glyphs, int r,
                    const agg::rgba8& color, blend_rule rule, int x0, int y0, int x1, int y1) {
    agg::rendering_buffer rb(pixels.data(), unsigned(width), unsigned(pixels.size() / 4 / width), width * 4);
    text_pixfmt pixf(rb);
    for (const halo_glyph& g : glyphs)
        for (unsigned row = 0; row < g.bitmap->rows; ++row)
            for (unsigned col = 0; col < g.bitmap->width; ++col) {
                const unsigned cover = g.bitmap->buffer[row * unsigned(g.bitmap->pitch) + col];
                if (cover == 0)
                    continue;
                for (int y = g.top + int(row) - r; y <= g.top + int(row) + r; ++y)
                    for (int x = g.left + int(col) - r; x <= g.left + int(col) + r; ++x) {
                        if (x < x0 || x >= x1 || y < y0 || y >= y1)
                            continue;
                        if (rule == blend_rule::agg)
                            pixf.blend_pixel(x, y, color, agg::cover_type(cover));
                        else
                            blend_toward_zero(&pixels[(size_t(y) * width + x) * 4], color, cover);
                    }
            }
}

}  // namespace

TEST(glyph_halo, equals_the_blends_taken_one_by_one_under_either_rule) {
    struct row {
        blend_rule rule;
        agg::rgba8 color;
        bool opaque_ground;
        int radius;
    } rows[] = {
        {blend_rule::toward_zero, agg::rgba8(255, 255, 255, 255), true, 2},
        {blend_rule::toward_zero, agg::rgba8(250, 20, 90, 255), false, 1},
        {blend_rule::toward_zero, agg::rgba8(10, 200, 30, 120), true, 3},
        {blend_rule::agg, agg::rgba8(255, 255, 0, 255), true, 2},
        {blend_rule::agg, agg::rgba8(250, 20, 90, 255), false, 1},
        {blend_rule::agg, agg::rgba8(10, 200, 30, 120), true, 3},
        {blend_rule::agg, agg::rgba8(90, 90, 90, 7), false, 2},
    };
    const int w = 64, h = 40;
    std::mt19937 rng(54);
    for (const row& r : rows) {
        test_bitmap bitmaps[3];
        std::vector<halo_glyph> glyphs;
        const int places[3][2] = {{-3, 5}, {10, 12}, {14, 30}};  // the first and last reach past the image
        for (int i = 0; i < 3; ++i) {
            fill_bitmap(bitmaps[i], 9 + rng() % 8, 6 + rng() % 10, rng);
            glyphs.push_back(halo_glyph{&bitmaps[i].bm, places[i][0], places[i][1]});
        }
        std::vector<uint8_t> ground(size_t(w) * h * 4);
        for (size_t i = 0; i < ground.size(); ++i)
            ground[i] = i % 4 == 3 && r.opaque_ground ? 255 : uint8_t(rng() % 256);
        // The whole image, then only a part of it.
        const int parts[2][4] = {{0, 0, w, h}, {5, 8, 30, 36}};
        for (const auto& part : parts) {
            std::vector<uint8_t> want = ground, got = ground;
            reference_halo(want, w, glyphs, r.radius, r.color, r.rule, part[0], part[1], part[2], part[3]);
            glyph_halo halo;
            halo.draw(got.data(), w * 4, glyphs, r.radius, r.color, r.rule, part[0], part[1], part[2], part[3]);
            ASSERT_NE(want, ground);
            EXPECT_EQ(got, want) << "rule " << int(r.rule) << " colour alpha " << int(r.color.a) << " part "
                                 << part[0];
        }
    }
}
