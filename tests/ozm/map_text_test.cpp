// map_text_test.cpp --
//
//     The map text renderer with DejaVu Sans: measuring and the glyph
//     limit, "center" labels and their collisions (on and off the image),
//     copies along a line at their exact offsets, the bend limit, text
//     upright on lines drawn from right to left, halos (on, off, opaque
//     and not), "along-box" boxes, glyph bitmaps kept and shifted to new
//     places, and the label style drawing all three modes from a map.

#include <kiv/core/env.h>
#include <kiv/image/font_face.h>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H

#include "render/label_style.h"
#include "style_draw_support.h"
#include "text/ozm_text_renderer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

using namespace kiv_test;

const char* const font_dir = "/usr/share/fonts/truetype/dejavu";

class map_text : public ::testing::Test {
protected:
    void SetUp() override { kiv_set_env("KIV_FONT_PATH", font_dir); }
    void TearDown() override { kiv_set_env("KIV_FONT_PATH", ""); }

    // A DejaVu Sans face of `pixels` made by the canvas's manager.
    std::unique_ptr<kiv::font_face> face(canvas& c, unsigned pixels) {
        std::unique_ptr<kiv::font_face> f(c.fonts.create_face("DejaVuSans"));
        EXPECT_TRUE(f && f->set_pixel_size(pixels));
        return f;
    }
    static kiv::ozm_text_renderer text(kiv::font_face* f, unsigned pixels, int halo = 0,
                                       uint32_t halo_color = 0xFFFFFFFF) {
        return kiv::ozm_text_renderer(f, "DejaVuSans", pixels, 0xFF000000, halo, halo_color);
    }
    // Count of pixels of exactly `color`.
    static size_t count(const canvas& c, uint32_t color) {
        size_t n = 0;
        for (uint32_t p : c.pixels)
            n += p == color;
        return n;
    }

    core_session session{false};
};

TEST_F(map_text, measures_up_to_254_glyphs) {
    canvas c(100, 100);
    auto f = face(c, 12);
    auto t = text(f.get(), 12);
    double width = 0, height = 0;
    unsigned n = 0;
    EXPECT_TRUE(t.measure(*c.ctx, std::string(254, 'i').c_str(), width, height, n));
    EXPECT_EQ(n, 254u);
    EXPECT_GT(width, 254.0);
    EXPECT_FALSE(t.measure(*c.ctx, std::string(255, 'i').c_str(), width, height, n));
    EXPECT_FALSE(t.measure(*c.ctx, "", width, height, n));
    EXPECT_FALSE(t.measure(*c.ctx, "bad \xC3", width, height, n));
    // Two-byte characters count once.
    EXPECT_TRUE(t.measure(*c.ctx, "\xD0\x96\xD0\x96", width, height, n));
    EXPECT_EQ(n, 2u);

    canvas wide(4000, 40);
    auto g = face(wide, 8);
    auto u = text(g.get(), 8);
    EXPECT_TRUE(u.draw_at_point(*wide.ctx, wide.ctx->labels, 2000, 20, std::string(254, 'i').c_str(), 0));
    EXPECT_FALSE(wide.blank());
    canvas wide2(4000, 40);
    auto g2 = face(wide2, 8);
    auto u2 = text(g2.get(), 8);
    EXPECT_FALSE(u2.draw_at_point(*wide2.ctx, wide2.ctx->labels, 2000, 20, std::string(255, 'i').c_str(), 0));
    EXPECT_TRUE(wide2.blank());
}

