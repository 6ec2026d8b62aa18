// text_renderer_test.cpp --
//
//     Measuring and drawing on a straight baseline with DejaVu: advances
//     and heights against raw FreeType, the text limits, characters
//     without a glyph, where the glyphs land (probed against FreeType's
//     own bitmap of the same glyph), the halo around a glyph, and bitmaps
//     whose rows are padded.

#include <kiv/image/text_renderer.h>

#include "font_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace kiv;
using namespace kiv_test;

namespace {

const pixel_rgba white = {255, 255, 255, 255};
const pixel_rgba blue = {0, 0, 255, 255};
const agg::rgba8 black(0, 0, 0, 255);
const agg::rgba8 yellow(255, 255, 0, 255);

// Exposes the bitmap step, so a test can hand it a bitmap of its own.
class bitmap_renderer : public text_renderer {
public:
    using text_renderer::text_renderer;
    using text_renderer::render_bitmap;
    using text_renderer::get_char_size;
};

}  // namespace

// Measuring --------------------------------------------------------------

TEST_F(font_folder, the_width_is_the_sum_of_advances_and_the_height_the_tallest_box) {
    font_face* face = open_face("DejaVuSans", 20);
    ASSERT_NE(face, nullptr);
    raw_face raw("DejaVuSans", 20);
    text_renderer text(face, black, 0, black);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(text.set_text("AB", width, height));
    EXPECT_EQ(width, raw.advance('A') + raw.advance('B'));
    EXPECT_EQ(height, std::max(raw.box_height('A'), raw.box_height('B')));

    // Descenders, accents and a Cyrillic letter: the height follows the
    // tallest glyph box, the width every advance.
    const char* mixed = "gÉ\xD0\xB6W";  // g, E acute, zhe, W
    ASSERT_TRUE(text.set_text(mixed, width, height));
    unsigned expected_width = raw.advance('g') + raw.advance(0xC9) + raw.advance(0x436) + raw.advance('W');
    unsigned expected_height = std::max({raw.box_height('g'), raw.box_height(0xC9),
                                         raw.box_height(0x436), raw.box_height('W')});
    EXPECT_EQ(width, expected_width);
    EXPECT_EQ(height, expected_height);
    EXPECT_GT(width, 40u);
}

TEST_F(font_folder, one_character_measures_alike_alone_and_inside_a_text) {
    font_face* face = open_face("DejaVuSans", 18);
    ASSERT_NE(face, nullptr);
    raw_face raw("DejaVuSans", 18);
    bitmap_renderer text(face, black, 0, black);
    const struct {
        unsigned code;
        const char* utf8;
    } cases[] = {{'A', "A"}, {'g', "g"}, {0xC9, "\xC3\x89"}, {0x436, "\xD0\xB6"}, {'.', "."}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        unsigned width = 0, height = 0;
        ASSERT_TRUE(text.get_char_size(c.code, width, height));
        EXPECT_EQ(width, raw.advance(c.code));
        EXPECT_EQ(height, raw.box_height(c.code));
        unsigned text_width = 0, text_height = 0;
        ASSERT_TRUE(text.set_text(c.utf8, text_width, text_height));
        EXPECT_EQ(text_width, width);
        EXPECT_EQ(text_height, height);
    }
    // No glyph in the face: refused, and the sizes are left as they were.
    unsigned width = 7, height = 9;
    EXPECT_FALSE(text.get_char_size(0x4E00, width, height));
    EXPECT_EQ(width, 7u);
    EXPECT_EQ(height, 9u);
    bitmap_renderer faceless(nullptr, black, 0, black);
    EXPECT_FALSE(faceless.get_char_size('A', width, height));
}

TEST_F(font_folder, texts_up_to_255_bytes_are_taken_and_longer_or_empty_ones_refused) {
    font_face* face = open_face("DejaVuSans", 10);
    ASSERT_NE(face, nullptr);
    raw_face raw("DejaVuSans", 10);
    text_renderer text(face, black, 0, black);
    unsigned width = 7, height = 9;
    EXPECT_FALSE(text.set_text("", width, height));
    EXPECT_FALSE(text.set_text(nullptr, width, height));
    EXPECT_FALSE(text.set_text(std::string(256, 'x').c_str(), width, height));
    EXPECT_EQ(width, 7u);
    EXPECT_EQ(height, 9u);
    ASSERT_TRUE(text.set_text(std::string(255, 'x').c_str(), width, height));
    EXPECT_EQ(width, 255 * raw.advance('x'));

    text_renderer faceless(nullptr, black, 0, black);
    EXPECT_FALSE(faceless.set_text("x", width, height));
}

