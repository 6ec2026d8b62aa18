// ozm_text_renderer.cpp --
//
//     Measuring, placing and drawing map labels. Glyph outlines come from
//     the image's glyph cache; a placed glyph is a copy of the cached
//     outline turned and moved with FT_Glyph_Transform and rasterised,
//     kept by turn and sub-pixel offset so that a glyph placed again is
//     only shifted; its coverage serves both the halo and the text pass. The
//     halo is drawn pixel by pixel of the image, each taking the blends
//     of the glyph pixels near it in order until it can change no more.

#include <kiv/core/utf8.h>
#include <kiv/image/font_face.h>

#include "render/draw_tools.h"
#include "text/glyph_cache.h"
#include "text/ozm_text_renderer.h"

#include <agg_conv_stroke.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace kiv {

namespace {

constexpr double pi = 3.14159265358979323846;

// The rendered glyphs kept from label to label and image to image take
// at most this much memory, pixels and records together.
constexpr size_t max_raster_bytes = size_t(16) << 20;

agg::rgba8 opaque_if_zero(uint32_t c) {
    return ozm::style_rgba(c);
}

// Blends `c` with coverage `cover` into the RGBA pixel `p`.
inline void blend_pixel(uint8_t* p, const agg::rgba8& c, unsigned cover) {
    if (cover == 0 || c.a == 0)
        return;
    if (cover == 255 && c.a == 255) {
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
        p[3] = 255;
        return;
    }
    const int a = int((cover + 1) * c.a / 256);
    p[0] = uint8_t(p[0] + (int(c.r) - int(p[0])) * a / 256);
    p[1] = uint8_t(p[1] + (int(c.g) - int(p[1])) * a / 256);
    p[2] = uint8_t(p[2] + (int(c.b) - int(p[2])) * a / 256);
    p[3] = uint8_t(p[3] + a - (p[3] * a + 255) / 256);
}

// A glyph rasterised at its place: coverage rows and the image position
// of its top-left pixel.
struct glyph_bitmap {
    const FT_Bitmap* bm = nullptr;  // kept by the glyph cache
    int left = 0, top = 0;          // image column and row of bitmap pixel (0, 0)
    size_t spans = 0;               // where its rows' spans start in the halo's span list
    const FT_Bitmap* bitmap() const { return bm; }
};

// Whether blending colour `c` into a pixel of bytes (v0, v1, v2, v3) can
// still change it: a blend moves each byte by (c - v) * a / 256 with
// a <= 255, rounded toward zero, which is nothing once every colour byte
// lies within one of c's, and a whole alpha stays whole. Only a blend at
// full coverage of an opaque colour, which sets the pixel outright, could
// move it on.
inline bool settled(int v0, int v1, int v2, int v3, const agg::rgba8& c) {
    return v3 == 255 && unsigned(v0 - int(c.r) + 1) <= 2 && unsigned(v1 - int(c.g) + 1) <= 2 &&
           unsigned(v2 - int(c.b) + 1) <= 2;
}

inline bool settled(const uint8_t* p, const agg::rgba8& c) {
    return settled(p[0], p[1], p[2], p[3], c);
}

// Blends into the pixel `p`, at image column `x` and row `y`, the halo
// of every glyph pixel within `r` of it: glyph after glyph of `sources`
// (the indices of those that reach the pixel, in the glyphs' order),
// each row by row, with the glyph pixel's coverage. `spans` holds for
// every glyph row the first and last column with coverage (first > last:
// none). Stops once the pixel has settled. `Blend` takes the pixel
// through one blend of a coverage and says whether it has settled; the
// pixel is held in it meanwhile, since the glyph rows are bytes too and
// the compiler would otherwise store and reload it around every read.
template <class Blend>
void halo_sources(int x, int y, const std::vector<glyph_bitmap>& bitmaps, const int* sources, size_t count,
                  const std::vector<int>& spans, int r, Blend& blend) {
    for (size_t i = 0; i < count; ++i) {
        const glyph_bitmap& b = bitmaps[size_t(sources[i])];
        const FT_Bitmap* bm = b.bitmap();
        const int row0 = std::max(0, y - r - b.top), row1 = std::min(int(bm->rows) - 1, y + r - b.top);
        const int col0 = std::max(0, x - r - b.left), col1 = std::min(int(bm->width) - 1, x + r - b.left);
        for (int row = row0; row <= row1; ++row) {
            const uint8_t* src = bm->buffer + ptrdiff_t(row) * bm->pitch;
            const int* span = &spans[b.spans + 2 * size_t(row)];
            const int end = std::min(col1, span[1]);
            for (int col = std::max(col0, span[0]); col <= end; ++col) {
                const unsigned cover = src[col];
                if (cover != 0 && blend(cover))
                    return;
            }
        }
    }
}

// A pixel of any alpha under a colour of any alpha, blended as
// blend_pixel does.
struct any_blend {
    int v0, v1, v2, v3;
    int cr, cg, cb, ca;
    bool operator()(unsigned cover) {
        if (cover == 255 && ca == 255) {
            v0 = cr;
            v1 = cg;
            v2 = cb;
            v3 = 255;
        } else {
            const int a = int((cover + 1) * unsigned(ca) / 256);
            v0 = uint8_t(v0 + (cr - v0) * a / 256);
            v1 = uint8_t(v1 + (cg - v1) * a / 256);
            v2 = uint8_t(v2 + (cb - v2) * a / 256);
            v3 = uint8_t(v3 + a - (v3 * a + 255) / 256);
        }
        return v3 == 255 && unsigned(v0 - cr + 1) <= 2 && unsigned(v1 - cg + 1) <= 2 && unsigned(v2 - cb + 1) <= 2;
    }
};

// An opaque pixel under an opaque colour, three bytes at once. A blend
// moves a byte v toward c by |c - v| * a / 256 rounded toward zero and
// never past c, so the byte's distance d = |c - v| becomes d - d * a /
// 256 rounded down, on whichever side of c it lies; the alpha stays
// whole (255 + a - (255 a + 255) / 256 is 255 for every a <= 255). The
// three distances are 16-bit lanes of one word: d * a stays below 2^16,
// so one multiply serves all three.
struct opaque_blend {
    uint64_t d;  // the distances of r, g, b in bits 0, 16 and 32
    bool operator()(unsigned cover) {
        if (cover == 255) {
            d = 0;
            return true;
        }
        const uint64_t a = (cover + 1) * 255u / 256;
        d -= ((d * a) >> 8) & 0x000000FF00FF00FFull;
        return (d & 0x0000FFFEFFFEFFFEull) == 0;
    }
};

// Blends the halo into the pixel `p` (see halo_sources), unless it has
// settled already; the caller has made sure no full-coverage opaque
// blend is among them.
void halo_target(uint8_t* p, int x, int y, const std::vector<glyph_bitmap>& bitmaps, const int* sources,
                 size_t count, const std::vector<int>& spans, int r, const agg::rgba8& color) {
    if (color.a == 0 || settled(p, color))
        return;
    if (color.a == 255 && p[3] == 255) {
        const int c[3] = {color.r, color.g, color.b};
        opaque_blend blend{0};
        for (int k = 0; k < 3; ++k)
            blend.d |= uint64_t(std::abs(c[k] - int(p[k]))) << (16 * k);
        halo_sources(x, y, bitmaps, sources, count, spans, r, blend);
        for (int k = 0; k < 3; ++k) {
            const int d = int((blend.d >> (16 * k)) & 0xFF);
            p[k] = uint8_t(p[k] <= c[k] ? c[k] - d : c[k] + d);
        }
        return;
    }
    any_blend blend{p[0], p[1], p[2], p[3], color.r, color.g, color.b, color.a};
    halo_sources(x, y, bitmaps, sources, count, spans, r, blend);
    p[0] = uint8_t(blend.v0);
    p[1] = uint8_t(blend.v1);
    p[2] = uint8_t(blend.v2);
    p[3] = uint8_t(blend.v3);
}

// Marks the targets of [tx0, tx0 + tw) x [ty0, ty0 + th) (tw x th, row
// by row) that lie within `r` of a glyph pixel: in `near` those of some
// coverage, in `full` (when `want_full`) those of full coverage. The
// sources are marked on the target grid grown by r (bit 0: covered, bit
// 1: fully), then dilated along rows and along columns, both kinds in
// one pass. `grid` and `rows` are scratch.
void dilate_sources(const std::vector<glyph_bitmap>& bitmaps, int r, bool want_full, int tx0, int ty0, int tw,
                    int th, std::vector<uint8_t>& grid, std::vector<uint8_t>& rows, std::vector<uint8_t>& near,
                    std::vector<uint8_t>& full) {
    const int sx0 = tx0 - r, sy0 = ty0 - r, sw = tw + 2 * r, sh = th + 2 * r;
    grid.assign(size_t(sw) * sh, 0);
    for (const glyph_bitmap& b : bitmaps) {
        const FT_Bitmap* bm = b.bitmap();
        const int c0 = std::max(0, -(b.left - sx0)), c1 = std::min(int(bm->width), sw - (b.left - sx0));
        for (unsigned row = 0; row < bm->rows; ++row) {
            const int y = b.top + int(row) - sy0;
            if (y < 0 || y >= sh)
                continue;
            const uint8_t* src = bm->buffer + ptrdiff_t(row) * bm->pitch;
            uint8_t* g = &grid[size_t(y) * sw];
            const int shift = b.left - sx0;  // grid column of glyph column 0
            for (int col = c0; col < c1; ++col)
                g[col + shift] |= uint8_t((src[col] != 0) | (src[col] == 255) << 1);
        }
    }
    rows.assign(size_t(tw) * sh, 0);
    for (int y = 0; y < sh; ++y) {
        const uint8_t* f = &grid[size_t(y) * sw];
        int any = 0, whole = 0;  // sources in [x, x + 2r] of this row
        for (int x = 0; x < 2 * r; ++x) {
            any += f[x] & 1;
            whole += f[x] >> 1;
        }
        for (int x = 0; x < tw; ++x) {
            any += f[x + 2 * r] & 1;
            whole += f[x + 2 * r] >> 1;
            rows[size_t(y) * tw + x] = uint8_t((any > 0) | (whole > 0) << 1);
            any -= f[x] & 1;
            whole -= f[x] >> 1;
        }
    }
    near.assign(size_t(tw) * th, 0);
    if (want_full)
        full.assign(size_t(tw) * th, 0);
    for (int x = 0; x < tw; ++x) {
        int any = 0, whole = 0;
        for (int y = 0; y < 2 * r; ++y) {
            any += rows[size_t(y) * tw + x] & 1;
            whole += rows[size_t(y) * tw + x] >> 1;
        }
        for (int y = 0; y < th; ++y) {
            const uint8_t in = rows[size_t(y + 2 * r) * tw + x], out = rows[size_t(y) * tw + x];
            any += in & 1;
            whole += in >> 1;
            near[size_t(y) * tw + x] = any > 0;
            if (want_full)
                full[size_t(y) * tw + x] = whole > 0;
            any -= out & 1;
            whole -= out >> 1;
        }
    }
}

// Draws the halo of `bitmaps`, `r` pixels wide in `color`, into the
// targets [tx0, tx1) x [ty0, ty1) of the image. Every target ends as if
// each glyph pixel, in order, had blended its coverage into the square
// of side 2r + 1 around it; but the blends are taken target by target,
// and a target that has settled (most of them: a halo is usually drawn
// in a colour close to what lies under it) takes no more, nor does one
// with no covered glyph pixel near it. With an opaque colour a target
// within r of a fully covered glyph pixel ends in the colour whatever
// the order, so those targets are set from a dilated mask, and the
// others see no blend that could unsettle them. `grid`, `rows`, `done`,
// `near`, `spans`, `sources`, `first`, `fill`, `active` and `listed` are
// scratch; `done` is left empty for a colour that is not opaque.
void draw_halo(ozm_pixfmt& pixf, std::vector<glyph_bitmap>& bitmaps, int r, const agg::rgba8& color, int tx0,
               int ty0, int tx1, int ty1, std::vector<uint8_t>& grid, std::vector<uint8_t>& rows,
               std::vector<uint8_t>& done, std::vector<uint8_t>& near, std::vector<int>& spans,
               std::vector<int>& sources, std::vector<unsigned>& first, std::vector<unsigned>& fill, std::vector<int>& active,
               std::vector<int>& listed) {
    const int tw = tx1 - tx0, th = ty1 - ty0;
    spans.clear();
    for (glyph_bitmap& b : bitmaps) {
        const FT_Bitmap* bm = b.bitmap();
        b.spans = spans.size();
        for (unsigned row = 0; row < bm->rows; ++row) {
            const uint8_t* src = bm->buffer + ptrdiff_t(row) * bm->pitch;
            int lo = 0, hi = int(bm->width) - 1;
            while (lo <= hi && src[lo] == 0)
                ++lo;
            while (hi >= lo && src[hi] == 0)
                --hi;
            spans.push_back(lo);
            spans.push_back(hi);
        }
    }
    // done[t]: the target ends in the halo colour (opaque colour only);
    // near[t]: some covered glyph pixel lies within r of the target.
    done.clear();
    dilate_sources(bitmaps, r, color.a == 255, tx0, ty0, tw, th, grid, rows, near, done);
    // The lists of glyphs per target start anew with each run.
    first.clear();
    for (int y = ty0; y < ty1; ++y) {
        uint8_t* p = pixf.row_ptr(y) + 4 * tx0;
        const uint8_t* d = done.empty() ? nullptr : &done[size_t(y - ty0) * tw];
        const uint8_t* n = &near[size_t(y - ty0) * tw];
        if (std::find(n, n + tw, 1) == n + tw) {
            for (int x = 0; x < tw; ++x) {
                if (d != nullptr && d[x])
                    blend_pixel(p + 4 * x, color, 255);
            }
            continue;
        }
        // The glyphs that reach each target of this row, in order: those
        // of target x at first[x] .. first[x + 1] of `sources`. They are
        // the ones whose rows reach this row, placed by their columns
        // alone, so the lists of the row before serve while those glyphs
        // stay the same.
        active.clear();
        for (size_t i = 0; i < bitmaps.size(); ++i) {
            const glyph_bitmap& b = bitmaps[i];
            const FT_Bitmap* bm = b.bitmap();
            if (bm->width != 0 && y >= b.top - r && y <= b.top + int(bm->rows) - 1 + r)
                active.push_back(int(i));
        }
        if (first.empty() || active != listed) {
            listed = active;
            first.assign(size_t(tw) + 1, 0);
            for (size_t pass = 0; pass < 2; ++pass) {
                for (int i : active) {
                    const glyph_bitmap& b = bitmaps[size_t(i)];
                    const int x0 = std::max(tx0, b.left - r) - tx0;
                    const int x1 = std::min(tx1 - 1, b.left + int(b.bitmap()->width) - 1 + r) - tx0;
                    for (int x = x0; x <= x1; ++x) {
                        if (pass == 0)
                            ++first[size_t(x) + 1];
                        else
                            sources[fill[size_t(x)]++] = i;
                    }
                }
                if (pass == 0) {
                    for (int x = 0; x < tw; ++x)
                        first[size_t(x) + 1] += first[size_t(x)];
                    sources.resize(first[size_t(tw)]);
                    fill.assign(first.begin(), first.end() - 1);
                }
            }
        }
        for (int x = tx0; x < tx1; ++x, p += 4) {
            const size_t t = size_t(x - tx0);
            if (d != nullptr && d[t])
                blend_pixel(p, color, 255);
            else if (n[t])
                halo_target(p, x, y, bitmaps, sources.data() + first[t], first[t + 1] - first[t], spans, r, color);
        }
    }
}

// The copies' start offsets: n copies `step` apart, symmetric around
// `centre`; copy k (0-based, in increasing order).
struct copy_offsets {
    uint64_t n = 1;
    double step = 0, centre = 0;
    double at(uint64_t k) const {
        if (n == 1)
            return centre;
        if (n % 2 == 1) {
            uint64_t mid = (n - 1) / 2;
            return k < mid ? centre - double(mid - k) * step : centre + double(k - mid) * step;
        }
        uint64_t half = n / 2;
        return k < half ? centre - step / 2 - double(half - 1 - k) * step : centre + step / 2 + double(k - half) * step;
    }
};

copy_offsets make_offsets(double length, double width, int spacing, double centre) {
    copy_offsets o;
    if (spacing > 0 && width + spacing > 0) {
        double n = std::floor(length / (width + spacing));
        // A count beyond 2^52 would not tell copies apart any more.
        o.n = n < 1 ? 1 : n > 4.5e15 ? uint64_t(4.5e15) : uint64_t(n);
    }
    o.step = length / double(o.n);
    o.centre = centre;
    return o;
}

// The part of segment a-b within `reach` of (cx, cy), as the interval
// [t0, t1] of 0..1 along it. Returns: false when no point is that near.
bool near_part(const pixel_point& a, const pixel_point& b, double cx, double cy, double reach, double& t0,
               double& t1) {
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double ox = a.x - cx, oy = a.y - cy;
    const double qa = dx * dx + dy * dy, qb = dx * ox + dy * oy, qc = ox * ox + oy * oy - reach * reach;
    if (!(qa > 0)) {
        t0 = 0;
        t1 = 1;
        return qc <= 0;
    }
    const double disc = qb * qb - qa * qc;
    if (!(disc >= 0))
        return false;
    const double root = std::sqrt(disc);
    t0 = std::max(0.0, (-qb - root) / qa);
    t1 = std::min(1.0, (-qb + root) / qa);
    return t0 <= t1;
}

// Returns: the first copy index k >= from whose offset is at least
//     (`strict`: above) `v`; o.n when there is none.
uint64_t first_copy(const copy_offsets& o, uint64_t from, double v, bool strict) {
    auto past = [&](uint64_t k) { return strict ? o.at(k) > v : o.at(k) >= v; };
    uint64_t k = from;
    if (o.step > 0) {
        double guess = std::floor((v - o.at(0)) / o.step) - 1;
        if (guess > double(k))
            k = guess >= double(o.n) ? o.n : uint64_t(guess);
    }
    while (k > from && past(k - 1))
        --k;
    while (k < o.n && !past(k))
        ++k;
    return k;
}

// Calls try_copy(k, offset) for the copies in increasing order whose
// start lies within `reach` of (cx, cy); the others could not be placed
// and are passed over without being tried one by one, so a line
// millions of pixels long costs only the copies near the image.
template <class TryCopy>
void for_each_copy(const copy_offsets& o, const std::vector<pixel_point>& path, const std::vector<double>& lengths,
                   double cx, double cy, double reach, TryCopy try_copy) {
    const size_t segments = path.size() - 1;
    uint64_t k = 0;
    for (size_t seg = 0; seg < segments && k < o.n; ++seg) {
        const double begin = lengths[seg], end = lengths[seg + 1], len = end - begin;
        double t0, t1;
        // One pixel of slack: the copy's own test decides exactly.
        if (near_part(path[seg], path[seg + 1], cx, cy, reach + 1, t0, t1)) {
            const double lo = begin + t0 * len, hi = begin + t1 * len;
            k = first_copy(o, k, lo, false);
            for (; k < o.n; ++k) {
                const double at = o.at(k);
                if (at > hi || at > end)
                    break;
                try_copy(k, at);
            }
        }
        k = first_copy(o, k, end, true);
    }
}

}  // namespace

