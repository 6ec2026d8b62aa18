// rasterizer.h --
//
//     The scanline rasteriser of the map images: AGG's cells and its
//     double-precision clipper, filled by the same steps as AGG's own
//     rasterizer_scanline_aa, swept row by row.
//
//     A style's path can be cut at its sub-paths into lanes, each with
//     cells, a clipper and converters of its own, filled at the same time
//     on pool workers and the caller. The sweep adds up every cell of a
//     pixel whichever lane made it, and cover and area are integer sums,
//     so the coverage of every pixel is the one a single AGG rasteriser
//     gives. Rows are independent once the cells are sorted by row, so a
//     solid fill with many cells is swept and blended in blocks of rows
//     on pool workers too; each row is sorted by x by the thread that
//     sweeps it.

#ifndef KIV_OZM_SRC_RENDER_RASTERIZER_H
#define KIV_OZM_SRC_RENDER_RASTERIZER_H

#include "render/render_context.h"

#include <agg_basics.h>
#include <agg_conv_curve.h>
#include <agg_conv_smooth_poly1.h>
#include <agg_conv_stroke.h>
#include <agg_path_storage.h>
#include <agg_rasterizer_cells_aa.h>
#include <agg_rasterizer_scanline_aa.h>  // cell_aa
#include <agg_rasterizer_sl_clip.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

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

// The vertices begin..end of a path as an AGG vertex source.
class path_range {
public:
    void set(const agg::path_storage* path, unsigned begin, unsigned end) {
        path_ = path;
        begin_ = at_ = begin;
        end_ = end;
    }
    void rewind(unsigned) { at_ = begin_; }
    unsigned vertex(double* x, double* y) {
        return at_ < end_ ? path_->vertex(at_++, x, y) : unsigned(agg::path_cmd_stop);
    }

private:
    const agg::path_storage* path_ = nullptr;
    unsigned begin_ = 0, end_ = 0, at_ = 0;
};

// Cells and the clipper that makes them, filled as AGG's rasteriser
// fills its own (auto-closing polygons).
class cell_lane {
public:
    explicit cell_lane(unsigned cell_block_limit) : outline(cell_block_limit) {}

    void reset() {
        outline.reset();
        status_ = status_initial;
    }
    void clip_box(double x1, double y1, double x2, double y2) {
        reset();
        clipper_.clip_box(conv::upscale(x1), conv::upscale(y1), conv::upscale(x2), conv::upscale(y2));
    }
    template <class VertexSource>
    void add_path(VertexSource& vs, unsigned path_id = 0) {
        double x, y;
        unsigned cmd;
        vs.rewind(path_id);
        if (outline.sorted())
            reset();
        while (!agg::is_stop(cmd = vs.vertex(&x, &y)))
            add_vertex(x, y, cmd);
    }
    // Closes the open polygon and sorts the cells by row.
    // Returns: false when there are no cells.
    bool sort() {
        close_polygon();
        outline.sort_cells();
        peak_cells = std::max(peak_cells, outline.total_cells());
        return outline.total_cells() != 0;
    }

    agg::rasterizer_cells_aa<row_cell> outline;
    unsigned peak_cells = 0;  // the most cells one rasterisation made

private:
    typedef agg::rasterizer_sl_clip_dbl clip_type;
    typedef clip_type::conv_type conv;
    enum status { status_initial, status_move_to, status_line_to, status_closed };

    void close_polygon() {
        if (status_ == status_line_to) {
            clipper_.line_to(outline, start_x_, start_y_);
            status_ = status_closed;
        }
    }
    void add_vertex(double x, double y, unsigned cmd) {
        if (agg::is_move_to(cmd)) {
            if (outline.sorted())
                reset();
            close_polygon();
            clipper_.move_to(start_x_ = conv::upscale(x), start_y_ = conv::upscale(y));
            status_ = status_move_to;
        } else if (agg::is_vertex(cmd)) {
            clipper_.line_to(outline, conv::upscale(x), conv::upscale(y));
            status_ = status_line_to;
        } else if (agg::is_close(cmd)) {
            close_polygon();
        }
    }

    clip_type clipper_;
    double start_x_ = 0, start_y_ = 0;
    unsigned status_ = status_initial;
};

typedef agg::conv_curve<agg::conv_smooth_poly1<path_range>> smoother;

// One lane: its share of the path, the converters the geometry styles
// draw that share through (kept from style to style and image to image:
// AGG's vertex stores keep their blocks, so a kept converter stops
// allocating once it has met the largest path), and its cells. A user
// sets every converter parameter it depends on before each use (styles
// differ in width). Each converter keeps the joins and caps of its one
// use: the round ones of lines, AGG's defaults for polygon outlines.
struct lane {
    explicit lane(unsigned cell_block_limit)
        : line_stroke(source), outline(source), smooth_poly(source), curve(smooth_poly), curve_outline(curve),
          cells(cell_block_limit) {}
    lane(const lane&) = delete;
    lane& operator=(const lane&) = delete;

    path_range source;
    agg::conv_stroke<path_range> line_stroke;  // lines: round joins and caps
    agg::conv_stroke<path_range> outline;      // polygon borders: AGG's default joins and caps
    agg::conv_smooth_poly1<path_range> smooth_poly;
    smoother curve;
    agg::conv_stroke<smoother> curve_outline;  // smooth polygon borders, as outline
    cell_lane cells;
};

