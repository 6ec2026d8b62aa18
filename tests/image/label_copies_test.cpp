// label_copies_test.cpp --
//
//     The copies of a label along a line, as both the image's text and
//     the map's labels count them: how many fit, the cap each caller sets
//     (a capped count shares the line out wider), counts that are not
//     numbers, and copies found by offset without walking to them.

#include <kiv/image/label_copies.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

using kiv::label_copies;
using kiv::make_label_copies;

namespace {

const double inf = std::numeric_limits<double>::infinity();
const uint64_t no_cap = std::numeric_limits<uint64_t>::max();

}  // namespace

TEST(label_copies, count_and_step_follow_spacing_and_the_cap) {
    struct row {
        double length, width, spacing;
        uint64_t cap;
        uint64_t n;
        double step;
    } rows[] = {
        {1000, 100, 100, 1 << 20, 5, 200},         // as many as fit
        {1000, 100, 0, 1 << 20, 1, 1000},          // no spacing: one
        {1000, 100, -5, 1 << 20, 1, 1000},         // spacing below 0: one
        {150, 100, 100, 1 << 20, 1, 150},          // not even one fits: still one
        {4e7, 10, 10, 1 << 20, 1 << 20, 4e7 / (1 << 20)},  // 2e6 fit, the cap spreads 2^20 wider
        {4e7, 10, 10, no_cap, 2000000, 20},        // no cap of the caller's
        {1e300, 1, 1, no_cap, uint64_t(4.5e15), 1e300 / 4.5e15},  // offsets stay apart
        {inf, 10, 10, 1 << 20, 1 << 20, inf},      // an endless line: the cap
        {NAN, 10, 10, 1 << 20, 1, NAN},            // not a number: one
    };
    for (const row& r : rows) {
        const label_copies c = make_label_copies(r.length, r.width, r.spacing, 7, r.cap);
        EXPECT_EQ(c.n, r.n) << r.length << " " << r.spacing;
        if (std::isnan(r.step))
            EXPECT_TRUE(std::isnan(c.step));
        else
            EXPECT_DOUBLE_EQ(c.step, r.step) << r.length << " " << r.spacing;
        EXPECT_EQ(c.centre, 7);
    }
}

TEST(label_copies, offsets_spread_evenly_around_the_centre_and_are_found_by_value) {
    for (uint64_t n : {1u, 4u, 5u}) {
        label_copies c;
        c.n = n;
        c.step = 10;
        c.centre = 100;
        for (uint64_t k = 0; k < n; ++k) {
            EXPECT_DOUBLE_EQ(c.at(k) - 100, (double(k) - (double(n) - 1) / 2) * 10) << n << " " << k;
            EXPECT_DOUBLE_EQ(c.at(k) + c.at(n - 1 - k), 200) << n << " " << k;
            EXPECT_EQ(c.first_from(0, c.at(k), false), k);
            EXPECT_EQ(c.first_from(0, c.at(k), true), k + 1);
            EXPECT_EQ(c.first_from(n, c.at(k), false), n);
        }
    }
    // Billions of copies: the one at an offset is found at once.
    label_copies many;
    many.n = uint64_t(1) << 40;
    many.step = 3;
    many.centre = 0;
    const uint64_t k = (uint64_t(1) << 39) + 12345;
    EXPECT_EQ(many.first_from(0, many.at(k) - 1, false), k);
    EXPECT_EQ(many.first_from(0, 1e300, false), many.n);
}
