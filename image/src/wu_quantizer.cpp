// wu_quantizer.cpp --
//
//     Wu's colour quantizer over four axes: red, green, blue and an alpha
//     axis of layers, one for each alpha class the image uses. The six
//     moment tables (pixel count, sums of r, g, b and a, sum of
//     r² + g² + b² + a²) are indexed [layer][r][g][b] with 1-based cells,
//     so that after the tables are made cumulative the moment of any box
//     is sixteen lookups. A box is (lo, hi] along each axis. Counts and
//     sums are 64-bit and the squares double: a large picture overflows
//     32 bits and a float's precision.
//
//     Alpha is quantized with the colour rather than guessed afterwards
//     (the alpha of the last pixel mapped to an entry), which turned
//     opaque pixels invisible and the reverse wherever the two met in one
//     colour box.

#include "wu_quantizer.h"

#include <cstring>
#include <new>

namespace kiv {

namespace {

constexpr int side = 33;  // cells per colour axis, cell 0 always empty
constexpr int axes = 4;   // red, green, blue, alpha layer
// Alpha classes: 0 transparent, then partial_bands bands of partial
// alpha, then opaque. Alpha from near_opaque up counts as opaque: an
// error of at most 4 that nobody sees, where an entry kept apart for it
// would cost the colours of every other pixel. The bands only steer the
// cuts (the refinement below places each entry's alpha at the mean of
// its pixels), and every band is a layer of all six tables, so they are
// few.
constexpr int near_opaque = 251;
constexpr int partial_bands = 4;
constexpr int band_width = (near_opaque - 1 + partial_bands - 1) / partial_bands;
constexpr int class_count = partial_bands + 2;
constexpr int class_opaque = class_count - 1;
static_assert((near_opaque - 2) / band_width < partial_bands, "partial alpha stays inside the bands");

int alpha_class(int a) {
    return a == 0 ? 0 : a >= near_opaque ? class_opaque : 1 + (a - 1) / band_width;
}

// Lloyd's refinement after the cuts: at most this many distance
// computations (non-empty cells × entries × rounds), so a picture of
// many colours and alpha levels costs a bounded time.
constexpr double refine_budget = 3e7;
constexpr int refine_rounds = 8;
// The entries nearest a cell's mean among which each of its pixels
// takes the nearest to itself.
constexpr int pixel_candidates = 4;

// Which pixels a box may hold; boxes of different kinds are never
// merged, and the kind decides the alpha of the box's palette entry.
enum box_kind { kind_clear, kind_partial, kind_opaque, kind_any };

struct box {
    int lo[axes];  // exclusive lower bounds: r, g, b, layer
    int hi[axes];  // inclusive upper bounds
    box_kind kind;

    int volume() const {
        int v = 1;
        for (int k = 0; k < axes; ++k)
            v *= hi[k] - lo[k];
        return v;
    }
};

// The moment tables and their layout.
struct moments {
    int layers;                                // alpha side less cell 0
    size_t stride[axes];                       // r, g, b, layer
    std::vector<int64_t> wt, mr, mg, mb, ma;  // count and channel sums
    std::vector<double> m2;                    // sum of squares

    explicit moments(int layer_count) : layers(layer_count) {
        stride[2] = 1;
        stride[1] = side;
        stride[0] = size_t(side) * side;
        stride[3] = size_t(side) * side * side;
        size_t cells = stride[3] * size_t(layers + 1);
        wt.resize(cells);
        mr.resize(cells);
        mg.resize(cells);
        mb.resize(cells);
        ma.resize(cells);
        m2.resize(cells);
    }

    size_t cell(int r, int g, int b, int layer) const {
        return size_t(r) * stride[0] + size_t(g) * stride[1] + size_t(b) + size_t(layer) * stride[3];
    }
};

// Sum of a cumulative table over a box: inclusion and exclusion over its
// sixteen corners.
template <class T>
T box_sum(const box& c, const moments& m, const std::vector<T>& table) {
    T sum = 0;
    for (int corner = 0; corner < 16; ++corner) {
        size_t at = 0;
        int lows = 0;
        for (int k = 0; k < axes; ++k) {
            bool high = (corner >> k & 1) != 0;
            at += size_t(high ? c.hi[k] : c.lo[k]) * m.stride[k];
            lows += high ? 0 : 1;
        }
        sum += lows % 2 == 0 ? table[at] : -table[at];
    }
    return sum;
}

// The sums of a box that decide its cuts.
struct box_sums {
    int64_t w, r, g, b, a;

