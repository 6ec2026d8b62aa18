// label_copies.h --
//
//     Where the copies of a label go along a line: how many fit, `spacing`
//     pixels apart at least, and the offset along the line at which each
//     starts, spread evenly around a centre the caller picks (the middle
//     of the line less half the label, or the middle itself for labels
//     centred on their point). The image's text renderer and the map
//     driver's labels lay out their copies with it.
//
//         kiv::label_copies copies = kiv::make_label_copies(length, width, gap, length / 2 - width / 2, 1 << 20);
//         for (uint64_t k = 0; k < copies.n; ++k)
//             place_copy(copies.at(k));
//
//     A long line may hold billions of copies; for_each_label_copy_near
//     tries only those that start near a point (the image's centre), and
//     passes over the others without visiting them one by one. Plain
//     values, no state: safe from any thread.

#ifndef KIV_IMAGE_LABEL_COPIES_H
#define KIV_IMAGE_LABEL_COPIES_H

#include <kiv/core/export.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kiv {

// The copies of one label along one line: `n` copies `step` apart,
// symmetric around `centre`.
struct KIV_EXPORT label_copies {
    uint64_t n = 1;      // how many; 0: none (the line is shorter than the label)
    double step = 0;     // pixels from the start of one copy to the next
    double centre = 0;   // offset along the line the copies are spread around

    // Returns: the offset along the line where copy k (0-based, the copies
    //     in increasing order) starts; k < n.
    double at(uint64_t k) const;
    // Returns: the first copy k >= `from` whose offset is at least `v`
    //     (`strict`: above `v`); n when there is none. Takes a few steps
    //     whatever the distance from `from`.
    uint64_t first_from(uint64_t from, double v, bool strict) const;
};

// Counts the copies of a label `width` pixels long on a line `length`
// pixels long: one when `spacing` is 0 or below, else as many as fit with
// `spacing` pixels after each, at least one and at most `max_copies`
// (above 2^52 copies would not be told apart by their offsets). The line
// is shared evenly: step = length / n, so a capped count spreads its
// copies wider.
// Returns: the copies around `centre`.
KIV_EXPORT label_copies make_label_copies(double length, double width, double spacing, double centre,
                                          uint64_t max_copies);

// The part of segment a-b within `reach` of (cx, cy), as the interval
// [t0, t1] of 0..1 along it (a segment of length 0: all of it or nothing).
// Returns: false when no point of the segment is that near.
KIV_EXPORT bool segment_part_near(double ax, double ay, double bx, double by, double cx, double cy,
                                  double reach, double& t0, double& t1);

// Calls try_copy(k, offset) for the copies of `copies`, in increasing
// order, whose start lies within `reach` (plus one pixel of slack: the
// copy's own test decides exactly) of (cx, cy) on the line `path` (points
// with members x and y) whose cumulative lengths are `lengths` (lengths[0]
// = 0, one per point). The others could not be placed, so a line millions
// of pixels long costs only the copies near the point. `path` has two
// points or more.
template <class Point, class TryCopy>
void for_each_label_copy_near(const label_copies& copies, const std::vector<Point>& path,
                              const std::vector<double>& lengths, double cx, double cy, double reach,
                              TryCopy try_copy) {
    const size_t segments = path.size() - 1;
    uint64_t k = 0;
    for (size_t seg = 0; seg < segments && k < copies.n; ++seg) {
        const double begin = lengths[seg], end = lengths[seg + 1], len = end - begin;
        double t0, t1;
        if (segment_part_near(path[seg].x, path[seg].y, path[seg + 1].x, path[seg + 1].y, cx, cy, reach + 1, t0,
                              t1)) {
            const double lo = begin + t0 * len, hi = begin + t1 * len;
            k = copies.first_from(k, lo, false);
            for (; k < copies.n; ++k) {
                const double at = copies.at(k);
                if (at > hi || at > end)
                    break;
                try_copy(k, at);
            }
        }
        k = copies.first_from(k, end, true);
    }
}

}  // namespace kiv

#endif
