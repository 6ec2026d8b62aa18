// rasterizer.cpp --
//
//     The row sort and the solid sweep of the map rasteriser, and the
//     hand-out of its work to pool workers.
//
//     Work is cut into items (lanes to fill, blocks of rows to sweep and
//     blend); the caller and up to one helper per further CPU take items
//     from a shared counter until none is left, and the caller returns
//     once every item is done. A helper that starts after the items ran
//     out only reads the counter, so the caller does not wait for helpers
//     that have not started; the job they share lives as long as the last
//     of them holds it. Without workers (the core not started, the thread
//     limit reached) the caller does every item itself.

#include "render/rasterizer.h"

#include <kiv/core/threads.h>

#include <agg_scanline_p.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include <sched.h>

namespace kiv {
namespace ozm {

void sort_row(row_cell** start, unsigned num) {
    constexpr unsigned most = 2048;
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
    // Cells lie within the clip box, so a row spans about the image's
    // width: counted by x, the row sorts in two passes over it.
    const int64_t range = int64_t(hi) - lo + 1;
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
// Cells below which one participant more in a sweep costs more than it
// saves.
const unsigned cells_per_helper = 4 * 1024;
// Vertices below which a lane more costs more than it saves.
const unsigned vertices_per_lane = 512;

// The CPUs this process may run on (its affinity, as taskset sets it).
unsigned cpu_count() {
    static const unsigned n = [] {
        cpu_set_t set;
        if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
            return unsigned(CPU_COUNT(&set));
        return std::max(1u, std::thread::hardware_concurrency());
    }();
    return n;
}

// Items 0..items-1 shared by the caller and its helpers.
struct shared_work {
    const std::function<void(int)>* item;  // the caller's; called only for claimed items
    int items = 0;
    std::atomic<int> next{0};
    std::mutex lock;
    std::condition_variable finished;
    int done = 0;  // items done, under `lock`

    void work() {
        int mine = 0;
        for (int i; (i = next.fetch_add(1, std::memory_order_relaxed)) < items; ++mine)
            (*item)(i);
        if (mine == 0)
            return;
        std::lock_guard<std::mutex> guard(lock);
        done += mine;
        if (done == items)
            finished.notify_all();
    }
};

// The pool task of a helper: `data` holds a pointer to its own reference
// to the work.
void help(bool running, void* data, unsigned) {
    std::unique_ptr<std::shared_ptr<shared_work>> work(*static_cast<std::shared_ptr<shared_work>**>(data));
    if (running)
        (*work)->work();
}

// Runs item(0..items-1) on the caller and up to `helpers` pool workers.
void share(int items, unsigned helpers, const std::function<void(int)>& item) {
    helpers = std::min(helpers, unsigned(std::max(items - 1, 0)));
    if (helpers == 0) {
        for (int i = 0; i < items; ++i)
            item(i);
        return;
    }
    auto work = std::make_shared<shared_work>();
    work->item = &item;
    work->items = items;
    for (unsigned i = 0; i < helpers; ++i) {
        auto* ref = new std::shared_ptr<shared_work>(work);
        if (!kiv_bg_thread_try(&help, &ref, sizeof ref)) {
            delete ref;
            break;
        }
    }
    work->work();
    std::unique_lock<std::mutex> guard(work->lock);
    work->finished.wait(guard, [&] { return work->done == work->items; });
}

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
    share(int(used_), used_ - 1, fill);
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
    unsigned cells = 0;
    for (unsigned i = 0; i < used_; ++i)
        cells += lanes_[i]->cells.outline.total_cells();
    const int first = min_y_, last = max_y_;
    std::function<void(int)> block = [&](int b) {
        const int y0 = first + b * rows_per_block;
        render_rows(y0, std::min(last, y0 + rows_per_block - 1), ren, color);
    };
    share((last - first) / rows_per_block + 1, std::min(cpu_count() - 1, cells / cells_per_helper), block);
}

}  // namespace ozm
}  // namespace kiv