    explicit box_sums(const box& c, const moments& m)
        : w(box_sum(c, m, m.wt)), r(box_sum(c, m, m.mr)), g(box_sum(c, m, m.mg)), b(box_sum(c, m, m.mb)),
          a(box_sum(c, m, m.ma)) {}
    box_sums(int64_t w_, int64_t r_, int64_t g_, int64_t b_, int64_t a_) : w(w_), r(r_), g(g_), b(b_), a(a_) {}

    // |sum|² / count; 0 for an empty box.
    double spread() const {
        if (w == 0)
            return 0.0;
        return (double(r) * r + double(g) * g + double(b) * b + double(a) * a) / double(w);
    }
};

// Weighted variance of a box: sum of squares minus squared sums / count.
double variance(const box& c, const moments& m) {
    if (c.volume() <= 1)
        return 0.0;
    box_sums s(c, m);
    return box_sum(c, m, m.m2) - s.spread();
}

// The variance of a box as it will be seen: a colour error in a pixel
// of alpha a shows at a / 255 of its size over whatever lies below, so
// partly transparent boxes weigh (a / 255)² of their variance when the
// next box to cut is chosen, and opaque pixels get the entries they
// need first.
double seen_variance(const box& c, const moments& m) {
    double v = variance(c, m);
    if (c.kind != kind_partial || v <= 0.0)
        return v;
    box_sums s(c, m);
    double alpha = double(s.a) / double(s.w) / 255.0;
    return v * alpha * alpha;
}

// The best cut of box c along `dir`, strictly inside it: maximises the
// sum over both halves of |sum|² / count. Positions that leave a half
// empty are skipped; ties keep the lowest position.
// Returns: the value reached and the cut in *cut (-1 when none).
double maximize(const box& c, int dir, const box_sums& whole, const moments& m, int* cut) {
    double best = 0.0;
    *cut = -1;
    for (int pos = c.lo[dir] + 1; pos < c.hi[dir]; ++pos) {
        box lower = c;
        lower.hi[dir] = pos;
        box_sums low(lower, m);
        if (low.w == 0 || low.w == whole.w)
            continue;
        box_sums high(whole.w - low.w, whole.r - low.r, whole.g - low.g, whole.b - low.b, whole.a - low.a);
        double value = low.spread() + high.spread();
        if (value > best) {
            best = value;
            *cut = pos;
        }
    }
    return best;
}

// Cuts box a in two along its best plane, a keeping the lower half and
// b getting the upper. Axis ties go to red, then green, blue, alpha.
// Returns: false when no plane leaves pixels on both sides.
bool cut_box(box& a, box& b, const moments& m) {
    box_sums whole(a, m);
    int dir = -1, cut = -1;
    double best = 0.0;
    for (int k = 0; k < axes; ++k) {
        int here;
        double value = maximize(a, k, whole, m, &here);
        if (here >= 0 && (dir < 0 || value > best)) {
            best = value;
            dir = k;
            cut = here;
        }
    }
    if (dir < 0)
        return false;
    b = a;
    b.lo[dir] = cut;
    a.hi[dir] = cut;
    return true;
}

// Turns the histogram tables into cumulative moments, one axis at a
// time: each cell adds the one before it along that axis.
template <class T>
void accumulate(std::vector<T>& table, const moments& m) {
    int extent[axes] = {side, side, side, m.layers + 1};
    for (int k = 0; k < axes; ++k) {
        size_t stride = m.stride[k];
        size_t block = stride * size_t(extent[k]);
        for (size_t outer = 0; outer < table.size(); outer += block)
            for (int pos = 1; pos < extent[k]; ++pos) {
                size_t row = outer + size_t(pos) * stride;
                for (size_t inner = 0; inner < stride; ++inner)
                    table[row + inner] += table[row + inner - stride];
            }
    }
}

// The pixels of one histogram cell, or of one palette entry.
struct cell_stats {
    size_t cell = 0;                       // the cell's place in the tables
    int64_t w = 0, r = 0, g = 0, b = 0, a = 0;  // count and channel sums
    box_kind kind = kind_any;              // the kind of its alpha class