// Placed glyphs are copies of the outline loaded once, turned and moved
// with FT_Glyph_Transform; the pixels must be those of loading the glyph
// under the same face transform.
TEST_F(map_text, transformed_copies_match_glyphs_loaded_under_the_transform) {
    canvas c(10, 10);
    auto f = face(c, 17);
    FT_Face ft = f->get_face();
    auto bitmap = [](FT_Glyph g, std::string& out, int& left, int& top) {
        ASSERT_EQ(FT_Glyph_To_Bitmap(&g, FT_RENDER_MODE_NORMAL, nullptr, 1), 0);
        FT_BitmapGlyph bg = reinterpret_cast<FT_BitmapGlyph>(g);
        left = bg->left;
        top = bg->top;
        out.clear();
        for (unsigned row = 0; row < bg->bitmap.rows; ++row)
            out.append(reinterpret_cast<const char*>(bg->bitmap.buffer + row * bg->bitmap.pitch), bg->bitmap.width);
        out += "/" + std::to_string(bg->bitmap.width);
        FT_Done_Glyph(g);
    };
    for (uint32_t code : {uint32_t('g'), uint32_t('W'), uint32_t(0x416)}) {
        for (double angle : {0.0, 0.3, 2.5, -1.2, 3.14159265358979}) {
            FT_Matrix m;
            m.xx = FT_Fixed(std::lround(std::cos(angle) * 65536));
            m.xy = FT_Fixed(std::lround(-std::sin(angle) * 65536));
            m.yx = FT_Fixed(std::lround(std::sin(angle) * 65536));
            m.yy = FT_Fixed(std::lround(std::cos(angle) * 65536));
            FT_Vector d{FT_Pos(std::lround(123.37 * 64)), FT_Pos(std::lround(45.81 * 64))};
            FT_UInt index = FT_Get_Char_Index(ft, code);
            FT_Set_Transform(ft, &m, &d);
            ASSERT_EQ(FT_Load_Glyph(ft, index, FT_LOAD_NO_HINTING), 0);
            FT_Glyph loaded;
            ASSERT_EQ(FT_Get_Glyph(ft->glyph, &loaded), 0);
            FT_Set_Transform(ft, nullptr, nullptr);
            ASSERT_EQ(FT_Load_Glyph(ft, index, FT_LOAD_NO_HINTING), 0);
            FT_Glyph plain, copy;
            ASSERT_EQ(FT_Get_Glyph(ft->glyph, &plain), 0);
            ASSERT_EQ(FT_Glyph_Copy(plain, &copy), 0);
            FT_Done_Glyph(plain);
            ASSERT_EQ(FT_Glyph_Transform(copy, &m, &d), 0);
            std::string a, b;
            int la, ta, lb, tb;
            bitmap(loaded, a, la, ta);
            bitmap(copy, b, lb, tb);
            EXPECT_EQ(la, lb) << code << " " << angle;
            EXPECT_EQ(ta, tb) << code << " " << angle;
            EXPECT_EQ(a, b) << code << " " << angle;
        }
    }
}

