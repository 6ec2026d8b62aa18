// text_along_line_test.cpp --
//
//     Labels along polylines with DejaVu: where the copies start (recorded
//     through a placement checker), that a left-to-right label equals the
//     same text on a straight baseline, that a right-to-left line keeps
//     the text upright, bends, refusals, labels off the picture, and paths
//     shorter than the caller claims.

#include <kiv/image/text_renderer.h>

#include "font_fixtures.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>
#include <utility>
#include <vector>

using namespace kiv;
using namespace kiv_test;

namespace {

const pixel_rgba white = {255, 255, 255, 255};
const agg::rgba8 black(0, 0, 0, 255);

typedef std::array<int, 4> box;

// Records every box it is asked about and every box it is given.
class recording_checker : public placement_checker {
public:
    explicit recording_checker(bool accept = true) : accept_(accept) {}
    bool check_box(int x0, int y0, int x1, int y1) override {
        checked.push_back({x0, y0, x1, y1});
        return accept_;
    }
    void add_box(int x0, int y0, int x1, int y1) override { added.push_back({x0, y0, x1, y1}); }

    std::vector<box> checked;
    std::vector<box> added;

private:
    bool accept_;
};

text_path polyline(std::initializer_list<std::pair<double, double>> points) {
    text_path path;
    bool first = true;
    for (const auto& p : points) {
        if (first)
            path.move_to(p.first, p.second);
        else
            path.line_to(p.first, p.second);
        first = false;
    }
    return path;
}

// The smallest rectangle holding every pixel that is not `fill`.
struct ink_box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
};

ink_box ink_of(const canvas& c, pixel_rgba fill) {
    ink_box b;
    for (int y = 0; y < int(c.height()); ++y)
        for (int x = 0; x < int(c.width()); ++x)
            if (c.at(x, y) != fill) {
                b.x0 = std::min(b.x0, x);
                b.y0 = std::min(b.y0, y);
                b.x1 = std::max(b.x1, x);
                b.y1 = std::max(b.y1, y);
            }
    return b;
}

class along_line : public font_folder {
protected:
    void SetUp() override {
        font_folder::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        face = open_face("DejaVuSans", 16);
        ASSERT_NE(face, nullptr);
    }

    font_face* face = nullptr;
};

}  // namespace

TEST_F(along_line, copies_start_at_even_steps_around_the_middle_of_the_line) {
    text_renderer text(face, black, 0, black);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(text.set_text("ab", width, height));
    text_path line = polyline({{0, 100}, {1000, 100}});

    // 1000 pixels, labels of 100 with gaps of 100: five copies.
    canvas c(1000, 200, white);
    recording_checker checker;
    ASSERT_TRUE(text.render_along_line(c.ren(), line, 1000, 200, 2, 100, height, 100, &checker));
    ASSERT_EQ(checker.checked.size(), 10u);
    ASSERT_EQ(checker.added.size(), 10u);
    const int offsets[5] = {50, 250, 450, 650, 850};
    const int baseline = 100 + int(height / 2) - 1;
    for (int k = 0; k < 5; ++k) {
        const box& first = checker.checked[size_t(2 * k)];
        EXPECT_EQ(first[0], offsets[k]) << "copy " << k;
        EXPECT_EQ(first[3], baseline);
        EXPECT_EQ(checker.added[size_t(2 * k)], (box{first[0] - 1, first[1] - 1, first[2] + 1, first[3] + 1}));
        EXPECT_GT(c.changed(white, offsets[k], 80, offsets[k] + int(width), 120), 0u) << "copy " << k;
        EXPECT_EQ(c.changed(white, offsets[k] + int(width) + 2, 0, offsets[k] + 190, 200), 0u);
    }

    // Without a gap: one copy in the middle.
    canvas single(1000, 200, white);
    recording_checker one;
    ASSERT_TRUE(text.render_along_line(single.ren(), line, 1000, 200, 2, 100, height, 0, &one));
    ASSERT_EQ(one.checked.size(), 2u);
    EXPECT_EQ(one.checked[0][0], 450);
    EXPECT_EQ(single.changed(white, 0, 0, 448, 200), 0u);
    EXPECT_GT(single.changed(white), 0u);
}