TEST_F(font_folder, a_character_without_a_glyph_is_left_out_not_drawn_as_a_box) {
    font_face* face = open_face("DejaVuSans", 24);
    ASSERT_NE(face, nullptr);
    raw_face raw("DejaVuSans", 24);
    ASSERT_EQ(FT_Get_Char_Index(raw.face(), 0x4E00), 0u) << "DejaVuSans has no CJK glyphs";
    text_renderer text(face, black, 0, black);
    unsigned width = 0, height = 0;
    // U+4E00 between two letters measures as the two letters alone.
    ASSERT_TRUE(text.set_text("A\xE4\xB8\x80" "B", width, height));
    EXPECT_EQ(width, raw.advance('A') + raw.advance('B'));

    canvas with_missing(120, 50, white);
    ASSERT_TRUE(text.render(with_missing.ren(), 10, 35));
    unsigned plain_width = 0;
    ASSERT_TRUE(text.set_text("AB", plain_width, height));
    canvas plain(120, 50, white);
    ASSERT_TRUE(text.render(plain.ren(), 10, 35));
    EXPECT_EQ(with_missing.bytes(), plain.bytes());

    // A text of missing characters only is taken but has nothing to draw.
    ASSERT_TRUE(text.set_text("\xE4\xB8\x80", width, height));
    EXPECT_EQ(width, 0u);
    canvas none(60, 50, white);
    EXPECT_FALSE(text.render(none.ren(), 10, 35));
    EXPECT_EQ(none.changed(white), 0u);
}

TEST_F(font_folder, a_sequence_cut_short_by_the_end_of_the_text_ends_it) {
    font_face* face = open_face("DejaVuSans", 16);
    ASSERT_NE(face, nullptr);
    raw_face raw("DejaVuSans", 16);
    text_renderer text(face, black, 0, black);
    unsigned width = 0, height = 0;
    // A lead byte cut off by the end of the text ends the decoding there.
    ASSERT_TRUE(text.set_text("ab\xC3", width, height));
    EXPECT_EQ(width, raw.advance('a') + raw.advance('b'));
}

// Drawing ----------------------------------------------------------------

TEST_F(font_folder, render_before_any_text_gives_false) {
    font_face* face = open_face("DejaVuSans", 16);
    ASSERT_NE(face, nullptr);
    text_renderer text(face, black, 0, black);
    canvas c(40, 40, white);
    EXPECT_FALSE(text.render(c.ren(), 5, 30));
    EXPECT_EQ(c.changed(white), 0u);
}

TEST_F(font_folder, glyphs_land_where_freetype_puts_them_on_the_baseline) {
    font_face* face = open_face("DejaVuSans", 32);
    ASSERT_NE(face, nullptr);
    text_renderer text(face, black, 0, black);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(text.set_text("Ag", width, height));
    const int x = 7, y = 40;
    canvas c(100, 60, white);
    ASSERT_TRUE(text.render(c.ren(), x, y));

    // The same glyphs rendered by FreeType alone, pen advancing by the
    // measured widths: each glyph darkens white by its coverage.
    raw_face raw("DejaVuSans", 32);
    std::vector<double> expected(100 * 60, 255.0);
    int pen = x;
    for (unsigned code : {unsigned('A'), unsigned('g')}) {
        ASSERT_EQ(FT_Load_Char(raw.face(), code, FT_LOAD_NO_HINTING | FT_LOAD_RENDER), 0);
        FT_GlyphSlot slot = raw.face()->glyph;
        for (unsigned j = 0; j < slot->bitmap.rows; ++j)
            for (unsigned i = 0; i < slot->bitmap.width; ++i) {
                int px = pen + slot->bitmap_left + int(i);
                int py = y - slot->bitmap_top + int(j);
                double& value = expected[size_t(py) * 100 + size_t(px)];
                value = value * (255 - slot->bitmap.buffer[j * slot->bitmap.pitch + i]) / 255;
            }
        pen += int(slot->advance.x >> 6);
    }
    unsigned inked = 0;
    for (int py = 0; py < 60; ++py)
        for (int px = 0; px < 100; ++px) {
            pixel_rgba got = c.at(px, py);
            double want = expected[size_t(py) * 100 + size_t(px)];
            ASSERT_NEAR(got.r, want, 2) << "at " << px << "," << py;
            ASSERT_EQ(got.a, 255);
            inked += got.r < 128;
        }
    EXPECT_GT(inked, 100u);
    // "A" sits on the baseline: its ink ends on the row above y; the
    // descender of "g" reaches below it.
    EXPECT_GT(c.changed(white, 0, y - 1, 30, y), 0u);
    EXPECT_EQ(c.changed(white, 0, y, 28, y + 5), 0u);
    EXPECT_GT(c.changed(white, 30, y + 2, 60, 60), 0u);
}