// A glyph's bitmap is rendered once per turn and sub-pixel offset and
// shifted to each place. Labels drawn through one render cache, so that
// later ones reuse earlier bitmaps, must have exactly the pixels of
// FreeType rendering the glyph at the label's own place; past FreeType's
// 16-bit pixel limit the glyph is left out, as FreeType leaves it.
TEST_F(map_text, kept_glyph_bitmaps_give_freetypes_pixels_at_every_place) {
    canvas host(1, 1);
    auto f = face(host, 17);
    FT_Face ft = f->get_face();
    FT_Set_Transform(ft, nullptr, nullptr);
    ASSERT_EQ(FT_Load_Glyph(ft, FT_Get_Char_Index(ft, 'g'), FT_LOAD_NO_HINTING), 0);
    FT_Glyph outline;
    ASSERT_EQ(FT_Get_Glyph(ft->glyph, &outline), 0);
    auto cache = std::make_unique<kiv::render_cache>();
    const struct {
        double x, y;  // label centre
        bool drawn;
    } cases[] = {
        {20.0, 20.0, true},  {20.25, 20.5, true},    {33.0, 17.0, true},      {33.25, 17.5, true},
        {21.6, 19.3, true},  {40.6, 22.3, true},     {32755.6, 20.0, true},   {32766.4, 20.0, false},
    };
    for (const auto& k : cases) {
        const unsigned w = k.x > 1000 ? 32800 : 60, h = 40;
        canvas c(w, h);
        c.ctx.reset(new kiv::render_context(c.ren, 0, 0, &host.fonts, cache.get()));
        auto t = text(f.get(), 17);
        double width = 0, height = 0;
        unsigned n = 0;
        ASSERT_TRUE(t.measure(*c.ctx, "g", width, height, n));
        ASSERT_TRUE(t.draw_at_point(*c.ctx, c.ctx->labels, k.x, k.y, "g", 0));
        // Where the renderer places the glyph's origin: the text's left
        // end, on a baseline half its height less a pixel below the centre.
        const double gx = k.x - width / 2, gy = h - (k.y + height / 2 - 1);
        std::vector<uint32_t> expected(size_t(w) * h, 0xFFFFFFFF);
        FT_Glyph g = nullptr;
        ASSERT_EQ(FT_Glyph_Copy(outline, &g), 0);
        FT_Vector d{FT_Pos(std::lround(gx * 64)), FT_Pos(std::lround(gy * 64))};
        ASSERT_EQ(FT_Glyph_Transform(g, nullptr, &d), 0);
        const bool rendered = FT_Glyph_To_Bitmap(&g, FT_RENDER_MODE_NORMAL, nullptr, 1) == 0;
        EXPECT_EQ(rendered, k.drawn) << k.x;
        if (rendered) {
            FT_BitmapGlyph bg = reinterpret_cast<FT_BitmapGlyph>(g);
            for (unsigned row = 0; row < bg->bitmap.rows; ++row) {
                for (unsigned col = 0; col < bg->bitmap.width; ++col) {
                    const int x = bg->left + int(col), y = int(h) - bg->top + int(row);
                    const unsigned cover = bg->bitmap.buffer[row * bg->bitmap.pitch + col];
                    if (x < 0 || y < 0 || x >= int(w) || y >= int(h) || cover == 0)
                        continue;
                    // Black blended into white with the glyph's coverage;
                    // full coverage sets the pixel.
                    const int a = int((cover + 1) * 255 / 256);
                    const uint32_t v = cover == 255 ? 0 : uint8_t(255 - 255 * a / 256);
                    expected[size_t(y) * w + x] = 0xFF000000 | v << 16 | v << 8 | v;
                }
            }
        }
        FT_Done_Glyph(g);
        EXPECT_EQ(c.pixels, expected) << k.x << " " << k.y;
        EXPECT_EQ(c.blank(), !k.drawn) << k.x;
    }
    FT_Done_Glyph(outline);
    // The kept glyphs go before the manager whose library made them.
    cache.reset();
}

TEST_F(map_text, center_labels_collide) {
    canvas c(200, 100);
    auto f = face(c, 14);
    auto t = text(f.get(), 14);
    EXPECT_TRUE(t.draw_at_point(*c.ctx, c.ctx->labels, 100, 50, "Moscow", 0));
    std::vector<uint32_t> once = c.pixels;
    EXPECT_FALSE(c.blank());
    // The same anchor, and a neighbour overlapping it: neither is drawn.
    EXPECT_FALSE(t.draw_at_point(*c.ctx, c.ctx->labels, 100, 50, "Moscow", 0));
    EXPECT_FALSE(t.draw_at_point(*c.ctx, c.ctx->labels, 120, 55, "Tver", 0));
    EXPECT_EQ(c.pixels, once);
    // Well apart: drawn.
    EXPECT_TRUE(t.draw_at_point(*c.ctx, c.ctx->labels, 100, 85, "Tver", 0));
    EXPECT_NE(c.pixels, once);
}