TEST_F(along_line, a_left_to_right_copy_equals_the_text_on_its_baseline) {
    text_renderer text(face, black, 1, agg::rgba8(255, 255, 0, 255));
    unsigned width = 0, height = 0;
    ASSERT_TRUE(text.set_text("Fjord", width, height));
    unsigned length = width + (width & 1);  // an even length keeps the start on a whole pixel
    text_path line = polyline({{100, 100}, {700, 100}});
    canvas along(800, 200, white);
    ASSERT_TRUE(text.render_along_line(along.ren(), line, 800, 200, 2, length, height, 0, nullptr));
    canvas straight(800, 200, white);
    int start = 100 + int(300 - length / 2);
    ASSERT_TRUE(text.render(straight.ren(), start, 100 + int(height / 2) - 1));
    EXPECT_EQ(along.bytes(), straight.bytes());
}

TEST_F(along_line, a_right_to_left_line_keeps_the_text_upright_and_in_order) {
    text_renderer text(face, black, 0, black);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(text.set_text("Fjord", width, height));
    unsigned length = width + (width & 1);
    text_path ltr = polyline({{100, 100}, {700, 100}});
    text_path rtl = polyline({{700, 100}, {100, 100}});
    canvas forward(800, 200, white);
    canvas backward(800, 200, white);
    recording_checker checker;
    ASSERT_TRUE(text.render_along_line(forward.ren(), ltr, 800, 200, 2, length, height, 0, nullptr));
    ASSERT_TRUE(text.render_along_line(backward.ren(), rtl, 800, 200, 2, length, height, 0, &checker));

    // Walking from the right, the last letter is placed first, rightmost.
    ASSERT_EQ(checker.checked.size(), 5u);
    EXPECT_GT(checker.checked[0][0], checker.checked[4][0]);

    // The two drawings are the same picture, wherever each one lies.
    ink_box a = ink_of(forward, white);
    ink_box b = ink_of(backward, white);
    ASSERT_GE(a.x1, a.x0);
    ASSERT_EQ(a.x1 - a.x0, b.x1 - b.x0);
    ASSERT_EQ(a.y1 - a.y0, b.y1 - b.y0);
    EXPECT_NEAR(a.y0, b.y0, 1);
    for (int y = 0; y <= a.y1 - a.y0; ++y)
        for (int x = 0; x <= a.x1 - a.x0; ++x) {
            pixel_rgba p = forward.at(a.x0 + x, a.y0 + y);
            pixel_rgba q = backward.at(b.x0 + x, b.y0 + y);
            ASSERT_NEAR(p.r, q.r, 8) << "at " << x << "," << y;
        }
}

TEST_F(along_line, a_copy_over_a_sharp_bend_is_skipped_and_the_others_drawn) {
    text_renderer text(face, black, 0, black);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(text.set_text("abcdefghijklmn", width, height));
    ASSERT_GT(width, 90u);  // the third copy, centred at 562, reaches past 600
    ASSERT_LT(width, 220u);
    // 600 pixels to the right, then 300 back down-left: a bend of about
    // 164 degrees at 600. Four copies 225 apart; the third one spans the
    // bend.
    text_path line = polyline({{0, 100}, {600, 100}, {312, 184}});
    canvas c(700, 250, white);
    recording_checker checker;
    ASSERT_TRUE(text.render_along_line(c.ren(), line, 700, 250, 3, width, height, 225 - width, &checker));
    EXPECT_EQ(checker.added.size(), 3u * 14u);
    EXPECT_EQ(c.changed(white, 520, 70, 600, 130), 0u);
    EXPECT_GT(c.changed(white, 60, 80, 200, 120), 0u);
    EXPECT_GT(c.changed(white, 360, 120, 480, 200), 0u);
}