ozm_text_renderer::ozm_text_renderer(font_face* face, const std::string& face_name, unsigned pixels, uint32_t color,
                                     int halo, uint32_t halo_color)
    : face_(face), face_name_(face_name), pixels_(pixels), color_(opaque_if_zero(color)),
      halo_(halo >= 1 && halo <= 255 ? halo : 0), halo_color_(opaque_if_zero(halo_color)) {}

bool ozm_text_renderer::measure(render_context& ctx, const char* text, double& width, double& height,
                                unsigned& count) {
    items_.clear();
    width_ = height_ = 0;
    if (text == nullptr || *text == 0 || face_ == nullptr)
        return false;
    ozm::glyph_cache& cache = ctx.tools().glyphs;
    const unsigned key = cache.face_key(face_name_, pixels_);
    FT_Face face = face_->get_face();
    unsigned chars = 0;
    for (const char* p = text; *p != 0;) {
        uint32_t code = 0;
        const char* next = nullptr;
        if (!kiv_get_unicode_char(p, &code, &next) || next == nullptr || next <= p) {
            items_.clear();
            return false;
        }
        p = next;
        if (++chars > max_glyphs) {
            items_.clear();
            return false;
        }
        const ozm::cached_glyph* g = cache.get(face, key, code);
        if (g == nullptr)
            continue;
        items_.push_back(glyph_item{g, g->advance, g->height});
        width_ += g->advance;
        height_ = std::max(height_, g->height);
    }
    width = width_;
    height = height_;
    count = unsigned(items_.size());
    return true;
}