TEST_F(map_text, label_off_the_image_blocks_without_drawing) {
    canvas c(200, 100);
    auto f = face(c, 14);
    auto t = text(f.get(), 14);
    double width, height;
    unsigned n;
    ASSERT_TRUE(t.measure(*c.ctx, "Label", width, height, n));
    // Right edge 6 pixels left of the image.
    const double x = -6 - width / 2;
    EXPECT_TRUE(t.draw_at_point(*c.ctx, c.ctx->labels, x, 50, "Label", 0));
    EXPECT_TRUE(c.blank());
    // A later label reaching into the image at that place is refused.
    EXPECT_FALSE(t.draw_at_point(*c.ctx, c.ctx->labels, x + width / 2 + 2, 50, "Label", 0));
    EXPECT_TRUE(c.blank());
}

// A text exactly `target` pixels wide: a run of one character whose
// advance divides it, at the first size where there is one.
bool exact_text(canvas& c, double target, std::unique_ptr<kiv::font_face>& f, unsigned& pixels, std::string& out) {
    for (pixels = 8; pixels < 60; ++pixels) {
        f.reset(c.fonts.create_face("DejaVuSans"));
        if (!f || !f->set_pixel_size(pixels))
            return false;
        kiv::ozm_text_renderer t(f.get(), "DejaVuSans", pixels, 0xFF000000, 0, 0);
        double width, height;
        unsigned n;
        if (!t.measure(*c.ctx, "0", width, height, n) || width <= 0)
            continue;
        double k = target / width;
        if (k == std::floor(k)) {
            out.assign(size_t(k), '0');
            return true;
        }
    }
    return false;
}

TEST_F(map_text, copies_along_a_line_at_exact_offsets) {
    // A square image: the copy near its top-left corner must be kept.
    canvas c(1000, 1000);
    std::unique_ptr<kiv::font_face> f;
    unsigned pixels = 0;
    std::string label;
    ASSERT_TRUE(exact_text(c, 100, f, pixels, label));
    kiv::ozm_text_renderer t(f.get(), "DejaVuSans", pixels, 0xFF000000, 0, 0);
    std::vector<kiv::pixel_point> line = {{0, 100}, {1000, 100}};
    ASSERT_TRUE(t.draw_along(*c.ctx, c.ctx->labels, line, label.c_str(), 100));
    // Copies over 50-150, 250-350, ... 850-950 (boxes grown by 1).
    kiv::placement_tree& tree = c.ctx->labels;
    for (double start : {50.0, 250.0, 450.0, 650.0, 850.0}) {
        EXPECT_FALSE(tree.is_free(float(start + 0.5), 90, float(start + 0.5), 110)) << start;
        EXPECT_FALSE(tree.is_free(float(start + 99.5), 90, float(start + 99.5), 110)) << start;
        EXPECT_TRUE(tree.is_free(float(start - 1.5), 0, float(start - 1.5), 200)) << start;
        EXPECT_TRUE(tree.is_free(float(start + 101.5), 0, float(start + 101.5), 200)) << start;
    }
    EXPECT_TRUE(tree.is_free(0, 0, 48, 200));
    EXPECT_TRUE(tree.is_free(952, 0, 1000, 200));
    EXPECT_FALSE(c.blank());
}

TEST_F(map_text, spacing_zero_or_below_gives_one_copy) {
    for (int spacing : {0, -5}) {
        canvas c(1000, 200);
        std::unique_ptr<kiv::font_face> f;
        unsigned pixels = 0;
        std::string label;
        ASSERT_TRUE(exact_text(c, 100, f, pixels, label));
        kiv::ozm_text_renderer t(f.get(), "DejaVuSans", pixels, 0xFF000000, 0, 0);
        std::vector<kiv::pixel_point> line = {{0, 100}, {1000, 100}};
        ASSERT_TRUE(t.draw_along(*c.ctx, c.ctx->labels, line, label.c_str(), spacing));
        EXPECT_FALSE(c.ctx->labels.is_free(500, 90, 500, 110));
        EXPECT_TRUE(c.ctx->labels.is_free(0, 0, 448, 200)) << spacing;
        EXPECT_TRUE(c.ctx->labels.is_free(552, 0, 1000, 200)) << spacing;
    }
}

