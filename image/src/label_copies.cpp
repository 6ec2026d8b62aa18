// label_copies.cpp --
//
//     The count and offsets of a label's copies along a line (see
//     label_copies.h). Offsets are computed from the nearer end of the
//     spread, copy by copy, so that copy k's offset is the same number
//     whether the copies are walked one by one or jumped to.

#include <kiv/image/label_copies.h>

#include <algorithm>
#include <cmath>

namespace kiv {

namespace {

// Beyond this many copies the offsets (doubles) would not tell them apart.
constexpr double max_distinct_copies = 4.5e15;

}  // namespace

double label_copies::at(uint64_t k) const {
    if (n == 1)
        return centre;
    if (n % 2 == 1) {
        const uint64_t mid = (n - 1) / 2;
        return k < mid ? centre - double(mid - k) * step : centre + double(k - mid) * step;
    }
    const uint64_t half = n / 2;
    return k < half ? centre - step / 2 - double(half - 1 - k) * step : centre + step / 2 + double(k - half) * step;
}

uint64_t label_copies::first_from(uint64_t from, double v, bool strict) const {
    auto past = [&](uint64_t k) { return strict ? at(k) > v : at(k) >= v; };
    uint64_t k = from;
    if (n > 0 && step > 0) {
        const double guess = std::floor((v - at(0)) / step) - 1;
        if (guess > double(k))
            k = guess >= double(n) ? n : uint64_t(guess);
    }
    while (k > from && past(k - 1))
        --k;
    while (k < n && !past(k))
        ++k;
    return k;
}

label_copies make_label_copies(double length, double width, double spacing, double centre, uint64_t max_copies) {
    label_copies copies;
    if (spacing > 0 && width + spacing > 0) {
        const double cap = std::max(1.0, std::min(double(max_copies), max_distinct_copies));
        const double n = std::floor(length / (width + spacing));
        // Not a number (an infinite or undefined length) counts as one.
        copies.n = !(n >= 1) ? 1 : n > cap ? uint64_t(cap) : uint64_t(n);
    }
    copies.step = length / double(copies.n);
    copies.centre = centre;
    return copies;
}

bool segment_part_near(double ax, double ay, double bx, double by, double cx, double cy, double reach, double& t0,
                       double& t1) {
    const double dx = bx - ax, dy = by - ay;
    const double ox = ax - cx, oy = ay - cy;
    const double qa = dx * dx + dy * dy, qb = dx * ox + dy * oy, qc = ox * ox + oy * oy - reach * reach;
    if (!(qa > 0)) {
        t0 = 0;
        t1 = 1;
        return qc <= 0;
    }
    const double disc = qb * qb - qa * qc;
    if (!(disc >= 0))
        return false;
    const double root = std::sqrt(disc);
    t0 = std::max(0.0, (-qb - root) / qa);
    t1 = std::min(1.0, (-qb + root) / qa);
    return t0 <= t1;
}

}  // namespace kiv