void ozm_text_renderer::draw_run(render_context& ctx, double ox, double oy, const std::vector<placed_glyph>& glyphs) {
    const int w = int(ctx.width), h = int(ctx.height);
    ozm::glyph_cache& cache = ctx.tools().glyphs;
    cache.trim_rasters(max_raster_bytes);
    std::vector<glyph_bitmap> bitmaps;
    bitmaps.reserve(glyphs.size());
    // Glyphs farther than this from the image are left out: they could not
    // touch it, and FreeType's coordinates stay small.
    const double far = 1e6;
    for (const placed_glyph& pg : glyphs) {
        double gx = ox + pg.x, gy = (h - oy) + pg.y;
        if (!(std::fabs(gx) < far && std::fabs(gy) < far))
            continue;
        // A glyph whose pixels and halo cannot reach the image adds
        // nothing to it: most glyphs of a long name lie outside a small
        // image, and rasterising them is most of the label's cost.
        const double reach = pg.glyph->reach + halo_ + 2;
        if (gx + reach < 0 || gx - reach > w || gy + reach < 0 || gy - reach > h)
            continue;
        FT_Matrix mat;
        mat.xx = FT_Fixed(std::lround(std::cos(pg.angle) * 65536));
        mat.xy = FT_Fixed(std::lround(-std::sin(pg.angle) * 65536));
        mat.yx = FT_Fixed(std::lround(std::sin(pg.angle) * 65536));
        mat.yy = FT_Fixed(std::lround(std::cos(pg.angle) * 65536));
        // The glyph moved by the sub-pixel part of its place, then shifted
        // by the whole pixels: the bitmap FreeType makes at the full place.
        const FT_Pos dx = FT_Pos(std::lround(gx * 64)), dy = FT_Pos(std::lround(gy * 64));
        const FT_BitmapGlyph bg = cache.raster(pg.glyph, mat, dx & 63, dy & 63);
        if (bg == nullptr)
            continue;
        const FT_Pos left = bg->left + (dx >> 6), top = bg->top + (dy >> 6);
        // FreeType refuses a bitmap beyond 16-bit pixel coordinates.
        if (left < -0x8000 || left + FT_Pos(bg->bitmap.width) > 0x7FFF || top - FT_Pos(bg->bitmap.rows) < -0x8000 ||
            top > 0x7FFF)
            continue;
        glyph_bitmap b;
        b.bm = &bg->bitmap;
        b.left = int(left);
        b.top = h - int(top);
        bitmaps.push_back(b);
    }
    ozm_pixfmt& pixf = ctx.renderer_base->ren();
    auto pixel = [&](int x, int y) { return pixf.row_ptr(y) + 4 * x; };

    if (halo_ > 0 && !bitmaps.empty()) {
        const int r = halo_;
        // Targets: the glyphs' union grown by the halo, inside the image.
        int gx0 = std::numeric_limits<int>::max(), gy0 = gx0, gx1 = std::numeric_limits<int>::min(), gy1 = gx1;
        for (const glyph_bitmap& b : bitmaps) {
            gx0 = std::min(gx0, b.left);
            gy0 = std::min(gy0, b.top);
            gx1 = std::max(gx1, b.left + int(b.bitmap()->width));
            gy1 = std::max(gy1, b.top + int(b.bitmap()->rows));
        }
        const int tx0 = std::max(0, gx0 - r), ty0 = std::max(0, gy0 - r);
        const int tx1 = std::min(w, gx1 + r), ty1 = std::min(h, gy1 + r);
        if (tx0 < tx1 && ty0 < ty1)
            draw_halo(pixf, bitmaps, r, halo_color_, tx0, ty0, tx1, ty1, full_, rows_, done_, near_, spans_,
                      sources_, first_, fill_, active_, listed_);
    }
    for (const glyph_bitmap& b : bitmaps) {
        const FT_Bitmap* bm = b.bitmap();
        for (unsigned row = 0; row < bm->rows; ++row) {
            const int y = b.top + int(row);
            if (y < 0 || y >= h)
                continue;
            const uint8_t* src = bm->buffer + ptrdiff_t(row) * bm->pitch;
            for (unsigned col = 0; col < bm->width; ++col) {
                const int x = b.left + int(col);
                if (x >= 0 && x < w)
                    blend_pixel(pixel(x, y), color_, src[col]);
            }
        }
    }
}