TEST_F(font_folder, the_glyphs_kept_from_measuring_draw_the_same_label_again_and_anywhere) {
    // Drawing moves the glyphs set_text kept and moves them back: a label
    // drawn again, elsewhere or after another label, is the same picture.
    font_face* face = open_face("DejaVuSans", 18);
    ASSERT_NE(face, nullptr);
    text_renderer text(face, black, 1, yellow);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(text.set_text("Mill Road 12", width, height));
    canvas first(240, 120, white);
    ASSERT_TRUE(text.render(first.ren(), 10, 30));
    ASSERT_GT(first.changed(white, 0, 0, 240, 120), 50u);
    canvas again(240, 120, white);
    ASSERT_TRUE(text.render(again.ren(), 10, 30));
    EXPECT_EQ(again.bytes(), first.bytes());

    // Drawn 60 pixels right and 50 down: the same pixels, moved.
    canvas moved(240, 120, white);
    ASSERT_TRUE(text.render(moved.ren(), 70, 80));
    for (int y = 0; y < 70; ++y)
        for (int x = 0; x < 180; ++x)
            ASSERT_EQ(moved.at(x + 60, y + 50), first.at(x, y)) << "at " << x << "," << y;

    // Another text in between, then the first again from a new set_text.
    ASSERT_TRUE(text.set_text("Other", width, height));
    canvas other(240, 120, white);
    ASSERT_TRUE(text.render(other.ren(), 10, 30));
    EXPECT_NE(other.bytes(), first.bytes());
    ASSERT_TRUE(text.set_text("Mill Road 12", width, height));
    canvas last(240, 120, white);
    ASSERT_TRUE(text.render(last.ren(), 10, 30));
    EXPECT_EQ(last.bytes(), first.bytes());
}

TEST_F(font_folder, a_face_resized_between_labels_is_measured_and_drawn_at_its_new_size) {
    // Glyphs are kept per face size: after a resize the next label is
    // measured and drawn as a renderer that never saw the old size would.
    font_face* face = open_face("DejaVuSans", 14);
    ASSERT_NE(face, nullptr);
    text_renderer text(face, black, 2, yellow);
    unsigned small_width = 0, width = 0, height = 0;
    ASSERT_TRUE(text.set_text("Hg", small_width, height));
    canvas small(160, 80, white);
    ASSERT_TRUE(text.render(small.ren(), 5, 50));

    ASSERT_TRUE(face->set_pixel_size(28));
    // Drawn again without a new set_text: the glyphs are loaded afresh at
    // the new size (the widths stay those measured).
    canvas redrawn(160, 80, white);
    ASSERT_TRUE(text.render(redrawn.ren(), 5, 50));
    EXPECT_GT(redrawn.changed(white, 0, 0, 160, 80), small.changed(white, 0, 0, 160, 80));

    ASSERT_TRUE(text.set_text("Hg", width, height));
    EXPECT_GT(width, small_width + small_width / 2);
    canvas big(160, 80, white);
    ASSERT_TRUE(text.render(big.ren(), 5, 50));

    text_renderer fresh(face, black, 2, yellow);
    unsigned fresh_width = 0, fresh_height = 0;
    ASSERT_TRUE(fresh.set_text("Hg", fresh_width, fresh_height));
    EXPECT_EQ(fresh_width, width);
    EXPECT_EQ(fresh_height, height);
    canvas expected(160, 80, white);
    ASSERT_TRUE(fresh.render(expected.ren(), 5, 50));
    EXPECT_EQ(big.bytes(), expected.bytes());
}

TEST_F(font_folder, drawing_outside_the_buffer_is_clipped) {
    font_face* face = open_face("DejaVuSans", 32);
    ASSERT_NE(face, nullptr);
    text_renderer text(face, black, 3, yellow);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(text.set_text("WWW", width, height));
    canvas c(40, 20, white);
    EXPECT_TRUE(text.render(c.ren(), -30, 10));
    EXPECT_TRUE(text.render(c.ren(), 10, 100000));
    EXPECT_TRUE(text.render(c.ren(), 2000000000, -2000000000));
    EXPECT_GT(c.changed(white), 0u);
}

