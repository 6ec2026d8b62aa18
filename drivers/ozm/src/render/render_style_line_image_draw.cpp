// render_style_line_image_draw.cpp --
//
//     Drawing of the line image style: each feature on its own, as thick
//     as the picture is high, the picture running along it. AGG's outline
//     rasteriser works in 24.8 fixed point without a clipper of its own,
//     so every segment is first cut in double precision to the image
//     grown by the picture's height; the length cut off a run's start
//     advances its pattern, so the pixels inside do not depend on how far
//     the line runs outside.

#include <kiv/gis/geodesic.h>
#include <kiv/gis/i_gis_viewport.h>

#include "render/draw_tools.h"
#include "render/image_styles.h"

#include <agg_clip_liang_barsky.h>
#include <agg_pattern_filters_rgba.h>
#include <agg_rasterizer_outline_aa.h>
#include <agg_renderer_outline_image.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace kiv {

namespace {

// The style's picture as AGG's pattern source.
class picture_source {
public:
    explicit picture_source(const style_picture& p) : p_(p) {}
    unsigned width() const { return p_.width(); }
    unsigned height() const { return p_.height(); }
    agg::rgba8 pixel(int x, int y) const {
        const uint8_t* px = p_.data() + (uint64_t(y) * p_.width() + unsigned(x)) * 4;
        return agg::rgba8(px[0], px[1], px[2], px[3]);
    }

private:
    const style_picture& p_;
};

typedef agg::line_image_pattern_pow2<agg::pattern_filter_bilinear_rgba8> pattern_t;
typedef agg::renderer_outline_image<ozm_renderer_base, pattern_t> outline_renderer;
typedef agg::rasterizer_outline_aa<outline_renderer> outline_rasterizer;

// One feature's runs and their pattern starts. A run is a stretch of
// segments that pass the distance test; it starts its pattern at sign ×
// (S truncated, modulo the picture width), S being the length walked
// before it, the sign + for a run closed by a break and - for the run
// that ends the feature. The cut to the image splits a run into pieces,
// each starting its pattern where the whole run would have it there.
class run_drawer {
public:
    run_drawer(render_context& ctx, outline_renderer& ren, outline_rasterizer& ras, double pattern_width)
        : ctx_(ctx), ren_(ren), ras_(ras), pattern_width_(pattern_width < 1 ? 1 : pattern_width) {}

    // Adds the part of prev-cur inside `box`; `walked` is the length of
    // the line before prev.
    void segment(double px, double py, double x, double y, double walked, const agg::rect_d& box) {
        double ax = px, ay = py, bx = x, by = y;
        unsigned flags = agg::clip_line_segment(&ax, &ay, &bx, &by, box);
        if (flags >= 4) {
            open_ = false;
            return;
        }
        if ((flags & 1) != 0)
            open_ = false;
        if (!open_) {
            piece p;
            p.offset = walked + ((flags & 1) != 0 ? std::hypot(ax - px, ay - py) : 0) - run_start_;
            p.xy = {ax, ay};
            pieces_.push_back(std::move(p));
            open_ = true;
        }
        pieces_.back().xy.push_back(bx);
        pieces_.back().xy.push_back(by);
        if ((flags & 2) != 0)
            open_ = false;
    }
    // A segment left out by the distance test: the run ends (drawn with
    // the + sign) and the next one starts at `next_start`.
    void skip(double next_start) {
        flush(1);
        run_start_ = next_start;
    }
    // The run that ends the feature.
    void finish() { flush(-1); }

private:
    struct piece {
        double offset;           // length from the run's start to the piece's first point
        std::vector<double> xy;  // points, x then y
    };

    void flush(int sign) {
        const long long w = (long long)(pattern_width_);
        const double base = double(sign * ((long long)(run_start_) % w));
        for (const piece& p : pieces_) {
            ctx_.path.remove_all();
            ctx_.path.move_to(p.xy[0], p.xy[1]);
            for (size_t i = 2; i + 1 < p.xy.size(); i += 2)
                ctx_.path.line_to(p.xy[i], p.xy[i + 1]);
            ren_.start_x(std::fmod(base + p.offset, double(w)));
            ras_.add_path(ctx_.path);
        }
        ctx_.path.remove_all();
        pieces_.clear();
        open_ = false;
    }

    render_context& ctx_;
    outline_renderer& ren_;
    outline_rasterizer& ras_;
    double pattern_width_;
    double run_start_ = 0;  // S
    bool open_ = false;     // the last piece takes further points
    std::vector<piece> pieces_;
};

}  // namespace

void render_style_line_image::render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                                     i_gis_viewport* viewport) const {
    if (picture_.data() == nullptr || viewport == nullptr)
        return;
    ozm::feature_range r = ozm::walk_features(features, first_code_, last_code_);
    if (r.begin == r.end)
        return;
    picture_source source(picture_);
    agg::pattern_filter_bilinear_rgba8 filter;
    pattern_t pattern(filter, source);
    outline_renderer ren(*ctx.renderer_base, pattern);
    ren.scale_x(1.0);
    outline_rasterizer ras(ren);
    const double m = std::max(ctx.width, ctx.height);
    const double cx = ctx.width / 2, cy = ctx.height / 2;
    const double grow = picture_.height() + 2.0;
    const agg::rect_d box(-grow, -grow, ctx.width + grow, ctx.height + grow);
    for (auto it = r.begin; it != r.end; ++it) {
        ozm::feature_entry& entry = it->second;
        if ((entry.flags & ozm::feature_flag_point) != 0)
            continue;
        if (flags_mask_ != 0 && (entry.flags & flags_mask_) == 0)
            continue;
        ozm::feature_record record;
        if (!resolve(entry, pages, record) || record.point_count < 2)
            continue;
        ctx.path.remove_all();
        float lat, lon;
        record.point(0, lat, lon);
        view_point pt;
        if (!viewport->lc_to_dp(lat, lon, pt))
            continue;
        double px = pt.x, py = pt.y, walked = 0;
        run_drawer runs(ctx, ren, ras, picture_.width());
        for (uint32_t i = 1; i < record.point_count; ++i) {
            record.point(i, lat, lon);
            if (!viewport->lc_to_dp(lat, lon, pt))
                break;
            const double x = pt.x, y = pt.y;
            const double seg = std::hypot(x - px, y - py);
            if (kiv_distance_to_line(x, y, px, py, cx, cy, false) <= m)
                runs.segment(px, py, x, y, walked, box);
            else
                runs.skip(walked + seg);
            walked += seg;
            px = x;
            py = y;
        }
        runs.finish();
        ctx.path.remove_all();
    }
}

}  // namespace kiv