bool ozm_text_renderer::draw_at_point(render_context& ctx, placement_tree& placement, double x, double y,
                                      const char* text, int offset) {
    double width, height;
    unsigned count;
    if (!measure(ctx, text, width, height, count))
        return false;
    const double x0 = x - width / 2, x1 = x + width / 2;
    const double y0 = y - height / 2 + 1 + offset, y1 = y + height / 2 + 1 + offset;
    if (!placement.is_free(float(x0 - 1), float(y0 - 1), float(x1 + 1), float(y1 + 1)))
        return false;
    placement.add(float(x0 - 1), float(y0 - 1), float(x1 + 1), float(y1 + 1));
    if (x1 < -5 || y1 < -5 || y0 > ctx.height + 5.0 || x0 > ctx.width + 5.0)
        return true;
    std::vector<placed_glyph> glyphs;
    glyphs.reserve(items_.size());
    double pen = 0;
    for (const glyph_item& item : items_) {
        glyphs.push_back(placed_glyph{pen, 0, 0, item.glyph});
        pen += item.advance;
    }
    // The baseline sits where a line label's would: half the text height,
    // less one pixel, below the centre.
    draw_run(ctx, x0, y + height / 2 - 1 + offset, glyphs);
    return true;
}

bool ozm_text_renderer::place_along(render_context& ctx, placement_tree& placement,
                                    const std::vector<pixel_point>& path, const std::vector<double>& lengths,
                                    size_t& cursor, double start, std::vector<placed_glyph>& out,
                                    std::vector<box>& boxes, pixel_point& origin) {
    out.clear();
    boxes.clear();
    const size_t segments = path.size() - 1;
    while (cursor < segments && lengths[cursor + 1] < start)
        ++cursor;
    if (cursor >= segments || start < 0)
        return false;
    size_t j = cursor;
    double seg_len = lengths[j + 1] - lengths[j];
    if (seg_len <= 0)
        return false;
    const pixel_point& a0 = path[j];
    const pixel_point& a1 = path[j + 1];
    const double t = (start - lengths[j]) / seg_len;
    const pixel_point s{a0.x + (a1.x - a0.x) * t, a0.y + (a1.y - a0.y) * t};
    double a = std::atan2(-(a1.y - a0.y), a1.x - a0.x);
    const bool reversed = std::fabs(a) > pi / 2;
    // Copies that start too far from the image to reach it are dropped.
    // The distance is taken from the image's centre: measured from the
    // corner (m, m) it would also drop copies at the far corner of a
    // large image, inside the view.
    const double m = std::max(ctx.width, ctx.height);
    if (std::hypot(s.x - ctx.width / 2.0, s.y - ctx.height / 2.0) - width_ > m + 200)
        return false;
    pixel_point p = a1;
    double rem = std::hypot(p.x - s.x, p.y - s.y);
    const double half = height_ / 2 - 1;
    const size_t n = items_.size();
    for (size_t i = 0; i < n; ++i) {
        const glyph_item& item = items_[reversed ? n - 1 - i : i];
        const double gw = item.advance, gh = item.height;
        const double before = a;
        bool moved = false;
        while (rem < gw) {
            if (++j >= segments)
                return false;
            const pixel_point& b0 = path[j];
            const pixel_point& b1 = path[j + 1];
            rem += lengths[j + 1] - lengths[j];
            a = std::atan2(-(b1.y - b0.y), b1.x - b0.x);
            p = b1;
            moved = true;
        }
        if (moved) {
            double turn = std::remainder(a - before, 2 * pi);
            if (std::fabs(turn) > 2 * pi / 3)
                return false;
        }
        const double c = std::cos(a), sn = std::sin(a);
        const double x = p.x - c * rem + sn * half;
        const double y = p.y + sn * rem + c * half;
        const double xs[4] = {x, x + c * gw, x - sn * gh, x + c * gw - sn * gh};
        const double ys[4] = {y, y - sn * gw, y - c * gh, y - sn * gw - c * gh};
        box bx{*std::min_element(xs, xs + 4), *std::min_element(ys, ys + 4), *std::max_element(xs, xs + 4),
               *std::max_element(ys, ys + 4)};
        if (!placement.is_free(float(bx.x0), float(bx.y0), float(bx.x1), float(bx.y1)))
            return false;
        boxes.push_back(bx);
        double px = x, py = y, angle = a;
        if (reversed) {
            px = x + c * gw - sn * (height_ - 2);
            py = y - sn * gw - c * (height_ - 2);
            angle = a + pi;
        }
        out.push_back(placed_glyph{px - s.x, s.y - py, angle, item.glyph});
        rem -= gw;
    }
    origin = s;
    return true;
}

