// draw_tools.cpp --
//
//     The render context, the resolve step under the image's page locks,
//     and the geometry helpers the styles share: the feature walk, the
//     projection of point lists with the distance clip, and the cell
//     estimate that decides whether a path is rasterised in bands.

#include <kiv/gis/geodesic.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/image/font_manager.h>

#include "render/draw_tools.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace kiv {

render_cache::render_cache() = default;

render_cache::~render_cache() = default;

size_t render_cache::kept_bytes() const {
    return tools_ ? tools_->kept_bytes() : 0;
}

render_context::render_context(ozm_renderer_base& ren, uint8_t level_, uint8_t detail_class_, font_manager* fonts_,
                               render_cache* cache)
    : renderer_base(&ren), level(level_), detail_class(detail_class_), width(ren.width()), height(ren.height()),
      fonts(fonts_) {
    if (cache == nullptr || (cache->tools_ && cache->fonts_ != fonts_))
        return;
    cache_ = cache;
    if (cache->tools_)
        cache->tools_->start_image(render_cache::max_glyphs);
}

render_context::~render_context() = default;

ozm::draw_tools& render_context::tools() {
    if (cache_ != nullptr) {
        if (!cache_->tools_) {
            cache_->tools_.reset(new ozm::draw_tools);
            cache_->fonts_ = fonts;
        }
        return *cache_->tools_;
    }
    if (!tools_)
        tools_.reset(new ozm::draw_tools);
    return *tools_;
}

namespace ozm {

font_face* draw_tools::face(font_manager* fonts, const std::string& name) {
    auto found = faces_.find(name);
    if (found != faces_.end())
        return found->second.get();
    std::unique_ptr<font_face>& face = faces_[name];
    if (fonts != nullptr)
        face.reset(fonts->create_face(name.c_str()));
    return face.get();
}

void draw_tools::start_image(size_t max_glyphs) {
    for (auto it = faces_.begin(); it != faces_.end();)
        it = it->second ? std::next(it) : faces_.erase(it);
    if (glyphs.size() > max_glyphs)
        glyphs.clear();
}

size_t draw_tools::kept_bytes() const {
    return ras.kept_bytes() + dash_pieces.capacity() * sizeof(dash_piece) + dash_points.capacity() * sizeof(double);
}

}  // namespace ozm

bool resolve(ozm::feature_entry& entry, ozm::page_set& pages, ozm::feature_record& record) {
    if (entry.map == nullptr || !pages.lock(entry.map, entry.page))
        return false;
    if (entry.geometry == nullptr)
        entry.geometry = entry.map->page_data(entry.page, entry.offset);
    return entry.geometry != nullptr && entry.map->decode_record(entry.page, entry.offset, entry.flags, record);
}

