// wu_quantizer.cpp --
//
//     Wu's colour quantizer. The five moment tables (pixel count, sums of
//     r, g and b, sum of r² + g² + b²) are indexed [r][g][b] with 1-based
//     cells, so that after the tables are made cumulative the moment of
//     any box is eight lookups. A box is (r0, r1] × (g0, g1] × (b0, b1].
//     Counts and channel sums are 64-bit: a large picture overflows 32.

#include "wu_quantizer.h"

#include <cstring>
#include <new>

namespace kiv {

namespace {

constexpr int side = 33;  // cells per axis, cell 0 always empty
constexpr int cells = side * side * side;

inline int cell(int r, int g, int b) {
    return r * side * side + g * side + b;
}

struct box {
    int r0, r1, g0, g1, b0, b1;  // lower bounds exclusive, upper inclusive
    int volume;                  // number of cells inside
};

enum axis { axis_red, axis_green, axis_blue };

struct moments {
    std::vector<int64_t> wt, mr, mg, mb;  // count and channel sums
    std::vector<float> m2;                // sum of squares
    moments() : wt(cells), mr(cells), mg(cells), mb(cells), m2(cells) {}
};

// Sum of a cumulative table over a box.
template <class T>
T volume(const box& c, const std::vector<T>& m) {
    return m[cell(c.r1, c.g1, c.b1)] - m[cell(c.r1, c.g1, c.b0)] - m[cell(c.r1, c.g0, c.b1)] +
           m[cell(c.r1, c.g0, c.b0)] - m[cell(c.r0, c.g1, c.b1)] + m[cell(c.r0, c.g1, c.b0)] +
           m[cell(c.r0, c.g0, c.b1)] - m[cell(c.r0, c.g0, c.b0)];
}

// The part of volume() that does not depend on the box's upper bound
// along `dir`: the sum over the box cut at its lower bound.
template <class T>
T bottom(const box& c, axis dir, const std::vector<T>& m) {
    switch (dir) {
    case axis_red:
        return -m[cell(c.r0, c.g1, c.b1)] + m[cell(c.r0, c.g1, c.b0)] + m[cell(c.r0, c.g0, c.b1)] -
               m[cell(c.r0, c.g0, c.b0)];
    case axis_green:
        return -m[cell(c.r1, c.g0, c.b1)] + m[cell(c.r1, c.g0, c.b0)] + m[cell(c.r0, c.g0, c.b1)] -
               m[cell(c.r0, c.g0, c.b0)];
    default:
        return -m[cell(c.r1, c.g1, c.b0)] + m[cell(c.r1, c.g0, c.b0)] + m[cell(c.r0, c.g1, c.b0)] -
               m[cell(c.r0, c.g0, c.b0)];
    }
}

// The rest of volume() with the upper bound along `dir` moved to pos.
template <class T>
T top(const box& c, axis dir, int pos, const std::vector<T>& m) {
    switch (dir) {
    case axis_red:
        return m[cell(pos, c.g1, c.b1)] - m[cell(pos, c.g1, c.b0)] - m[cell(pos, c.g0, c.b1)] +
               m[cell(pos, c.g0, c.b0)];
    case axis_green:
        return m[cell(c.r1, pos, c.b1)] - m[cell(c.r1, pos, c.b0)] - m[cell(c.r0, pos, c.b1)] +
               m[cell(c.r0, pos, c.b0)];
    default:
        return m[cell(c.r1, c.g1, pos)] - m[cell(c.r1, c.g0, pos)] - m[cell(c.r0, c.g1, pos)] +
               m[cell(c.r0, c.g0, pos)];
    }
}

// Weighted variance of a box: sum of squares minus squared sums / count.
double variance(const box& c, const moments& m) {
    double dr = double(volume(c, m.mr));
    double dg = double(volume(c, m.mg));
    double db = double(volume(c, m.mb));
    double xx = volume(c, m.m2);
    return xx - (dr * dr + dg * dg + db * db) / double(volume(c, m.wt));
}

// The best cut of box c along dir, strictly inside (first - 1, last):
// maximises the sum over both halves of |sum|² / count. Positions that
// leave a half empty are skipped; ties keep the lowest position.
// Returns: the value reached and the cut in *cut (-1 when none).
double maximize(const box& c, axis dir, int first, int last, int* cut, int64_t whole_r,
                int64_t whole_g, int64_t whole_b, int64_t whole_w, const moments& m) {
    int64_t base_r = bottom(c, dir, m.mr);
    int64_t base_g = bottom(c, dir, m.mg);
    int64_t base_b = bottom(c, dir, m.mb);
    int64_t base_w = bottom(c, dir, m.wt);
    double best = 0.0;
    *cut = -1;
    for (int i = first; i < last; ++i) {
        int64_t half_r = base_r + top(c, dir, i, m.mr);
        int64_t half_g = base_g + top(c, dir, i, m.mg);
        int64_t half_b = base_b + top(c, dir, i, m.mb);
        int64_t half_w = base_w + top(c, dir, i, m.wt);
        if (half_w == 0)
            continue;
        double value = (double(half_r) * half_r + double(half_g) * half_g + double(half_b) * half_b) /
                       double(half_w);
        half_r = whole_r - half_r;
        half_g = whole_g - half_g;
        half_b = whole_b - half_b;
        half_w = whole_w - half_w;
        if (half_w == 0)
            continue;
        value += (double(half_r) * half_r + double(half_g) * half_g + double(half_b) * half_b) /
                 double(half_w);
        if (value > best) {
            best = value;
            *cut = i;
        }
    }
    return best;
}

// Cuts box a in two, a keeping the lower half and b getting the upper.
// Returns: false when the box cannot be cut.
bool cut_box(box& a, box& b, const moments& m) {
    int64_t whole_r = volume(a, m.mr);
    int64_t whole_g = volume(a, m.mg);
    int64_t whole_b = volume(a, m.mb);
    int64_t whole_w = volume(a, m.wt);
    int cut_r, cut_g, cut_b;
    double max_r = maximize(a, axis_red, a.r0 + 1, a.r1, &cut_r, whole_r, whole_g, whole_b, whole_w, m);
    double max_g = maximize(a, axis_green, a.g0 + 1, a.g1, &cut_g, whole_r, whole_g, whole_b, whole_w, m);
    double max_b = maximize(a, axis_blue, a.b0 + 1, a.b1, &cut_b, whole_r, whole_g, whole_b, whole_w, m);
    axis dir;
    if (max_r >= max_g && max_r >= max_b) {
        dir = axis_red;
        if (cut_r < 0)
            return false;
    } else if (max_g >= max_r && max_g >= max_b) {
        dir = axis_green;
    } else {
        dir = axis_blue;
    }
    b.r1 = a.r1;
    b.g1 = a.g1;
    b.b1 = a.b1;
    switch (dir) {
    case axis_red:
        b.r0 = a.r1 = cut_r;
        b.g0 = a.g0;
        b.b0 = a.b0;
        break;
    case axis_green:
        b.g0 = a.g1 = cut_g;
        b.r0 = a.r0;
        b.b0 = a.b0;
        break;
    case axis_blue:
        b.b0 = a.b1 = cut_b;
        b.r0 = a.r0;
        b.g0 = a.g0;
        break;
    }
    a.volume = (a.r1 - a.r0) * (a.g1 - a.g0) * (a.b1 - a.b0);
    b.volume = (b.r1 - b.r0) * (b.g1 - b.g0) * (b.b1 - b.b0);
    return true;
}

// Turns the histogram into cumulative moments over the three axes.
void accumulate(moments& m) {
    int64_t area_w[side], area_r[side], area_g[side], area_b[side];
    float area_2[side];
    for (int r = 1; r < side; ++r) {
        for (int i = 0; i < side; ++i) {
            area_w[i] = area_r[i] = area_g[i] = area_b[i] = 0;
            area_2[i] = 0.0f;
        }
        for (int g = 1; g < side; ++g) {
            int64_t line_w = 0, line_r = 0, line_g = 0, line_b = 0;
            float line_2 = 0.0f;
            for (int b = 1; b < side; ++b) {
                int here = cell(r, g, b);
                int below = cell(r - 1, g, b);
                line_w += m.wt[here];
                line_r += m.mr[here];
                line_g += m.mg[here];
                line_b += m.mb[here];
                line_2 += m.m2[here];
                area_w[b] += line_w;
                area_r[b] += line_r;
                area_g[b] += line_g;
                area_b[b] += line_b;
                area_2[b] += line_2;
                m.wt[here] = m.wt[below] + area_w[b];
                m.mr[here] = m.mr[below] + area_r[b];
                m.mg[here] = m.mg[below] + area_g[b];
                m.mb[here] = m.mb[below] + area_b[b];
                m.m2[here] = m.m2[below] + area_2[b];
            }
        }
    }
}

bool quantize(const uint8_t* rgb, size_t pixel_count, unsigned max_colors,
              std::vector<uint8_t>& indices, uint8_t palette[256 * 3]) {
    moments m;
    std::vector<uint16_t> pixel_cell(pixel_count);
    float squares[256];
    for (int i = 0; i < 256; ++i)
        squares[i] = float(i * i);

    for (size_t i = 0; i < pixel_count; ++i) {
        int r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
        int here = cell(r / 8 + 1, g / 8 + 1, b / 8 + 1);
        pixel_cell[i] = static_cast<uint16_t>(here);
        m.wt[here] += 1;
        m.mr[here] += r;
        m.mg[here] += g;
        m.mb[here] += b;
        m.m2[here] += squares[r] + squares[g] + squares[b];
    }
    accumulate(m);

    box boxes[256];
    double var[256];
    boxes[0] = {0, side - 1, 0, side - 1, 0, side - 1, 0};
    int count = int(max_colors);
    int next = 0;
    for (int i = 1; i < count; ++i) {
        if (cut_box(boxes[next], boxes[i], m)) {
            var[next] = boxes[next].volume > 1 ? variance(boxes[next], m) : 0.0;
            var[i] = boxes[i].volume > 1 ? variance(boxes[i], m) : 0.0;
        } else {
            var[next] = 0.0;
            --i;
        }
        next = 0;
        double largest = var[0];
        for (int k = 1; k <= i; ++k) {
            if (var[k] > largest) {
                largest = var[k];
                next = k;
            }
        }
        if (largest <= 0.0) {
            count = i + 1;
            break;
        }
    }

    std::vector<uint8_t> tag(cells, 0);
    std::memset(palette, 0, 256 * 3);
    for (int k = 0; k < count; ++k) {
        const box& c = boxes[k];
        for (int r = c.r0 + 1; r <= c.r1; ++r)
            for (int g = c.g0 + 1; g <= c.g1; ++g)
                for (int b = c.b0 + 1; b <= c.b1; ++b)
                    tag[cell(r, g, b)] = static_cast<uint8_t>(k);
        int64_t weight = volume(c, m.wt);
        if (weight > 0) {
            palette[3 * k] = static_cast<uint8_t>(volume(c, m.mr) / weight);
            palette[3 * k + 1] = static_cast<uint8_t>(volume(c, m.mg) / weight);
            palette[3 * k + 2] = static_cast<uint8_t>(volume(c, m.mb) / weight);
        }
    }

    indices.resize(pixel_count);
    for (size_t i = 0; i < pixel_count; ++i)
        indices[i] = tag[pixel_cell[i]];
    return true;
}

}  // namespace

bool wu_quantize(const uint8_t* rgb, size_t pixel_count, unsigned max_colors,
                 std::vector<uint8_t>& indices, uint8_t palette[256 * 3]) {
    if (max_colors < 1)
        max_colors = 1;
    if (max_colors > 256)
        max_colors = 256;
    try {
        return quantize(rgb, pixel_count, max_colors, indices, palette);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace kiv