namespace {

std::vector<double> cumulative_lengths(const std::vector<pixel_point>& path) {
    std::vector<double> lengths(path.size(), 0);
    for (size_t i = 1; i < path.size(); ++i)
        lengths[i] = lengths[i - 1] + std::hypot(path[i].x - path[i - 1].x, path[i].y - path[i - 1].y);
    return lengths;
}

}  // namespace

bool ozm_text_renderer::draw_along(render_context& ctx, placement_tree& placement,
                                   const std::vector<pixel_point>& path, const char* text, int spacing) {
    double width, height;
    unsigned count;
    if (path.size() < 2 || !measure(ctx, text, width, height, count))
        return false;
    const std::vector<double> lengths = cumulative_lengths(path);
    const double length = lengths.back();
    if (!(length >= width))
        return true;
    const copy_offsets offsets = make_offsets(length, width, spacing, length / 2 - width / 2);
    const double m = std::max(ctx.width, ctx.height);
    size_t cursor = 0;
    std::vector<placed_glyph> glyphs;
    std::vector<box> boxes;
    for_each_copy(offsets, path, lengths, ctx.width / 2.0, ctx.height / 2.0, m + 200 + width, [&](uint64_t, double start) {
        pixel_point origin{0, 0};
        if (!place_along(ctx, placement, path, lengths, cursor, start, glyphs, boxes, origin))
            return;
        box all = boxes.empty() ? box{origin.x, origin.y, origin.x, origin.y} : boxes[0];
        for (const box& b : boxes) {
            all.x0 = std::min(all.x0, b.x0);
            all.y0 = std::min(all.y0, b.y0);
            all.x1 = std::max(all.x1, b.x1);
            all.y1 = std::max(all.y1, b.y1);
        }
        if (!(all.x1 < -5 || all.y1 < -5 || all.y0 > ctx.height + 5.0 || all.x0 > ctx.width + 5.0))
            draw_run(ctx, origin.x, origin.y, glyphs);
        for (const box& b : boxes)
            placement.add(float(b.x0 - 1), float(b.y0 - 1), float(b.x1 + 1), float(b.y1 + 1));
    });
    return true;
}