TEST_F(map_text, a_very_long_line_tries_only_copies_near_the_image) {
    // Hundreds of millions of copies fit along the line; only those that
    // can reach the image are tried, so this finishes at once.
    canvas c(300, 100);
    auto f = face(c, 12);
    auto t = text(f.get(), 12);
    std::vector<kiv::pixel_point> line = {{-2e9, 50}, {2e9, 50}};
    ASSERT_TRUE(t.draw_along(*c.ctx, c.ctx->labels, line, "Ring", 5));
    ASSERT_TRUE(t.draw_along_box(*c.ctx, c.ctx->labels, {{-2e9, 80}, {2e9, 80}}, "A1", 5, 0xFF0000FF));
    EXPECT_FALSE(c.ctx->labels.is_free(0, 40, 300, 60));
    EXPECT_FALSE(c.ctx->labels.is_free(0, 75, 300, 85));
    EXPECT_FALSE(c.blank());
}

TEST_F(map_text, a_bend_of_more_than_120_degrees_rejects_the_copy) {
    for (double turn : {110.0, 130.0}) {
        canvas c(400, 400);
        auto f = face(c, 16);
        auto t = text(f.get(), 16);
        const double a = turn * 3.14159265358979 / 180;
        // Right along y = 200, then turning counter-clockwise by `turn`.
        std::vector<kiv::pixel_point> line = {{100, 200}, {200, 200}, {200 + 100 * std::cos(a), 200 - 100 * std::sin(a)}};
        ASSERT_TRUE(t.draw_along(*c.ctx, c.ctx->labels, line, "Bending street", 0));
        EXPECT_EQ(c.blank(), turn > 120) << turn;
        EXPECT_EQ(c.ctx->labels.is_free(0, 0, 400, 400), turn > 120) << turn;
    }
}

TEST_F(map_text, line_from_right_to_left_carries_upright_text) {
    canvas forward(400, 100), backward(400, 100);
    for (canvas* c : {&forward, &backward}) {
        auto f = face(*c, 16);
        auto t = text(f.get(), 16);
        std::vector<kiv::pixel_point> line = {{100, 50}, {300, 50}};
        if (c == &backward)
            std::swap(line[0], line[1]);
        ASSERT_TRUE(t.draw_along(*c->ctx, c->ctx->labels, line, "Tower Road", 0));
    }
    EXPECT_FALSE(forward.blank());
    size_t differ = 0;
    for (size_t i = 0; i < forward.pixels.size(); ++i)
        differ += forward.pixels[i] != backward.pixels[i];
    EXPECT_EQ(differ, 0u);
}

TEST_F(map_text, halo_only_for_sizes_1_to_255) {
    auto draw = [&](int halo, uint32_t halo_color) {
        canvas c(200, 60);
        auto f = face(c, 16);
        kiv::ozm_text_renderer t(f.get(), "DejaVuSans", 16, 0xFF000000, halo, halo_color);
        EXPECT_TRUE(t.draw_at_point(*c.ctx, c.ctx->labels, 100, 30, "Halo", 0));
        return c.pixels;
    };
    std::vector<uint32_t> none = draw(0, 0xFF0000FF);
    EXPECT_EQ(draw(256, 0xFF0000FF), none);
    EXPECT_EQ(draw(-1, 0xFF0000FF), none);
    std::vector<uint32_t> red = draw(2, 0xFF0000FF);
    size_t halo_pixels = 0;
    for (uint32_t p : red)
        halo_pixels += p == 0xFF0000FF;
    EXPECT_GT(halo_pixels, 50u);
    // Alpha 0 is drawn as opaque.
    EXPECT_EQ(draw(2, 0x000000FF), red);
}

