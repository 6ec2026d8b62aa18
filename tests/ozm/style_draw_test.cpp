// style_draw_test.cpp --
//
//     The render styles drawing into small images: pixel probes for each
//     style (borders under lines, the dash period, closed rings, fills,
//     the pattern anchored at the image's top-left, icons and their
//     collisions, line pictures and their flag filter), the code-range
//     walk that touches nothing, records that fail their checks, a style
//     dense enough to pass AGG's cell limit, and far coordinates that
//     must draw the same pixels as the same shapes cut short.

#include <kiv/core/env.h>

#include "render/geometry_styles.h"
#include "render/image_styles.h"
#include "style_draw_support.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

using namespace kiv_test;

class style_draw : public ::testing::Test {
protected:
    void SetUp() override { kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", OZM_STYLE_IMAGES_ROOT); }
    void TearDown() override { kiv_set_env("KIV_OZM_RENDER_CONFIG_PATH", ""); }

    // Draws `styles` in order over the features of `writer` on a w × h
    // canvas through the plain viewport.
    void draw(const w::map_writer& writer, const std::vector<kiv::render_style*>& styles, canvas& c,
              size_t* locked_pages = nullptr) {
        loaded_map m;
        ASSERT_TRUE(m.load(writer, dir.file("map.ozm")));
        kiv::ozm::feature_table table = m.all();
        auto_ptr_t<kiv::i_gis_viewport> vp(new_plain_viewport(c.width, c.height));
        kiv::ozm::page_set pages;
        for (kiv::render_style* s : styles)
            s->render(table, pages, *c.ctx, vp);
        if (locked_pages != nullptr)
            *locked_pages = pages.size();
    }

    w::map_writer writer() {
        w::map_info info;
        info.name = "Test";
        return w::map_writer(info);
    }

    core_session session{false};
    temp_dir dir;
};

TEST_F(style_draw, line_border_is_wider_and_under_the_line) {
    w::map_writer mw = writer();
    mw.add_feature(line_feature(1, {at_px(10, 50), at_px(90, 50)}));
    auto border = make_style("line", "color='FF0000' levels='0-16' features='1' width='3' border_width='1' "
                                     "border_color='0000FF'", true);
    auto line = make_style("line", "color='FF0000' levels='0-16' features='1' width='3' border_width='1' "
                                   "border_color='0000FF'");
    ASSERT_TRUE(border && line);
    canvas c(100, 100);
    draw(mw, {border.get(), line.get()}, c);
    // The line covers rows 48.5-51.5, the border 47.5-52.5.
    EXPECT_EQ(c.at(50, 49), 0xFF0000FFu);
    EXPECT_EQ(c.at(50, 50), 0xFF0000FFu);
    for (int row : {47, 52}) {  // half a pixel of border on white
        EXPECT_EQ(c.blue(50, row), 255) << row;
        EXPECT_NEAR(c.red(50, row), 128, 3) << row;
    }
    for (int row : {48, 51}) {  // full border under half the line
        EXPECT_GT(c.red(50, row), 100) << row;
        EXPECT_GT(c.blue(50, row), 100) << row;
        EXPECT_EQ(c.green(50, row), 0) << row;
    }
    EXPECT_EQ(c.at(50, 46), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(50, 53), 0xFFFFFFFFu);
}

TEST_F(style_draw, border_instances_that_draw_nothing) {
    w::map_writer mw = writer();
    mw.add_feature(line_feature(1, {at_px(10, 50), at_px(90, 50)}));
    struct row {
        const char* type;
        const char* attrs;
    } rows[] = {
        {"line", "color='FF0000' levels='0-16' features='1' width='3' border_width='0' border_color='0000FF'"},
        {"dash", "color='FF0000' levels='0-16' features='1' width='3' border_width='2' border_color='0000FF' "
                 "dash='4,4'"},
        {"polygon", "color='FF0000' levels='0-16' features='1' border_width='0' border_color='0000FF'"},
    };
    for (const row& r : rows) {
        auto border = make_style(r.type, r.attrs, true);
        ASSERT_TRUE(border) << r.type;
        canvas c(100, 100);
        draw(mw, {border.get()}, c);
        EXPECT_TRUE(c.blank()) << r.type;
        // The style itself still draws.
        auto style = make_style(r.type, r.attrs);
        canvas d(100, 100);
        draw(mw, {style.get()}, d);
        if (std::string(r.type) != "polygon") {
            EXPECT_FALSE(d.blank()) << r.type;
        }
    }
}

TEST_F(style_draw, dash_period) {
    w::map_writer mw = writer();
    mw.add_feature(line_feature(1, {at_px(0, 50), at_px(100, 50)}));
    auto dash = make_style("dash", "color='000000' levels='0-16' features='1' width='2' dash='10,10'");
    canvas c(100, 100);
    draw(mw, {dash.get()}, c);
    for (int x = 5; x < 100; x += 10) {
        bool on = (x / 10) % 2 == 0;
        EXPECT_EQ(c.at(x, 49), on ? 0xFF000000u : 0xFFFFFFFFu) << x;
    }
}

TEST_F(style_draw, dashes_of_a_line_far_beyond_the_image_keep_their_phase) {
    // A line starting 10,000,005 pixels to the left: its dashes inside lie
    // where the same line starting 5 pixels to the left puts them.
    canvas far(100, 20), near(100, 20);
    auto dash = make_style("dash", "color='000000' levels='0-16' features='1' width='2' dash='7,13'");
    w::map_writer a = writer();
    a.add_feature(line_feature(1, {at_px(-10000005, 10), at_px(100, 10)}));
    draw(a, {dash.get()}, far);
    w::map_writer b = writer();
    b.add_feature(line_feature(1, {at_px(-5, 10), at_px(100, 10)}));
    draw(b, {dash.get()}, near);
    EXPECT_FALSE(near.blank());
    EXPECT_EQ(far.pixels, near.pixels);
}

TEST_F(style_draw, closed_ring_gets_its_closing_segment) {
    std::vector<w::point> ring = {at_px(20, 20), at_px(80, 20), at_px(80, 80), at_px(20, 80)};
    auto line = make_style("line", "color='000000' levels='0-16' features='1' width='2'");
    for (bool closed : {true, false}) {
        w::map_writer mw = writer();
        mw.add_feature(line_feature(1, ring, closed ? 0x80 : 0));
        canvas c(100, 100);
        draw(mw, {line.get()}, c);
        EXPECT_EQ(c.at(50, 79), 0xFF000000u);  // bottom edge, drawn either way
        EXPECT_EQ(c.at(19, 50) != 0xFFFFFFFFu, closed) << closed;  // the closing left edge
    }
}

TEST_F(style_draw, code_range_without_features_touches_nothing) {
    w::map_writer mw = writer();
    mw.add_feature(line_feature(5, {at_px(10, 50), at_px(90, 50)}));
    mw.add_feature(line_feature(30, {at_px(10, 60), at_px(90, 60)}));
    for (const char* type : {"line", "polygon", "smooth-polygon", "polygon-image", "line-image", "image"}) {
        std::string attrs = "color='000000' levels='0-16' features='10-20' width='4' file='park'";
        auto style = make_style(type, attrs);
        ASSERT_TRUE(style) << type;
        canvas c(100, 100);
        size_t locked = 99;
        draw(mw, {style.get()}, c, &locked);
        EXPECT_TRUE(c.blank()) << type;
        EXPECT_EQ(locked, 0u) << type;
    }
}

TEST_F(style_draw, polygon_fill_and_its_border) {
    w::map_writer mw = writer();
    mw.add_feature(line_feature(1, {at_px(20, 20), at_px(80, 20), at_px(80, 80), at_px(20, 80)}, 0x80));
    auto border = make_style("polygon", "color='00FF00' levels='0-16' features='1' border_width='4' "
                                        "border_color='0000FF'", true);
    auto fill = make_style("polygon", "color='00FF00' levels='0-16' features='1' border_width='4' "
                                      "border_color='0000FF'");
    canvas c(100, 100);
    draw(mw, {border.get(), fill.get()}, c);
    EXPECT_EQ(c.at(50, 50), 0xFF00FF00u);
    EXPECT_EQ(c.at(50, 18), 0xFFFF0000u);  // the outer half of the stroke
    EXPECT_EQ(c.at(50, 21), 0xFF00FF00u);  // the inner half, covered by the fill
    EXPECT_EQ(c.at(50, 16), 0xFFFFFFFFu);
    auto smooth = make_style("smooth-polygon", "color='00FF00' levels='0-16' features='1'");
    canvas s(100, 100);
    draw(mw, {smooth.get()}, s);
    auto plain = make_style("polygon", "color='00FF00' levels='0-16' features='1'");
    canvas p(100, 100);
    draw(mw, {plain.get()}, p);
    EXPECT_EQ(s.at(50, 50), 0xFF00FF00u);
    EXPECT_NE(s.pixels, p.pixels);  // the outline is curved
}

TEST_F(style_draw, polygon_pattern_is_anchored_at_the_top_left_and_mirrored) {
    w::map_writer mw = writer();
    mw.add_feature(line_feature(1, {at_px(-10, -10), at_px(60, -10), at_px(60, 60), at_px(-10, 60)}, 0x80));
    auto style = make_style("polygon-image", "levels='0-16' features='1' file='park'");
    ASSERT_TRUE(style);
    canvas c(40, 40);
    draw(mw, {style.get()}, c);
    const uint32_t marker = 0xFF003300, dark = 0xFF228B22, light = 0xFF90EE90;
    EXPECT_EQ(c.at(0, 0), marker);
    EXPECT_EQ(c.at(1, 0), dark);
    EXPECT_EQ(c.at(4, 0), light);
    EXPECT_EQ(c.at(4, 4), dark);
    // Mirrored at every repeat: column 15 is column 0 again, 8 is 7.
    EXPECT_EQ(c.at(15, 0), marker);
    EXPECT_EQ(c.at(8, 0), light);
    EXPECT_EQ(c.at(0, 15), marker);
    EXPECT_EQ(c.at(16, 16), marker);
}

TEST_F(style_draw, icons_collide_within_their_tree) {
    auto red = make_style("image", "levels='0-16' features='1' file='icon_red'");
    auto blue = make_style("image", "levels='0-16' features='2' file='icon_blue'");
    ASSERT_TRUE(red && blue);
    {
        // Same place: the earlier style wins.
        w::map_writer mw = writer();
        mw.add_feature(point_feature(1, at_px(50, 50)));
        mw.add_feature(point_feature(2, at_px(52, 50)));
        canvas c(100, 100);
        draw(mw, {red.get(), blue.get()}, c);
        EXPECT_EQ(c.at(50, 50), 0xFF0000FFu);
        EXPECT_EQ(c.at(55, 50), 0xFFFFFFFFu);
        EXPECT_EQ(c.at(46, 46), 0xFF0000FFu);  // top-left at (x - 4, y - 4)
        EXPECT_EQ(c.at(45, 46), 0xFFFFFFFFu);
    }
    for (bool with_hidden : {false, true}) {
        // An icon 6 pixels off the left edge is not drawn but blocks.
        w::map_writer mw = writer();
        if (with_hidden)
            mw.add_feature(point_feature(1, at_px(-11, 50)));
        mw.add_feature(point_feature(2, at_px(-1, 50)));
        canvas c(100, 100);
        draw(mw, {red.get(), blue.get()}, c);
        EXPECT_EQ(c.at(1, 50), with_hidden ? 0xFFFFFFFFu : 0xFFFF0000u);
        EXPECT_EQ(c.at(0, 50) == 0xFF0000FFu, false);
    }
}

TEST_F(style_draw, line_picture_runs_along_and_filters_by_flags) {
    w::map_writer mw = writer();
    mw.add_feature(line_feature(1, {at_px(0, 20), at_px(100, 20)}, 0x40));
    mw.add_feature(line_feature(1, {at_px(0, 60), at_px(100, 60)}, 0x00));
    auto all = make_style("line-image", "levels='0-16' features='1' file='stripes'");
    auto roads = make_style("line-image", "levels='0-16' features='1' file='stripes' flags='64'");
    ASSERT_TRUE(all && roads);
    canvas c(100, 100), r(100, 100);
    draw(mw, {all.get()}, c);
    draw(mw, {roads.get()}, r);
    // Six rows: blue, blue, red, red, blue, blue across the line.
    auto column = [](const canvas& k, int y) {
        std::string s;
        for (int dy = -4; dy <= 3; ++dy) {
            uint32_t p = k.at(50, y + dy);
            s += p == 0xFFFFFFFF ? '.' : k.red(50, y + dy) > 200 && k.blue(50, y + dy) < 60 ? 'r'
                 : k.blue(50, y + dy) > 200 && k.red(50, y + dy) < 60                    ? 'b'
                                                                                         : '~';
        }
        return s;
    };
    EXPECT_EQ(column(c, 20).substr(2, 4), "brrb") << column(c, 20);
    EXPECT_EQ(column(c, 60).substr(2, 4), "brrb") << column(c, 60);
    EXPECT_EQ(column(c, 20)[0], '.');
    EXPECT_EQ(column(r, 20).substr(2, 4), "brrb");
    EXPECT_EQ(column(r, 60), "........");
}

TEST_F(style_draw, line_picture_keeps_its_phase_where_the_line_is_cut) {
    // The rail picture is 16 pixels wide, its middle row 8 dark, 8 light.
    // Lines starting 1,000 and 16,001,000 pixels left of the image (cut
    // there; the latter past AGG's fixed-point range) and one starting at
    // x = 8 (1,000 ≡ 8 modulo 16 further right) show one phase.
    auto rail = make_style("line-image", "levels='0-16' features='1' file='rail'");
    ASSERT_TRUE(rail);
    auto draw_from = [&](double x0) {
        w::map_writer mw = writer();
        mw.add_feature(line_feature(1, {at_px(x0, 40), at_px(120, 40)}));
        std::unique_ptr<canvas> c(new canvas(100, 80));
        draw(mw, {rail.get()}, *c);
        return c;
    };
    auto near = draw_from(-1000), far = draw_from(-16001000), inside = draw_from(8);
    EXPECT_EQ(near->pixels, far->pixels);
    int dark = 0;
    for (int x = 20; x < 100; ++x) {
        EXPECT_EQ(near->at(x, 40), inside->at(x, 40)) << x;
        dark += near->red(x, 40) < 180;  // the dark half blends with the light row below
    }
    EXPECT_GT(dark, 20);
    EXPECT_LT(dark, 60);
}

TEST_F(style_draw, records_that_fail_their_checks_are_skipped) {
    // A labelled map without a usable label: the writer's map is cut so the
    // last page's record runs past the end of its page.
    w::map_writer mw = writer();
    mw.add_feature(line_feature(1, {at_px(10, 50), at_px(90, 50)}));
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(mw.build(bytes, error)) << error;
    // The point count is the u32 at record offset 10 of the only record,
    // at the start of the only page, which ends the file.
    size_t page = bytes.size() - (14 + 2 * 8);
    ASSERT_EQ(bytes[page + 10], 2);
    bytes[page + 10] = 200;  // 200 points do not fit
    std::string path = dir.file("bad.ozm");
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
    ASSERT_EQ(std::fclose(f), 0);
    loaded_map m;
    kiv::string error_text;
    ASSERT_TRUE(m.map->load(path.c_str(), &error_text, 1, false)) << error_text.get_value();
    kiv::ozm::feature_table table = m.all();
    ASSERT_EQ(table.size(), 1u);
    auto line = make_style("line", "color='000000' levels='0-16' features='1' width='3'");
    canvas c(100, 100);
    auto_ptr_t<kiv::i_gis_viewport> vp(new_plain_viewport(100, 100));
    kiv::ozm::page_set pages;
    line->render(table, pages, *c.ctx, vp);
    EXPECT_TRUE(c.blank());
}

TEST_F(style_draw, dense_style_keeps_its_last_feature) {
    // 600,000 outlines of 2 × 2 pixel squares make more cells than AGG
    // keeps by default; the last of them, alone in a corner, must still be
    // drawn.
    w::map_writer mw = writer();
    const int side = 1000;
    unsigned n = 0;
    for (int y = 10; y < side - 10 && n < 600000; y += 1)
        for (int x = 10; x < side - 10 && n < 600000; x += 1, ++n)
            mw.add_feature(line_feature(1, {at_px(x, y), at_px(x + 2, y), at_px(x + 2, y + 2), at_px(x, y + 2)}, 0x80));
    ASSERT_EQ(n, 600000u);
    // The last in table order: the highest code of the style's range.
    mw.add_feature(line_feature(2, {at_px(996, 996), at_px(998, 996), at_px(998, 998), at_px(996, 998)}, 0x80));
    auto outline = make_style("line", "color='000000' levels='0-16' features='1-2' width='1'");
    canvas c(side, side);
    draw(mw, {outline.get()}, c);
    EXPECT_NE(c.at(996, 997), 0xFFFFFFFFu);
    EXPECT_NE(c.at(998, 997), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(999, 999), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(993, 993), 0xFFFFFFFFu);
}

// Draws `style` over one feature through a real viewport at scale 10.
std::vector<uint32_t> draw_at_scale_10(kiv_test::temp_dir& dir, kiv::render_style& style, const w::feature& f) {
    w::map_info info;
    info.name = "Far";
    w::map_writer mw(info);
    mw.add_feature(f);
    loaded_map m;
    EXPECT_TRUE(m.load(mw, dir.file("far.ozm")));
    kiv::ozm::feature_table table = m.all();
    canvas c(200, 160);
    auto_ptr_t<kiv::i_gis_viewport> vp(kiv_gis_create_viewport(200, 160));
    EXPECT_TRUE(vp->set_center(0, 0, 10));
    kiv::ozm::page_set pages;
    style.render(table, pages, *c.ctx, vp);
    return c.pixels;
}

TEST_F(style_draw, far_coordinates_draw_as_the_shapes_cut_short) {
    auto line = make_style("line", "color='000000' levels='0-16' features='1' width='5'");
    auto picture = make_style("line-image", "levels='0-16' features='1' file='stripes'");
    auto polygon = make_style("polygon", "color='000000' levels='0-16' features='1'");
    auto shape = [](double d, bool ring) {
        // A diagonal through the centre (lat = lon), and for the polygon
        // a triangle below it.
        std::vector<w::point> pts = {{float(-d), float(-d)}, {float(d), float(d)}};
        if (ring)
            pts.push_back({float(-d), float(d)});
        return line_feature(1, pts, ring ? 0x80 : 0);
    };
    struct row {
        kiv::render_style* style;
        bool ring;
    } rows[] = {{line.get(), false}, {picture.get(), false}, {polygon.get(), true}};
    for (const row& r : rows) {
        std::vector<uint32_t> far = draw_at_scale_10(dir, *r.style, shape(1.0, r.ring));
        std::vector<uint32_t> near = draw_at_scale_10(dir, *r.style, shape(0.001, r.ring));
        size_t drawn = 0, differ = 0;
        for (size_t i = 0; i < far.size(); ++i) {
            drawn += near[i] != 0xFFFFFFFF;
            differ += far[i] != near[i];
        }
        EXPECT_GT(drawn, 100u);
        EXPECT_EQ(differ, 0u);
    }
}

}  // namespace