TEST_F(font_folder, a_halo_covers_every_pixel_within_its_radius_of_the_ink) {
    font_face* face = open_face("DejaVuSans-Bold", 30);
    ASSERT_NE(face, nullptr);
    unsigned width = 0, height = 0;
    text_renderer bare(face, black, 0, yellow);
    ASSERT_TRUE(bare.set_text("l.", width, height));
    canvas ink(60, 50, blue);
    ASSERT_TRUE(bare.render(ink.ren(), 15, 38));

    const int radius = 2;
    text_renderer haloed(face, black, radius, yellow);
    ASSERT_TRUE(haloed.set_text("l.", width, height));
    canvas c(60, 50, blue);
    ASSERT_TRUE(haloed.render(c.ren(), 15, 38));

    // Distance (in the square metric) from each pixel to the nearest
    // fully and to the nearest partly covered pixel of the bare text.
    auto nearest = [&](int x, int y, bool full) {
        int best = 1000;
        for (int v = 0; v < 50; ++v)
            for (int u = 0; u < 60; ++u) {
                pixel_rgba p = ink.at(u, v);
                bool hit = full ? p == pixel_rgba{0, 0, 0, 255} : p != blue;
                if (hit)
                    best = std::min(best, std::max(std::abs(u - x), std::abs(v - y)));
            }
        return best;
    };
    unsigned halo_pixels = 0;
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 60; ++x) {
            pixel_rgba got = c.at(x, y);
            if (nearest(x, y, false) > radius) {
                ASSERT_EQ(got, blue) << "beyond the halo at " << x << "," << y;
            } else if (ink.at(x, y) == blue && nearest(x, y, true) <= radius) {
                ASSERT_EQ(got, (pixel_rgba{255, 255, 0, 255})) << "in the halo at " << x << "," << y;
                ++halo_pixels;
            } else if (ink.at(x, y) == pixel_rgba{0, 0, 0, 255}) {
                ASSERT_EQ(got, (pixel_rgba{0, 0, 0, 255})) << "text over the halo at " << x << "," << y;
            }
        }
    EXPECT_GT(halo_pixels, 100u);
}

TEST_F(font_folder, a_halo_of_zero_or_of_256_and_more_draws_none) {
    font_face* face = open_face("DejaVuSans", 20);
    ASSERT_NE(face, nullptr);
    unsigned width = 0, height = 0;
    text_renderer bare(face, black, 0, yellow);
    ASSERT_TRUE(bare.set_text("Hi", width, height));
    canvas expected(50, 30, blue);
    ASSERT_TRUE(bare.render(expected.ren(), 5, 22));
    for (unsigned halo : {256u, 1000u}) {
        text_renderer text(face, black, halo, yellow);
        ASSERT_TRUE(text.set_text("Hi", width, height));
        canvas c(50, 30, blue);
        ASSERT_TRUE(text.render(c.ren(), 5, 22));
        EXPECT_EQ(c.bytes(), expected.bytes()) << "halo " << halo;
    }
    text_renderer one(face, black, 1, yellow);
    ASSERT_TRUE(one.set_text("Hi", width, height));
    canvas c(50, 30, blue);
    ASSERT_TRUE(one.render(c.ren(), 5, 22));
    EXPECT_NE(c.bytes(), expected.bytes());
}

TEST(text_renderer, a_bitmap_is_read_row_by_row_through_its_pitch) {
    // Two rows of three pixels, each row padded to eight bytes; the
    // padding holds coverage that must never be drawn.
    unsigned char rows[16] = {255, 0, 255, 9, 9, 9, 9, 9,
                              0, 255, 0, 9, 9, 9, 9, 9};
    FT_Bitmap bitmap{};
    bitmap.rows = 2;
    bitmap.width = 3;
    bitmap.pitch = 8;
    bitmap.buffer = rows;
    bitmap.num_grays = 256;
    bitmap.pixel_mode = FT_PIXEL_MODE_GRAY;
    bitmap_renderer text(nullptr, black, 0, black);
    canvas c(10, 4, white);
    text.render_bitmap(c.ren(), bitmap, 1, 1, black);
    EXPECT_EQ(c.at(1, 1), (pixel_rgba{0, 0, 0, 255}));
    EXPECT_EQ(c.at(2, 1), white);
    EXPECT_EQ(c.at(3, 1), (pixel_rgba{0, 0, 0, 255}));
    EXPECT_EQ(c.at(2, 2), (pixel_rgba{0, 0, 0, 255}));
    EXPECT_EQ(c.changed(white), 3u);

    // Rows flowing upwards (negative pitch): the last row in memory is
    // the top one.
    bitmap.pitch = -8;
    canvas up(10, 4, white);
    text.render_bitmap(up.ren(), bitmap, 1, 1, black);
    EXPECT_EQ(up.at(2, 1), (pixel_rgba{0, 0, 0, 255}));
    EXPECT_EQ(up.at(1, 2), (pixel_rgba{0, 0, 0, 255}));
    EXPECT_EQ(up.at(3, 2), (pixel_rgba{0, 0, 0, 255}));
    EXPECT_EQ(up.changed(white), 3u);
}