// The opaque halo's shortcut must give what the plain ordered blends
// give: a halo colour of alpha 254 takes the plain path and differs from
// the opaque one only by the rounding of one alpha step.
TEST_F(map_text, opaque_halo_matches_the_ordered_blends) {
    auto draw = [&](uint32_t halo_color) {
        canvas c(240, 80);
        auto f = face(c, 20);
        kiv::ozm_text_renderer t(f.get(), "DejaVuSans", 20, 0xFF000000, 3, halo_color);
        EXPECT_TRUE(t.draw_at_point(*c.ctx, c.ctx->labels, 120, 40, "Quay 42", 0));
        return c.pixels;
    };
    std::vector<uint32_t> opaque = draw(0xFF00FF00), almost = draw(0xFE00FF00);
    size_t far_off = 0;
    for (size_t i = 0; i < opaque.size(); ++i) {
        for (int b = 0; b < 32; b += 8) {
            int d = int((opaque[i] >> b) & 0xFF) - int((almost[i] >> b) & 0xFF);
            far_off += std::abs(d) > 4;
        }
    }
    EXPECT_EQ(far_off, 0u);
}

TEST_F(map_text, along_box_fills_boxes_and_keeps_the_halo) {
    canvas c(400, 100);
    auto f = face(c, 14);
    kiv::ozm_text_renderer t(f.get(), "DejaVuSans", 14, 0xFFFFFFFF, 2, 0xFF000000);
    std::vector<kiv::pixel_point> line = {{0, 50}, {400, 50}};
    ASSERT_TRUE(t.draw_along_box(*c.ctx, c.ctx->labels, line, "M7", 0, 0xFF0000FF));
    // One box around the middle: box colour at its corner area, the
    // outline in the halo colour, white text inside.
    EXPECT_GT(count(c, 0xFF0000FF), 100u);
    EXPECT_GT(count(c, 0xFF000000), 20u);
    EXPECT_EQ(c.at(10, 50), 0xFFFFFFFFu);
    EXPECT_FALSE(c.ctx->labels.is_free(200, 50, 200, 50));
    // The same box again does not fit: nothing changes.
    std::vector<uint32_t> before = c.pixels;
    ASSERT_TRUE(t.draw_along_box(*c.ctx, c.ctx->labels, line, "M7", 0, 0xFF0000FF));
    EXPECT_EQ(c.pixels, before);
}

// The label style over a map: each mode, point features under the line
// modes, a missing face, and two styles whose labels collide.
class label_style : public map_text {
protected:
    void SetUp() override {
        map_text::SetUp();
        w::map_info info;
        info.name = "Labels";
        w::map_writer mw(info);
        mw.add_feature(point_feature(1, at_px(100, 30), "Centre"));
        w::feature road = line_feature(2, {at_px(20, 70), at_px(180, 70)});
        road.label = "Long Road";
        mw.add_feature(road);
        ASSERT_TRUE(map.load(mw, dir.file("labels.ozm")));
    }
    std::unique_ptr<canvas> draw(const std::vector<kiv::render_style*>& styles) {
        std::unique_ptr<canvas> out(new canvas(200, 100));
        canvas& c = *out;
        kiv::ozm::feature_table table = map.all();
        auto_ptr_t<kiv::i_gis_viewport> vp(new_plain_viewport(200, 100));
        kiv::ozm::page_set pages;
        for (kiv::render_style* s : styles)
            s->render(table, pages, *c.ctx, vp);
        return out;
    }
    static bool ink_in(const canvas& c, int y0, int y1) {
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < 200; ++x)
                if (c.at(x, y) != 0xFFFFFFFF)
                    return true;
        return false;
    }

    temp_dir dir;
    loaded_map map;
};