class crew;

class rasterizer {
public:
    enum { aa_shift = 8, aa_scale = 1 << aa_shift, aa_mask = aa_scale - 1, aa_scale2 = aa_scale * 2,
           aa_mask2 = aa_scale2 - 1 };

    explicit rasterizer(unsigned cell_block_limit);
    ~rasterizer();
    rasterizer(const rasterizer&) = delete;
    rasterizer& operator=(const rasterizer&) = delete;

    // Shares the work out on `c` (borrowed) from now on; null: the
    // caller does it all.
    void use_crew(crew* c) { crew_ = c; }

    // Drops the cells of every lane (their memory stays for the next).
    void reset();
    // Drops the cells and sets the clip box of every lane.
    void clip_box(double x1, double y1, double x2, double y2);
    void filling_rule(agg::filling_rule_e rule) { filling_rule_ = rule; }

    // Adds `vs` to the first lane (small paths: label boxes, dashes).
    template <class VertexSource>
    void add_path(VertexSource& vs) {
        used_ = 1;
        lanes_[0]->cells.add_path(vs);
    }
    // Adds `path` cut at its sub-paths into up to `parts` lanes (fewer
    // for a short path or few CPUs): `add`(lane) adds the lane's source,
    // set to its share, through the lane's converters to lane.cells. The
    // lanes are filled by the crew, so `add` may run on several threads
    // at once, each with its own lane.
    void add_split(const agg::path_storage& path, unsigned parts, const std::function<void(lane&)>& add);

    // Sweeps the cells and blends `color` through `ren`, blocks of rows
    // shared out on the crew. Every row is done on return.
    void render_solid(ozm_renderer_base& ren, const agg::rgba8& color);

    // Returns: the bytes the rasteriser keeps for its cells: as many as
    //     its largest rasterisations took, until it is destroyed.
    size_t kept_bytes() const;

    // AGG's scanline interface, for agg::render_scanlines and its span
    // generators (one thread).
    int min_x() const { return min_x_; }
    int max_x() const { return max_x_; }
    bool rewind_scanlines() {
        if (!sort())
            return false;
        scan_y_ = min_y_;
        return true;
    }
    template <class Scanline>
    bool sweep_scanline(Scanline& sl) {
        for (; scan_y_ <= max_y_; ++scan_y_) {
            if (sweep_row(scan_y_, sl, scratch_)) {
                ++scan_y_;
                return true;
            }
        }
        return false;
    }

private:
    // Sorts the cells of the lanes in use (each lane once) and takes
    // their bounds.
    // Returns: false when there are no cells.
    bool sort();

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

    // Sweeps row `y` (within min_y_..max_y_ of the sorted cells) into
    // `sl`, sorting the row first; the cells of several lanes are
    // gathered in `scratch`.
    // Returns: whether the row has spans (`sl` is finalized then).
    template <class Scanline>
    bool sweep_row(int y, Scanline& sl, std::vector<row_cell*>& scratch) const {
        sl.reset_spans();
        row_cell** cells;
        unsigned num_cells = 0;
        if (used_ == 1) {
            const agg::rasterizer_cells_aa<row_cell>& o = lanes_[0]->cells.outline;
            num_cells = o.scanline_num_cells(unsigned(y));
            // The row's pointers lie in the lane's own array; only this
            // row's sweep reorders them.
            cells = const_cast<row_cell**>(o.scanline_cells(unsigned(y)));
        } else {
            scratch.clear();
            for (unsigned i = 0; i < used_; ++i) {
                const agg::rasterizer_cells_aa<row_cell>& o = lanes_[i]->cells.outline;
                if (o.total_cells() == 0 || y < o.min_y() || y > o.max_y())
                    continue;
                // Only the pointers are copied; the cells are not changed.
                row_cell* const* row = const_cast<row_cell* const*>(o.scanline_cells(unsigned(y)));
                scratch.insert(scratch.end(), row, row + o.scanline_num_cells(unsigned(y)));
            }
            cells = scratch.data();
            num_cells = unsigned(scratch.size());
        }
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

    // Runs item(0..items-1) on the crew, or on the caller without one.
    void share(int items, const std::function<void(int)>& item);
    // Sweeps and blends rows first..last (inclusive).
    void render_rows(int first, int last, ozm_renderer_base& ren, const agg::rgba8& color) const;

    crew* crew_ = nullptr;  // borrowed for one image
    unsigned cell_block_limit_;
    std::vector<std::unique_ptr<lane>> lanes_;  // at least one
    unsigned used_ = 1;                         // lanes holding this rasterisation's cells
    double clip_[4] = {0, 0, 0, 0};
    agg::filling_rule_e filling_rule_ = agg::fill_non_zero;
    int min_x_ = 0, max_x_ = 0, min_y_ = 0, max_y_ = 0;  // of the sorted cells
    int scan_y_ = 0;
    std::vector<row_cell*> scratch_;  // a row gathered from several lanes (one thread)
};

}  // namespace ozm
}  // namespace kiv

#endif
