// rasterizer.cpp --
//
//     The row sort and the solid sweep of the map rasteriser, and the
//     hand-out of blocks of rows to pool workers.
//
//     A solid fill with enough cells is cut into blocks of rows; the
//     caller and up to one helper per further CPU take blocks from a
//     shared counter until none is left, each with a scanline of its
//     own, and the caller returns once every block is blended. A helper
//     that starts after the blocks ran out only reads the counter, so the
//     caller does not wait for helpers that have not started; the job
//     they share lives as long as the last of them holds it. Without
//     workers (the core not started, the thread limit reached) the
//     caller sweeps every block itself.

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

void rasterizer::render_rows(int first, int last, ozm_renderer_base& ren, const agg::rgba8& color) const {
    agg::scanline_p8 sl;
    sl.reset(min_x(), max_x());
    for (int y = first; y <= last; ++y) {
        if (!sweep_row(y, sl))
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

namespace {

const int rows_per_block = 8;
// Below this many cells per participant a helper costs more than it saves.
const unsigned cells_per_helper = 4 * 1024;

struct row_job {
    const rasterizer* ras;
    ozm_renderer_base* ren;
    agg::rgba8 color;
    int first_row, last_row, blocks;
    std::atomic<int> next{0};
    std::mutex lock;
    std::condition_variable finished;
    int done = 0;  // blocks blended, under `lock`

    template <class Rows>
    void work(Rows rows) {
        int mine = 0;
        for (int b; (b = next.fetch_add(1, std::memory_order_relaxed)) < blocks; ++mine) {
            const int y0 = first_row + b * rows_per_block;
            rows(y0, std::min(last_row, y0 + rows_per_block - 1));
        }
        if (mine == 0)
            return;
        std::lock_guard<std::mutex> guard(lock);
        done += mine;
        if (done == blocks)
            finished.notify_all();
    }
};

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

}  // namespace

// The pool task of a helper: `data` holds a pointer to its own reference
// to the job.
struct rasterizer_task {
    static void run(bool running, void* data, unsigned) {
        std::unique_ptr<std::shared_ptr<row_job>> job(*static_cast<std::shared_ptr<row_job>**>(data));
        if (!running)
            return;
        row_job& j = **job;
        j.work([&j](int y0, int y1) { j.ras->render_rows(y0, y1, *j.ren, j.color); });
    }
};

void rasterizer::render_solid(ozm_renderer_base& ren, const agg::rgba8& color) {
    if (!sort())
        return;
    const int first = outline_.min_y(), last = outline_.max_y();
    const int blocks = (last - first) / rows_per_block + 1;
    unsigned helpers = std::min(cpu_count() - 1, outline_.total_cells() / cells_per_helper);
    helpers = std::min(helpers, unsigned(blocks - 1));
    if (helpers == 0) {
        render_rows(first, last, ren, color);
        return;
    }
    auto job = std::make_shared<row_job>();
    job->ras = this;
    job->ren = &ren;
    job->color = color;
    job->first_row = first;
    job->last_row = last;
    job->blocks = blocks;
    for (unsigned i = 0; i < helpers; ++i) {
        auto* ref = new std::shared_ptr<row_job>(job);
        if (!kiv_bg_thread_try(&rasterizer_task::run, &ref, sizeof ref)) {
            delete ref;
            break;
        }
    }
    job->work([&](int y0, int y1) { render_rows(y0, y1, ren, color); });
    std::unique_lock<std::mutex> guard(job->lock);
    job->finished.wait(guard, [&] { return job->done == job->blocks; });
}

}  // namespace ozm
}  // namespace kiv