TEST_F(label_style, modes) {
    const std::string common = "color='000000' levels='0-16' features='1-2' size='14' face='DejaVuSans' ";
    auto center = make_style("label", common + "align='center'");
    auto along = make_style("label", common + "align='along'");
    auto box = make_style("label", common + "align='along-box' border_color='FFFF00' halo_size='1'");
    auto missing = make_style("label", "color='000000' levels='0-16' features='1-2' size='14' face='NoSuchFace' "
                                       "align='center'");
    auto zero = make_style("label", "color='000000' levels='0-16' features='1-2' size='0' face='DejaVuSans' "
                                    "align='center'");
    ASSERT_TRUE(center && along && box && missing && zero);
    auto c = draw({center.get()});
    EXPECT_TRUE(ink_in(*c, 15, 45));  // the point's label
    EXPECT_TRUE(ink_in(*c, 55, 85));  // "center" on a line uses its anchor
    auto a = draw({along.get()});
    EXPECT_FALSE(ink_in(*a, 0, 50));  // a point under "along": nothing
    EXPECT_TRUE(ink_in(*a, 55, 85));
    auto b = draw({box.get()});
    EXPECT_FALSE(ink_in(*b, 0, 50));
    EXPECT_GT(count(*b, 0xFF00FFFF), 50u);  // the yellow box
    EXPECT_TRUE(draw({missing.get()})->blank());
    EXPECT_TRUE(draw({zero.get()})->blank());
}

TEST_F(label_style, earlier_labels_win_across_styles) {
    const std::string common = "levels='0-16' features='1' size='14' face='DejaVuSans' align='center' ";
    auto red = make_style("label", common + "color='FF0000'");
    auto blue = make_style("label", common + "color='0000FF'");
    auto c = draw({red.get(), blue.get()});
    size_t reds = 0, blues = 0;
    for (uint32_t p : c->pixels) {
        reds += p == 0xFF0000FF;
        blues += p == 0xFFFF0000;
    }
    EXPECT_GT(reds, 10u);
    EXPECT_EQ(blues, 0u);
}

}  // namespace

namespace {

// Images drawn one after the other through one render cache (its face,
// glyphs and rasteriser kept from image to image) are those that fresh
// tools draw, over backgrounds where the halo settles at once, late, or
// never (a background that is not opaque).
TEST_F(label_style, images_drawn_through_one_cache_match_fresh_tools) {
    const std::string common = "color='000000' levels='0-16' features='1-2' size='14' face='DejaVuSans' ";
    auto center = make_style("label", common + "align='center' halo_size='4' halo_color='FFFFFF'");
    auto along = make_style("label", common + "align='along' halo_size='1' halo_color='80FFFFFF'");
    auto box = make_style("label", common + "align='along-box' border_color='FFFF00' halo_size='2'");
    auto missing = make_style("label", "color='000000' levels='0-16' features='1-2' size='14' face='NoSuchFace' "
                                       "align='center'");
    ASSERT_TRUE(center && along && box && missing);
    const std::vector<std::vector<kiv::render_style*>> images = {
        {center.get()}, {along.get(), missing.get()}, {box.get()}, {center.get(), along.get()}};
    const uint32_t backgrounds[] = {0xFFFFFFFF, 0xFF808080, 0xFFFEFEFE, 0x80204060};
    kiv::font_manager fonts;
    ASSERT_TRUE(fonts.init());
    auto cache = std::make_unique<kiv::render_cache>();
    for (uint32_t background : backgrounds) {
        for (const auto& styles : images) {
            canvas fresh(200, 100, background);
            canvas kept(200, 100, background);
            kept.ctx.reset(new kiv::render_context(kept.ren, 0, 0, &fonts, cache.get()));
            kiv::ozm::feature_table table = map.all();
            auto_ptr_t<kiv::i_gis_viewport> vp(new_plain_viewport(200, 100));
            kiv::ozm::page_set pages;
            for (kiv::render_style* s : styles) {
                s->render(table, pages, *fresh.ctx, vp);
                s->render(table, pages, *kept.ctx, vp);
            }
            EXPECT_NE(fresh.pixels, std::vector<uint32_t>(fresh.pixels.size(), background));
            EXPECT_EQ(kept.pixels, fresh.pixels) << std::hex << background << " " << styles.size();
        }
    }
    // The cache's faces go before their manager.
    cache.reset();
}

}  // namespace