namespace {

using namespace kiv_test;

TEST_F(style_draw, layer_draws_its_visible_styles_of_the_pass) {
    std::string path = dir.file("roads.xml");
    put_file(path, "<layer name='roads' levels='0-16'>"
                   "<style type='line' color='FF0000' levels='0-16' features='1' width='3'/>"
                   "<style type='line' color='0000FF' levels='5-6' features='1' width='7'/>"
                   "</layer>");
    kiv::renderer_layer layer;
    ASSERT_TRUE(layer.load(path.c_str()));
    w::map_writer mw = writer();
    mw.add_feature(line_feature(1, {at_px(10, 50), at_px(90, 50)}));
    loaded_map m;
    ASSERT_TRUE(m.load(mw, dir.file("map.ozm")));
    kiv::ozm::feature_table table = m.all();
    auto_ptr_t<kiv::i_gis_viewport> vp(new_plain_viewport(100, 100));
    for (uint8_t level : {0, 5}) {
        for (unsigned pass : {0u, 1u}) {
            canvas c(100, 100);
            c.ctx->level = level;
            kiv::ozm::page_set pages;
            ASSERT_TRUE(layer.lock());
            layer.render(table, pages, *c.ctx, vp, pass);
            layer.unlock();
            if (pass == 1) {
                EXPECT_TRUE(c.blank());
                continue;
            }
            EXPECT_EQ(c.at(50, 50), level == 5 ? 0xFFFF0000u : 0xFF0000FFu) << int(level);
            EXPECT_EQ(c.at(50, 46) != 0xFFFFFFFFu, level == 5) << int(level);
        }
    }
}

}  // namespace