namespace ozm {

feature_range walk_features(feature_table& features, uint8_t first, uint8_t last) {
    feature_range r{features.end(), features.end()};
    if (first > last)
        return r;
    r.begin = features.lower_bound(first);
    r.end = features.upper_bound(last);
    if (r.begin == features.end() || r.begin->first > last)
        r.begin = r.end;
    return r;
}

namespace {

bool project(i_gis_viewport* viewport, float lat, float lon, double& x, double& y) {
    view_point pt;
    if (!viewport->lc_to_dp(lat, lon, pt))
        return false;
    x = pt.x;
    y = pt.y;
    return true;
}

}  // namespace

uint32_t add_geometry(const feature_entry& entry, const feature_record& record, render_context& ctx,
                      i_gis_viewport* viewport, bool clip) {
    if ((entry.flags & feature_flag_point) != 0 || record.point_count < 2 || viewport == nullptr)
        return 0;
    float lat, lon;
    record.point(0, lat, lon);
    double x0, y0;
    if (!project(viewport, lat, lon, x0, y0))
        return record.point_count;
    agg::path_storage& path = ctx.path;
    if (!clip) {
        path.move_to(x0, y0);
        for (uint32_t i = 1; i < record.point_count; ++i) {
            double x, y;
            record.point(i, lat, lon);
            if (!project(viewport, lat, lon, x, y))
                break;
            path.line_to(x, y);
        }
        return record.point_count;
    }
    // Segments whose line passes far from the view centre stay out of the
    // path; the view is at most M from its centre.
    const double m = std::max(ctx.width, ctx.height);
    const double cx = ctx.width / 2, cy = ctx.height / 2;
    double px = x0, py = y0;
    bool drawing = false;
    for (uint32_t i = 1; i < record.point_count; ++i) {
        double x, y;
        record.point(i, lat, lon);
        if (!project(viewport, lat, lon, x, y))
            break;
        if (kiv_distance_to_line(x, y, px, py, cx, cy, false) <= 2 * m) {
            if (!drawing) {
                path.move_to(px, py);
                drawing = true;
            }
            path.line_to(x, y);
        } else {
            drawing = false;
        }
        px = x;
        py = y;
    }
    if ((entry.flags & feature_flag_closed) != 0) {
        record.point(0, lat, lon);
        double x, y;
        if (project(viewport, lat, lon, x, y) && kiv_distance_to_line(px, py, x, y, cx, cy, false) <= m) {
            if (!drawing)
                path.move_to(px, py);
            path.line_to(x, y);
        }
    }
    return record.point_count;
}

bool build_path(feature_table& features, uint8_t first, uint8_t last, page_set& pages, render_context& ctx,
                i_gis_viewport* viewport, bool clip) {
    feature_range r = walk_features(features, first, last);
    if (r.begin == r.end)
        return false;
    ctx.path.remove_all();
    for (auto it = r.begin; it != r.end; ++it) {
        feature_entry& entry = it->second;
        if ((entry.flags & feature_flag_point) != 0)
            continue;
        feature_record record;
        if (!resolve(entry, pages, record))
            continue;
        if (add_geometry(entry, record, ctx, viewport, clip) != 0 && !clip && (entry.flags & feature_flag_closed) != 0)
            ctx.path.close_polygon();
    }
    return true;
}

double estimate_cells(render_context& ctx, double stroke_width) {
    // A line crosses at most |dx| + |dy| + 1 cells inside the clip box;
    // clamping both ends to the box gives a segment at least that long.
    // A stroke has two sides and a join or cap of about 4 widths at each
    // vertex.
    const double x_max = ctx.width + 1.0, y_max = ctx.height + 1.0;
    const double per_vertex = stroke_width > 0 ? 4 * stroke_width + 8 : 2;
    const double sides = stroke_width > 0 ? 2 : 1;
    double cells = 0;
    double px = 0, py = 0, sx = 0, sy = 0;
    agg::path_storage& path = ctx.path;
    path.rewind(0);
    double x, y;
    unsigned cmd;
    auto add = [&](double ax, double ay, double bx, double by) {
        ax = std::min(std::max(ax, -1.0), x_max);
        bx = std::min(std::max(bx, -1.0), x_max);
        ay = std::min(std::max(ay, -1.0), y_max);
        by = std::min(std::max(by, -1.0), y_max);
        cells += sides * (std::fabs(bx - ax) + std::fabs(by - ay) + 2) + per_vertex;
    };
    while (!agg::is_stop(cmd = path.vertex(&x, &y))) {
        if (agg::is_move_to(cmd)) {
            sx = px = x;
            sy = py = y;
            cells += per_vertex;
        } else if (agg::is_vertex(cmd)) {
            add(px, py, x, y);
            px = x;
            py = y;
        } else if (agg::is_end_poly(cmd)) {
            add(px, py, sx, sy);
        }
    }
    return cells * 1.25;
}

void band_subpaths(render_context& ctx, double grow, bool bulge, double y0, double y1, agg::path_storage& out) {
    out.remove_all();
    agg::path_storage& path = ctx.path;
    const unsigned total = path.total_vertices();
    unsigned start = 0;
    while (start < total) {
        // One sub-path: from its move_to up to the next one.
        double x, y;
        double lo = std::numeric_limits<double>::max(), hi = -lo, left = lo, right = -lo;
        unsigned end = start;
        for (; end < total; ++end) {
            unsigned cmd = path.vertex(end, &x, &y);
            if (end > start && agg::is_move_to(cmd))
                break;
            if (agg::is_vertex(cmd)) {
                lo = std::min(lo, y);
                hi = std::max(hi, y);
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        double g = grow + (bulge && hi >= lo ? std::max(hi - lo, right - left) : 0);
        if (hi >= lo && hi + g >= y0 && lo - g <= y1) {
            for (unsigned i = start; i < end; ++i) {
                unsigned cmd = path.vertex(i, &x, &y);
                if (agg::is_move_to(cmd))
                    out.move_to(x, y);
                else if (agg::is_vertex(cmd))
                    out.line_to(x, y);
                else if (agg::is_end_poly(cmd))
                    out.end_poly(cmd & agg::path_flags_mask);
            }
        }
        start = end;
    }
}

}  // namespace ozm
}  // namespace kiv
