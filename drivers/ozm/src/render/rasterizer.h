// rasterizer.h --
//
//     The scanline rasteriser of the map images: AGG's cells and its
//     double-precision clipper, filled by the same steps as AGG's own
//     rasterizer_scanline_aa (so the coverage of every pixel is the one
//     AGG gives), swept row by row. Rows are independent once the cells
//     are sorted by row, so a solid fill with many cells is swept and
//     blended in blocks of rows on pool workers as well as on the caller;
//     each row is sorted by x by the thread that sweeps it.

#ifndef KIV_OZM_SRC_RENDER_RASTERIZER_H
#define KIV_OZM_SRC_RENDER_RASTERIZER_H

#include <kiv/ozm/render/render_context.h>

#include <agg_basics.h>
#include <agg_rasterizer_cells_aa.h>
#include <agg_rasterizer_scanline_aa.h>  // cell_aa
#include <agg_rasterizer_sl_clip.h>

#include <algorithm>
#include <cstddef>

namespace kiv {
namespace ozm {

// AGG's cell under a type of its own, so that the sort AGG runs over the
// cells orders them by row only (see the qsort_cells below): the order
// by x within a row is made where the row is swept.
struct row_cell : agg::cell_aa {};

}  // namespace ozm
}  // namespace kiv

namespace agg {

// Rows are sorted by x when they are swept (rasterizer::sweep_row).
template <>
inline void qsort_cells<kiv::ozm::row_cell>(kiv::ozm::row_cell**, unsigned) {}

}  // namespace agg

namespace kiv {
namespace ozm {

// Sorts one row's cells by x. Only the order by x counts: the sweep adds
// up the cells of one x whatever their order.
void sort_row(row_cell** start, unsigned num);

struct rasterizer_task;

class rasterizer {
public:
    enum { aa_shift = 8, aa_scale = 1 << aa_shift, aa_mask = aa_scale - 1, aa_scale2 = aa_scale * 2,
           aa_mask2 = aa_scale2 - 1 };

    explicit rasterizer(unsigned cell_block_limit) : outline_(cell_block_limit) {}
    rasterizer(const rasterizer&) = delete;
    rasterizer& operator=(const rasterizer&) = delete;

    // Drops the cells; the clip box and the filling rule stay.
    void reset() {
        outline_.reset();
        status_ = status_initial;
    }
    void clip_box(double x1, double y1, double x2, double y2) {
        reset();
        clipper_.clip_box(conv::upscale(x1), conv::upscale(y1), conv::upscale(x2), conv::upscale(y2));
    }
    void filling_rule(agg::filling_rule_e rule) { filling_rule_ = rule; }

    template <class VertexSource>
    void add_path(VertexSource& vs, unsigned path_id = 0) {
        double x, y;
        unsigned cmd;
        vs.rewind(path_id);
        if (outline_.sorted())
            reset();
        while (!agg::is_stop(cmd = vs.vertex(&x, &y)))
            add_vertex(x, y, cmd);
    }

    // Sweeps the cells and blends `color` through `ren`: on pool workers
    // too when there are many cells. The caller's rows are done on return.
    void render_solid(ozm_renderer_base& ren, const agg::rgba8& color);

    // Returns: the bytes the rasteriser keeps for its cells: as many as
    //     its largest rasterisation took, until it is destroyed.
    size_t kept_bytes() const { return size_t(peak_cells_) * (sizeof(row_cell) + sizeof(row_cell*)); }

    // AGG's scanline interface, for agg::render_scanlines and its span
    // generators (one thread).
    int min_x() const { return outline_.min_x(); }
    int max_x() const { return outline_.max_x(); }
    bool rewind_scanlines() {
        if (!sort())
            return false;
        scan_y_ = outline_.min_y();
        return true;
    }
    template <class Scanline>
    bool sweep_scanline(Scanline& sl) {
        for (; scan_y_ <= outline_.max_y(); ++scan_y_) {
            if (sweep_row(scan_y_, sl)) {
                ++scan_y_;
                return true;
            }
        }
        return false;
    }

private:
    typedef agg::rasterizer_sl_clip_dbl clip_type;
    typedef clip_type::conv_type conv;
    enum status { status_initial, status_move_to, status_line_to, status_closed };

    void close_polygon() {
        if (status_ == status_line_to) {
            clipper_.line_to(outline_, start_x_, start_y_);
            status_ = status_closed;
        }
    }
    void add_vertex(double x, double y, unsigned cmd) {
        if (agg::is_move_to(cmd)) {
            if (outline_.sorted())
                reset();
            close_polygon();
            clipper_.move_to(start_x_ = conv::upscale(x), start_y_ = conv::upscale(y));
            status_ = status_move_to;
        } else if (agg::is_vertex(cmd)) {
            clipper_.line_to(outline_, conv::upscale(x), conv::upscale(y));
            status_ = status_line_to;
        } else if (agg::is_close(cmd)) {
            close_polygon();
        }
    }
    // Closes the open polygon and sorts the cells by row.
    // Returns: false when there are no cells.
    bool sort() {
        close_polygon();
        outline_.sort_cells();
        peak_cells_ = std::max(peak_cells_, outline_.total_cells());
        return outline_.total_cells() != 0;
    }

    unsigned alpha(int area) const {
        int cover = area >> (agg::poly_subpixel_shift * 2 + 1 - aa_shift);
        if (cover < 0)
            cover = -cover;
        if (filling_rule_ == agg::fill_even_odd) {
            cover &= aa_mask2;
            if (cover > aa_scale)
                cover = aa_scale2 - cover;
        }
        return cover > aa_mask ? unsigned(aa_mask) : unsigned(cover);
    }

    // Sweeps row `y` (within min_y..max_y of the sorted cells) into `sl`,
    // sorting the row first.
    // Returns: whether the row has spans (`sl` is finalized then).
    template <class Scanline>
    bool sweep_row(int y, Scanline& sl) const {
        sl.reset_spans();
        unsigned num_cells = outline_.scanline_num_cells(unsigned(y));
        // The row's pointers lie in the rasteriser's own array; only this
        // row's sweep reorders them.
        row_cell** cells = const_cast<row_cell**>(outline_.scanline_cells(unsigned(y)));
        sort_row(cells, num_cells);
        int cover = 0;
        while (num_cells) {
            const row_cell* cur = *cells;
            int x = cur->x;
            int area = cur->area;
            cover += cur->cover;
            while (--num_cells) {
                cur = *++cells;
                if (cur->x != x)
                    break;
                area += cur->area;
                cover += cur->cover;
            }
            if (area) {
                unsigned a = alpha((cover * (1 << (agg::poly_subpixel_shift + 1))) - area);
                if (a)
                    sl.add_cell(x, a);
                x++;
            }
            if (num_cells && cur->x > x) {
                unsigned a = alpha(cover * (1 << (agg::poly_subpixel_shift + 1)));
                if (a)
                    sl.add_span(x, unsigned(cur->x - x), a);
            }
        }
        if (sl.num_spans() == 0)
            return false;
        sl.finalize(y);
        return true;
    }

    friend struct rasterizer_task;

    // Sweeps and blends rows first..last (inclusive).
    void render_rows(int first, int last, ozm_renderer_base& ren, const agg::rgba8& color) const;

    agg::rasterizer_cells_aa<row_cell> outline_;
    clip_type clipper_;
    agg::filling_rule_e filling_rule_ = agg::fill_non_zero;
    double start_x_ = 0, start_y_ = 0;
    unsigned status_ = status_initial;
    int scan_y_ = 0;
    unsigned peak_cells_ = 0;
};

}  // namespace ozm
}  // namespace kiv

#endif