    void add(const cell_stats& o) {
        w += o.w;
        r += o.r;
        g += o.g;
        b += o.b;
        a += o.a;
    }
};

// A palette entry while it is refined.
struct entry {
    double r = 0, g = 0, b = 0, a = 0;  // mean colour and alpha
    box_kind kind = kind_any;           // the only cells it takes

    void set_mean(int64_t w, double sr, double sg, double sb, double sa) {
        if (w <= 0)
            return;
        r = sr / double(w);
        g = sg / double(w);
        b = sb / double(w);
        a = sa / double(w);
    }
};

// Returns: the entry closest to the cell's mean among those of its kind
//     (an entry of kind_any takes every cell).
uint8_t nearest_entry(const cell_stats& c, const std::vector<entry>& entries) {
    double w = double(c.w);
    double r = double(c.r) / w, g = double(c.g) / w, b = double(c.b) / w, a = double(c.a) / w;
    size_t best = 0;
    double best_distance = -1.0;
    for (size_t k = 0; k < entries.size(); ++k) {
        const entry& e = entries[k];
        if (e.kind != c.kind && e.kind != kind_any)
            continue;
        double d = (e.r - r) * (e.r - r) + (e.g - g) * (e.g - g) + (e.b - b) * (e.b - b) + (e.a - a) * (e.a - a);
        if (best_distance < 0 || d < best_distance) {
            best_distance = d;
            best = k;
        }
    }
    return static_cast<uint8_t>(best);
}

// Fills out[0 .. pixel_candidates) with the entries of the cell's kind
// nearest its mean, nearest first; fewer entries repeat the nearest.
void nearest_entries(const cell_stats& c, const std::vector<entry>& entries, uint8_t* out) {
    double w = double(c.w);
    double r = double(c.r) / w, g = double(c.g) / w, b = double(c.b) / w, a = double(c.a) / w;
    double distance[pixel_candidates];
    int found = 0;
    for (size_t k = 0; k < entries.size(); ++k) {
        const entry& e = entries[k];
        if (e.kind != c.kind && e.kind != kind_any)
            continue;
        double d = (e.r - r) * (e.r - r) + (e.g - g) * (e.g - g) + (e.b - b) * (e.b - b) + (e.a - a) * (e.a - a);
        int at = found < pixel_candidates ? found++ : pixel_candidates;
        if (at == pixel_candidates) {
            if (d >= distance[pixel_candidates - 1])
                continue;
            at = pixel_candidates - 1;
        }
        for (; at > 0 && distance[at - 1] > d; --at) {
            distance[at] = distance[at - 1];
            out[at] = out[at - 1];
        }
        distance[at] = d;
        out[at] = static_cast<uint8_t>(k);
    }
    for (int k = found; k < pixel_candidates; ++k)
        out[k] = found > 0 ? out[0] : 0;
}

uint8_t to_byte(double v) {
    return static_cast<uint8_t>(v <= 0 ? 0 : v >= 255 ? 255 : int(v + 0.5));
}

// The table cell a pixel falls into.
size_t pixel_cell(const uint8_t* p, const int layer_of[256], const moments& m) {
    return m.cell(p[0] / 8 + 1, p[1] / 8 + 1, p[2] / 8 + 1, layer_of[p[3]]);
}

bool quantize(const uint8_t* rgba, size_t pixel_count, unsigned max_colors, std::vector<uint8_t>& indices,
              uint8_t palette[256 * 3], uint8_t alphas[256]) {
    // Only the alpha classes in use get a layer, so an opaque picture
    // costs what a colour-only quantizer does.
    bool used[class_count] = {};
    for (size_t i = 0; i < pixel_count; ++i)
        used[alpha_class(rgba[4 * i + 3])] = true;
    int layer_of_class[class_count] = {};
    int layers = 0;
    for (int k = 0; k < class_count; ++k)
        if (used[k])
            layer_of_class[k] = ++layers;
    int layer_of[256];
    for (int a = 0; a < 256; ++a)
        layer_of[a] = layer_of_class[alpha_class(a)];
    box_kind kind_of_layer[class_count + 1] = {};
    for (int k = 0; k < class_count; ++k)
        if (used[k])
            kind_of_layer[layer_of_class[k]] = k == 0 ? kind_clear : k == class_opaque ? kind_opaque : kind_partial;

    moments m(layers > 0 ? layers : 1);
    for (size_t i = 0; i < pixel_count; ++i) {
        const uint8_t* p = rgba + 4 * i;
        size_t here = pixel_cell(p, layer_of, m);
        m.wt[here] += 1;
        m.mr[here] += p[0];
        m.mg[here] += p[1];
        m.mb[here] += p[2];
        m.ma[here] += p[3];
        m.m2[here] += double(p[0]) * p[0] + double(p[1]) * p[1] + double(p[2]) * p[2] + double(p[3]) * p[3];
    }
    std::vector<cell_stats> cells;
    for (size_t at = 0; at < m.wt.size(); ++at) {
        if (m.wt[at] == 0)
            continue;
        cell_stats c;
        c.cell = at;
        c.w = m.wt[at];
        c.r = m.mr[at];
        c.g = m.mg[at];
        c.b = m.mb[at];
        c.a = m.ma[at];
        c.kind = kind_of_layer[at / m.stride[3]];
        cells.push_back(c);
    }
    accumulate(m.wt, m);
    accumulate(m.mr, m);
    accumulate(m.mg, m);
    accumulate(m.mb, m);
    accumulate(m.ma, m);
    accumulate(m.m2, m);

    // The first boxes: one for each kind of pixel present, spanning the
    // whole colour cube and the layers of that kind.
    box boxes[256];
    double var[256];
    int count = 0;
    int partial_lo = -1, partial_hi = -1;
    for (int k = 1; k < class_opaque; ++k) {
        if (!used[k])
            continue;
        if (partial_lo < 0)
            partial_lo = layer_of_class[k] - 1;
        partial_hi = layer_of_class[k];
    }
    struct start {
        bool present;
        int lo, hi;
        box_kind kind;
    } starts[3] = {
        {used[0], layer_of_class[0] - 1, layer_of_class[0], kind_clear},
        {partial_lo >= 0, partial_lo, partial_hi, kind_partial},
        {used[class_opaque], layer_of_class[class_opaque] - 1, layer_of_class[class_opaque], kind_opaque},
    };
    int kinds = 0;
    for (const start& s : starts)
        kinds += s.present ? 1 : 0;
    if (kinds <= 1 || unsigned(kinds) > max_colors) {
        boxes[0] = {{0, 0, 0, 0}, {side - 1, side - 1, side - 1, m.layers}, kind_any};
        for (const start& s : starts)
            if (s.present && kinds == 1)
                boxes[0].kind = s.kind;
        count = 1;
    } else {
        for (const start& s : starts)
            if (s.present)
                boxes[count++] = {{0, 0, 0, s.lo}, {side - 1, side - 1, side - 1, s.hi}, s.kind};
    }
    // Invisible pixels share one entry: their colour is never seen.
    for (int k = 0; k < count; ++k)
        var[k] = boxes[k].kind == kind_clear ? 0.0 : seen_variance(boxes[k], m);

    while (count < int(max_colors)) {
        int next = 0;
        for (int k = 1; k < count; ++k)
            if (var[k] > var[next])
                next = k;
        if (var[next] <= 0.0)
            break;
        if (cut_box(boxes[next], boxes[count], m)) {
            var[next] = seen_variance(boxes[next], m);
            var[count] = seen_variance(boxes[count], m);
            ++count;
        } else {
            var[next] = 0.0;
        }
    }

    // Lloyd's refinement: each non-empty cell goes to the nearest entry
    // of its kind and each entry moves to the mean of its cells. The cuts
    // only see whole boxes of 8 × 8 × 8 values; this gives every cell the
    // closest colour the palette has.
    std::vector<entry> entries(static_cast<size_t>(count));
    for (int k = 0; k < count; ++k) {
        box_sums sum(boxes[k], m);
        entries[size_t(k)].kind = boxes[k].kind;
        entries[size_t(k)].set_mean(sum.w, double(sum.r), double(sum.g), double(sum.b), double(sum.a));
    }
    double work = double(cells.size()) * double(count);
    int rounds = work > 0 ? int(refine_budget / work) : 0;
    rounds = rounds < 1 ? 1 : rounds > refine_rounds ? refine_rounds : rounds;
    std::vector<uint8_t> nearest(cells.size(), 0);
    for (int round = 0; round < rounds; ++round) {
        for (size_t i = 0; i < cells.size(); ++i)
            nearest[i] = nearest_entry(cells[i], entries);
        std::vector<cell_stats> sums(entries.size());
        for (size_t i = 0; i < cells.size(); ++i)
            sums[nearest[i]].add(cells[i]);
        for (size_t k = 0; k < entries.size(); ++k)
            if (sums[k].w > 0)
                entries[k].set_mean(sums[k].w, double(sums[k].r), double(sums[k].g), double(sums[k].b),
                                    double(sums[k].a));
    }

    std::memset(palette, 0, 256 * 3);
    std::memset(alphas, 0, 256);
    for (size_t k = 0; k < entries.size(); ++k) {
        const entry& e = entries[k];
        palette[3 * k] = to_byte(e.r);
        palette[3 * k + 1] = to_byte(e.g);
        palette[3 * k + 2] = to_byte(e.b);
        uint8_t a = to_byte(e.a);
        switch (e.kind) {
        case kind_clear:
            alphas[k] = 0;
            break;
        case kind_opaque:
            alphas[k] = 255;
            break;
        case kind_partial:
            alphas[k] = a < 1 ? 1 : a > 254 ? 254 : a;
            break;
        case kind_any:
            alphas[k] = a;
            break;
        }
    }

    // Each pixel takes the nearest of the few entries nearest its cell's
    // mean: a cell spans 8 values a channel, and its pixels need not all
    // lie closest to the same entry.
    std::vector<int32_t> place(m.wt.size(), -1);
    std::vector<uint8_t> candidates(cells.size() * pixel_candidates);
    for (size_t i = 0; i < cells.size(); ++i) {
        place[cells[i].cell] = int32_t(i);
        nearest_entries(cells[i], entries, &candidates[i * pixel_candidates]);
    }
    indices.resize(pixel_count);
    for (size_t i = 0; i < pixel_count; ++i) {
        const uint8_t* p = rgba + 4 * i;
        const uint8_t* near = &candidates[size_t(place[pixel_cell(p, layer_of, m)]) * pixel_candidates];
        uint8_t best = near[0];
        double best_distance = -1.0;
        for (int k = 0; k < pixel_candidates; ++k) {
            const entry& e = entries[near[k]];
            double d = (e.r - p[0]) * (e.r - p[0]) + (e.g - p[1]) * (e.g - p[1]) + (e.b - p[2]) * (e.b - p[2]) +
                       (e.a - p[3]) * (e.a - p[3]);
            if (best_distance < 0 || d < best_distance) {
                best_distance = d;
                best = near[k];
            }
        }
        indices[i] = best;
    }
    return true;
}

}  // namespace

bool wu_quantize(const uint8_t* rgba, size_t pixel_count, unsigned max_colors, std::vector<uint8_t>& indices,
                 uint8_t palette[256 * 3], uint8_t alphas[256]) {
    if (max_colors < 1)
        max_colors = 1;
    if (max_colors > 256)
        max_colors = 256;
    try {
        return quantize(rgba, pixel_count, max_colors, indices, palette, alphas);
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace kiv