TEST_F(along_line, a_gentle_bend_turns_the_glyphs_that_follow_it) {
    text_renderer text(face, black, 0, black);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(text.set_text("abcdefghij", width, height));
    // The middle of the line is 18 pixels past a bend of 27 degrees.
    text_path line = polyline({{0, 100}, {300, 100}, {600, 250}});
    canvas c(700, 300, white);
    recording_checker checker;
    ASSERT_TRUE(text.render_along_line(c.ren(), line, 700, 300, 3, width, height, 0, &checker));
    ASSERT_EQ(checker.added.size(), 10u);
    // The first glyph sits level before the bend, the last one lower and
    // turned, so its box is taller than the glyph.
    EXPECT_EQ(checker.added[0][3], 100 + int(height / 2) - 1 + 1);
    EXPECT_GT(checker.added[9][3], checker.added[0][3] + 10);
    EXPECT_GT(c.changed(white, 300, 100, 450, 200), 0u);
}

TEST_F(along_line, a_checker_that_refuses_every_box_stops_all_drawing) {
    text_renderer text(face, black, 2, black);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(text.set_text("ab", width, height));
    text_path line = polyline({{0, 100}, {1000, 100}});
    canvas c(1000, 200, white);
    recording_checker refusing(false);
    ASSERT_TRUE(text.render_along_line(c.ren(), line, 1000, 200, 2, 100, height, 100, &refusing));
    EXPECT_EQ(refusing.checked.size(), 5u);  // the first glyph of each copy
    EXPECT_TRUE(refusing.added.empty());
    EXPECT_EQ(c.changed(white), 0u);
}

TEST_F(along_line, a_copy_off_the_picture_is_recorded_but_not_drawn) {
    text_renderer text(face, black, 0, black);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(text.set_text("ab", width, height));
    text_path above = polyline({{0, -100}, {1000, -100}});
    canvas c(1000, 200, white);
    recording_checker checker;
    ASSERT_TRUE(text.render_along_line(c.ren(), above, 1000, 200, 2, 100, height, 0, &checker));
    EXPECT_EQ(checker.added.size(), 2u);
    EXPECT_EQ(c.changed(white), 0u);

    // Far away from the picture the copy is not even laid out.
    text_path far = polyline({{1e6, 1e6}, {1e6 + 1000, 1e6}});
    recording_checker none;
    ASSERT_TRUE(text.render_along_line(c.ren(), far, 1000, 200, 2, 100, height, 0, &none));
    EXPECT_TRUE(none.checked.empty());
    EXPECT_TRUE(none.added.empty());
}

TEST_F(along_line, short_lines_and_single_vertices_draw_nothing) {
    text_renderer text(face, black, 0, black);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(text.set_text("ab", width, height));
    canvas c(300, 200, white);
    recording_checker checker;
    text_path point = polyline({{10, 100}});
    EXPECT_FALSE(text.render_along_line(c.ren(), point, 300, 200, 1, width, height, 0, &checker));
    text_path short_line = polyline({{10, 100}, {10 + width - 1.0, 100}});
    EXPECT_TRUE(text.render_along_line(c.ren(), short_line, 300, 200, 2, width, height, 0, &checker));
    EXPECT_TRUE(checker.checked.empty());
    EXPECT_EQ(c.changed(white), 0u);
}

TEST_F(along_line, a_vertex_count_beyond_the_path_uses_the_vertices_there_are) {
    text_renderer text(face, black, 0, black);
    unsigned width = 0, height = 0;
    ASSERT_TRUE(text.set_text("ab", width, height));
    text_path line = polyline({{0, 100}, {300, 100}});
    canvas claimed(300, 200, white);
    canvas exact(300, 200, white);
    ASSERT_TRUE(text.render_along_line(claimed.ren(), line, 300, 200, 1000, width, height, 0, nullptr));
    ASSERT_TRUE(text.render_along_line(exact.ren(), line, 300, 200, 2, width, height, 0, nullptr));
    EXPECT_EQ(claimed.bytes(), exact.bytes());
    EXPECT_GT(exact.changed(white), 0u);

    text_path broken = polyline({{0, 100}, {1.0 / 0.0, 100}});
    EXPECT_FALSE(text.render_along_line(exact.ren(), broken, 300, 200, 2, width, height, 0, nullptr));
}
