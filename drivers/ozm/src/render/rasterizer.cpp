// rasterizer.cpp --
//
//     The row sort, the lanes and the solid sweep of the map rasteriser.
//     Work is cut into items (lanes to fill, blocks of rows to sweep and
//     blend) that the image's crew shares out; without a crew the caller
//     does every item itself. The cut does not depend on the crew, so an
//     image comes out of the same steps either way.

#include "render/rasterizer.h"

#include "render/crew.h"

#include <agg_scanline_p.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>

namespace kiv {
namespace ozm {

namespace {

constexpr unsigned most = 2048;  // cells of a row sorted without std::sort

struct keyed {
    int x;
    row_cell* cell;
};

// Cuts xs[0..num) into runs, each in order or in strict reverse order,
// and puts where each starts into `bounds`, num after the last.
// Returns: the number of runs.
unsigned find_runs(const int* xs, unsigned num, unsigned* bounds) {
    unsigned count = 0;
    for (unsigned i = 0; i < num;) {
        unsigned j = i + 1;
        bounds[count++] = i;
        if (j < num && xs[j] < xs[i]) {
            while (j < num && xs[j] < xs[j - 1])
                ++j;
        } else {
            while (j < num && xs[j] >= xs[j - 1])
                ++j;
        }
        i = j;
    }
    bounds[count] = num;
    return count;
}

// Sorts the `num` cells at `start` (x at xs) by merging the `count` runs
// that find_runs found, the reverse ones turned first.
void merge_runs(row_cell** start, const int* xs, unsigned num, unsigned* bounds, unsigned count) {
    keyed one[most], two[most];
    for (unsigned r = 0; r < count; ++r) {
        const unsigned b = bounds[r], e = bounds[r + 1];
        const bool reverse = e - b > 1 && xs[b + 1] < xs[b];
        for (unsigned k = b; k < e; ++k)
            one[reverse ? b + e - 1 - k : k] = keyed{xs[k], start[k]};
    }
    keyed* from = one;
    keyed* to = two;
    auto by_x = [](const keyed& l, const keyed& r) { return l.x < r.x; };
    while (count > 1) {
        unsigned merged = 0;
        for (unsigned r = 0; r < count; r += 2) {
            const unsigned b = bounds[r], m = bounds[std::min(r + 1, count)], e = bounds[std::min(r + 2, count)];
            std::merge(from + b, from + m, from + m, from + e, to + b, by_x);
            bounds[merged++] = b;
        }
        bounds[merged] = num;
        count = merged;
        std::swap(from, to);
    }
    for (unsigned i = 0; i < num; ++i)
        start[i] = from[i].cell;
}

}  // namespace

void sort_row(row_cell** start, unsigned num) {
    auto by_x = [](const row_cell* l, const row_cell* r) { return l->x < r->x; };
    if (num < 2)
        return;
    if (num > most) {
        std::sort(start, start + num, by_x);
        return;
    }
    // Each cell is read once (they lie scattered in the rasteriser's
    // blocks): its x, whether the row is in order already (the cells of
    // a style mostly come in order, features being added across the
    // image one after the other), and the range.
    int xs[most];
    int lo = start[0]->x, hi = lo;
    xs[0] = lo;
    bool in_order = true;
    for (unsigned i = 1; i < num; ++i) {
        const int x = start[i]->x;
        xs[i] = x;
        in_order = in_order && x >= xs[i - 1];
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    }
    if (in_order)
        return;
    if (num <= 16) {
        for (unsigned i = 1; i < num; ++i) {
            row_cell* c = start[i];
            const int x = xs[i];
            unsigned j = i;
            for (; j > 0 && x < xs[j - 1]; --j) {
                start[j] = start[j - 1];
                xs[j] = xs[j - 1];
            }
            start[j] = c;
            xs[j] = x;
        }
        return;
    }
    // A row is mostly a few runs in order or in reverse order (the two
    // sides of a stroke run in opposite directions): merged pairwise, it
    // sorts in log2(runs) passes. Otherwise, as cells lie within the clip
    // box, a row spans about the image's width: counted by x, it sorts in
    // two passes over that range.
    unsigned bounds[most + 1];
    const unsigned runs = find_runs(xs, num, bounds);
    const int64_t range = int64_t(hi) - lo + 1;
    unsigned passes = 0;
    for (unsigned r = 1; r < runs; r *= 2)
        ++passes;
    if (uint64_t(passes) * num < uint64_t(range) + 2 * num) {
        merge_runs(start, xs, num, bounds, runs);
        return;
    }
    if (range > int64_t(most)) {
        std::sort(start, start + num, by_x);
        return;
    }
    unsigned first[most + 1];
    row_cell* sorted[most];
    std::fill(first, first + range + 1, 0u);
    for (unsigned i = 0; i < num; ++i)
        ++first[xs[i] - lo + 1];
    for (int64_t k = 1; k <= range; ++k)
        first[k] += first[k - 1];
    for (unsigned i = 0; i < num; ++i)
        sorted[first[xs[i] - lo]++] = start[i];
    std::copy(sorted, sorted + num, start);
}

namespace {

const int rows_per_block = 8;
// Cells below which a sweep is not shared out: waking a worker costs
// about as much as sweeping them.
const unsigned shared_sweep_cells = 8 * 1024;
// Vertices below which a lane more costs more than it saves.
const unsigned vertices_per_lane = 64;

}  // namespace

rasterizer::rasterizer(unsigned cell_block_limit) : cell_block_limit_(cell_block_limit) {
    lanes_.emplace_back(new lane(cell_block_limit));
}

rasterizer::~rasterizer() = default;

void rasterizer::reset() {
    for (auto& l : lanes_)
        l->cells.reset();
    used_ = 1;
}

void rasterizer::clip_box(double x1, double y1, double x2, double y2) {
    clip_[0] = x1;
    clip_[1] = y1;
    clip_[2] = x2;
    clip_[3] = y2;
    for (auto& l : lanes_)
        l->cells.clip_box(x1, y1, x2, y2);
    used_ = 1;
}

void rasterizer::add_split(const agg::path_storage& path, unsigned parts, const std::function<void(lane&)>& add) {
    const unsigned total = path.total_vertices();
    parts = std::max(1u, std::min({parts, cpu_count(), total / vertices_per_lane}));
    // Cut at the move_to nearest after each even share.
    std::vector<unsigned> cuts{0};
    for (unsigned k = 1; k < parts; ++k) {
        unsigned at = std::max(cuts.back() + 1, unsigned(uint64_t(total) * k / parts));
        while (at < total && !agg::is_move_to(path.command(at)))
            ++at;
        if (at >= total)
            break;
        cuts.push_back(at);
    }
    cuts.push_back(total);
    used_ = unsigned(cuts.size() - 1);
    while (lanes_.size() < used_) {
        lanes_.emplace_back(new lane(cell_block_limit_));
        lanes_.back()->cells.clip_box(clip_[0], clip_[1], clip_[2], clip_[3]);
    }
    std::function<void(int)> fill = [&](int i) {
        lane& l = *lanes_[size_t(i)];
        l.source.set(&path, cuts[size_t(i)], cuts[size_t(i) + 1]);
        add(l);
        l.cells.sort();
    };
    share(int(used_), fill);
}

bool rasterizer::sort() {
    bool any = false;
    for (unsigned i = 0; i < used_; ++i) {
        cell_lane& c = lanes_[i]->cells;
        if (!c.sort())
            continue;
        const agg::rasterizer_cells_aa<row_cell>& o = c.outline;
        if (!any) {
            min_x_ = o.min_x();
            max_x_ = o.max_x();
            min_y_ = o.min_y();
            max_y_ = o.max_y();
            any = true;
            continue;
        }
        min_x_ = std::min(min_x_, o.min_x());
        max_x_ = std::max(max_x_, o.max_x());
        min_y_ = std::min(min_y_, o.min_y());
        max_y_ = std::max(max_y_, o.max_y());
    }
    return any;
}

void rasterizer::share(int items, const std::function<void(int)>& item) {
    if (crew_ != nullptr) {
        crew_->share(items, item);
        return;
    }
    for (int i = 0; i < items; ++i)
        item(i);
}

size_t rasterizer::kept_bytes() const {
    size_t bytes = 0;
    for (const auto& l : lanes_)
        bytes += size_t(l->cells.peak_cells) * (sizeof(row_cell) + sizeof(row_cell*));
    return bytes;
}

void rasterizer::render_rows(int first, int last, ozm_renderer_base& ren, const agg::rgba8& color) const {
    agg::scanline_p8 sl;
    sl.reset(min_x_, max_x_);
    std::vector<row_cell*> scratch;
    for (int y = first; y <= last; ++y) {
        if (!sweep_row(y, sl, scratch))
            continue;
        unsigned num_spans = sl.num_spans();
        agg::scanline_p8::const_iterator span = sl.begin();
        for (;;) {
            const int x = span->x;
            if (span->len > 0)
                ren.blend_solid_hspan(x, y, unsigned(span->len), color, span->covers);
            else
                ren.blend_hline(x, y, unsigned(x - span->len - 1), color, *span->covers);
            if (--num_spans == 0)
                break;
            ++span;
        }
    }
}

void rasterizer::render_solid(ozm_renderer_base& ren, const agg::rgba8& color) {
    if (!sort())
        return;
    const int first = min_y_, last = max_y_;
    unsigned cells = 0;
    for (unsigned i = 0; i < used_; ++i)
        cells += lanes_[i]->cells.outline.total_cells();
    if (cells < shared_sweep_cells) {
        render_rows(first, last, ren, color);
        return;
    }
    std::function<void(int)> block = [&](int b) {
        const int y0 = first + b * rows_per_block;
        render_rows(y0, std::min(last, y0 + rows_per_block - 1), ren, color);
    };
    share((last - first) / rows_per_block + 1, block);
}

}  // namespace ozm
}  // namespace kiv