bool ozm_text_renderer::draw_along_box(render_context& ctx, placement_tree& placement,
                                       const std::vector<pixel_point>& path, const char* text, int spacing,
                                       uint32_t box_color) {
    double width, height;
    unsigned count;
    if (path.size() < 2 || !measure(ctx, text, width, height, count))
        return false;
    const std::vector<double> lengths = cumulative_lengths(path);
    const double length = lengths.back();
    if (!(length >= width))
        return true;
    const int h = halo_;
    const int saved_halo = halo_;
    halo_ = 0;
    const copy_offsets offsets = make_offsets(length, width, spacing, length / 2);
    const double m = std::max(ctx.width, ctx.height);
    const agg::rgba8 fill = ozm::style_rgba(box_color);
    size_t cursor = 0;
    const size_t segments = path.size() - 1;
    std::vector<placed_glyph> glyphs;
    double pen = 0;
    // The rows the text's ink spans above the baseline: the box is
    // centred on cy + 1, and so is the ink, whatever part of the em box
    // the text uses (digits and capitals stand on the baseline).
    double ink_top = 0, ink_bottom = 0;
    for (const glyph_item& item : items_) {
        glyphs.push_back(placed_glyph{pen, 0, 0, item.glyph});
        pen += item.advance;
        ink_top = glyphs.size() == 1 ? item.glyph->top : std::max(ink_top, item.glyph->top);
        ink_bottom = glyphs.size() == 1 ? item.glyph->bottom : std::min(ink_bottom, item.glyph->bottom);
    }
    const double baseline = 1 + (ink_top + ink_bottom) / 2;
    // Boxes whose centre lies this far from the image can neither show nor
    // meet a label that shows.
    for_each_copy(offsets, path, lengths, ctx.width / 2.0, ctx.height / 2.0, m + 200 + width + 2 * h,
                  [&](uint64_t, double at) {
        while (cursor < segments && lengths[cursor + 1] < at)
            ++cursor;
        if (cursor >= segments)
            return;
        const double seg = lengths[cursor + 1] - lengths[cursor];
        const double tpos = seg > 0 ? (at - lengths[cursor]) / seg : 0;
        const pixel_point& a0 = path[cursor];
        const pixel_point& a1 = path[cursor + 1];
        const double cx = a0.x + (a1.x - a0.x) * tpos, cy = a0.y + (a1.y - a0.y) * tpos;
        const double x0 = cx - width / 2 - h, x1 = cx + width / 2 + h;
        const double y0 = cy - height / 2 + 1 - h, y1 = cy + height / 2 + 1 + h;
        if (!placement.is_free(float(x0 - 2), float(y0 - 2), float(x1 + 2), float(y1 + 2)))
            return;
        placement.add(float(x0 - 2), float(y0 - 2), float(x1 + 2), float(y1 + 2));
        if (x1 < -5 || y1 < -5 || y0 > ctx.height + 5.0 || x0 > ctx.width + 5.0)
            return;
        agg::path_storage rect;
        rect.move_to(x0, y0);
        rect.line_to(x1, y0);
        rect.line_to(x1, y1);
        rect.line_to(x0, y1);
        rect.close_polygon();
        ozm::fill_once(ctx, rect, fill);
        agg::conv_stroke<agg::path_storage> outline(rect);
        outline.width(1.0);
        ozm::fill_once(ctx, outline, halo_color_);
        draw_run(ctx, cx - width / 2, cy + baseline, glyphs);
    });
    halo_ = saved_halo;
    return true;
}

}  // namespace kiv
