// glyph_halo.cpp --
//
//     The halo of a run of glyphs (see glyph_halo.h), drawn pixel by pixel
//     of the image: each target takes the blends of the glyph pixels near
//     it, glyph after glyph and row by row, until it can change no more.
//     Which targets have a glyph pixel near at all, and which one of full
//     coverage, comes from the glyph pixels dilated by the radius, along
//     rows and then columns. The blend arithmetic is a parameter: the map
//     truncates toward zero, the image's text blends as AGG does, and each
//     keeps its pixels.

#include <kiv/image/glyph_halo.h>

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace kiv {

namespace {

// Returns: the start of bitmap row j (top row 0), whichever way the
//     bitmap's rows flow in memory.
const uint8_t* bitmap_row(const FT_Bitmap& bm, unsigned j) {
    if (bm.pitch >= 0)
        return bm.buffer + ptrdiff_t(j) * bm.pitch;
    return bm.buffer + ptrdiff_t(bm.rows - 1 - j) * -ptrdiff_t(bm.pitch);
}

// Blends into the pixel at image column `x` and row `y` the halo of every
// glyph pixel within `r` of it: glyph after glyph of `sources` (the
// indices of those that reach the pixel, in the glyphs' order), each row
// by row, with the glyph pixel's coverage. `spans` holds for every glyph
// row the first and last covered column, glyph i's rows from
// span_start[i]. Stops once the pixel has settled. `Blend` takes the
// pixel through one blend of a coverage and says whether it has settled;
// the pixel is held in it meanwhile, since the glyph rows are bytes too
// and the compiler would otherwise store and reload it around every read.
template <class Blend>
void halo_sources(int x, int y, const std::vector<halo_glyph>& glyphs, const int* sources, size_t count,
                  const std::vector<int>& spans, const std::vector<size_t>& span_start, int r, Blend& blend) {
    for (size_t i = 0; i < count; ++i) {
        const halo_glyph& g = glyphs[size_t(sources[i])];
        const FT_Bitmap* bm = g.bitmap;
        const int row0 = std::max(0, y - r - g.top), row1 = std::min(int(bm->rows) - 1, y + r - g.top);
        const int col0 = std::max(0, x - r - g.left), col1 = std::min(int(bm->width) - 1, x + r - g.left);
        for (int row = row0; row <= row1; ++row) {
            const uint8_t* src = bitmap_row(*bm, unsigned(row));
            const int* span = &spans[span_start[size_t(sources[i])] + 2 * size_t(row)];
            const int end = std::min(col1, span[1]);
            for (int col = std::max(col0, span[0]); col <= end; ++col) {
                const unsigned cover = src[col];
                if (cover != 0 && blend(cover))
                    return;
            }
        }
    }
}

// Whether blending colour `c` by the rule toward_zero into a pixel of
// bytes (v0, v1, v2, v3) can still change it: a blend moves each byte by
// (c - v) * a / 256 with a <= 255, rounded toward zero, which is nothing
// once every colour byte lies within one of c's, and a whole alpha stays
// whole. Only a blend at full coverage of an opaque colour, which sets
// the pixel outright, could move it on.
inline bool settled_toward_zero(int v0, int v1, int v2, int v3, const agg::rgba8& c) {
    return v3 == 255 && unsigned(v0 - int(c.r) + 1) <= 2 && unsigned(v1 - int(c.g) + 1) <= 2 &&
           unsigned(v2 - int(c.b) + 1) <= 2;
}

// The same for the rule agg: its blends round to nearest, so only the
// colour itself is safe; a whole alpha stays whole (255 + a - 255 a / 255).
inline bool settled_agg(int v0, int v1, int v2, int v3, const agg::rgba8& c) {
    return v3 == 255 && v0 == c.r && v1 == c.g && v2 == c.b;
}

// A pixel of any alpha under a colour of any alpha, by the rule
// toward_zero (blend_toward_zero).
struct toward_zero_blend {
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

// An opaque pixel under an opaque colour by the rule toward_zero, three
// bytes at once. A blend moves a byte v toward c by |c - v| * a / 256
// rounded toward zero and never past c, so the byte's distance d = |c -
// v| becomes d - d * a / 256 rounded down, on whichever side of c it
// lies; the alpha stays whole (255 + a - (255 a + 255) / 256 is 255 for
// every a <= 255). The three distances are 16-bit lanes of one word:
// d * a stays below 2^16, so one multiply serves all three.
struct opaque_toward_zero_blend {
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

// A pixel under a colour as AGG's pixfmt_alpha_blend_rgba with
// blender_rgba blends it (copy_or_blend_pix).
struct agg_blend {
    int v0, v1, v2, v3;
    agg::rgba8 c;
    bool operator()(unsigned cover) {
        typedef agg::rgba8 t;
        if (c.a == 255 && cover == 255) {
            v0 = c.r;
            v1 = c.g;
            v2 = c.b;
            v3 = 255;
        } else {
            const t::value_type alpha = t::mult_cover(c.a, agg::cover_type(cover));
            v0 = t::lerp(t::value_type(v0), c.r, alpha);
            v1 = t::lerp(t::value_type(v1), c.g, alpha);
            v2 = t::lerp(t::value_type(v2), c.b, alpha);
            v3 = t::prelerp(t::value_type(v3), alpha, alpha);
        }
        return settled_agg(v0, v1, v2, v3, c);
    }
};

// Takes the pixel `p` through `blend` (see halo_sources): a blend whose
// struct holds the four bytes as v0 .. v3.
template <class Blend>
void blend_in_turn(uint8_t* p, Blend blend, int x, int y, const std::vector<halo_glyph>& glyphs, const int* sources,
                   size_t count, const std::vector<int>& spans, const std::vector<size_t>& span_start, int r) {
    halo_sources(x, y, glyphs, sources, count, spans, span_start, r, blend);
    p[0] = uint8_t(blend.v0);
    p[1] = uint8_t(blend.v1);
    p[2] = uint8_t(blend.v2);
    p[3] = uint8_t(blend.v3);
}

// Blends the halo into the pixel `p` (see halo_sources), unless it has
// settled already; the caller has made sure no full-coverage opaque blend
// is among them.
void halo_target(uint8_t* p, int x, int y, const std::vector<halo_glyph>& glyphs, const int* sources, size_t count,
                 const std::vector<int>& spans, const std::vector<size_t>& span_start, int r, const agg::rgba8& color,
                 blend_rule rule) {
    if (color.a == 0)
        return;
    if (rule == blend_rule::agg) {
        if (settled_agg(p[0], p[1], p[2], p[3], color))
            return;
        blend_in_turn(p, agg_blend{p[0], p[1], p[2], p[3], color}, x, y, glyphs, sources, count, spans, span_start, r);
        return;
    }
    if (settled_toward_zero(p[0], p[1], p[2], p[3], color))
        return;
    if (color.a == 255 && p[3] == 255) {
        const int c[3] = {color.r, color.g, color.b};
        opaque_toward_zero_blend blend{0};
        for (int k = 0; k < 3; ++k)
            blend.d |= uint64_t(std::abs(c[k] - int(p[k]))) << (16 * k);
        halo_sources(x, y, glyphs, sources, count, spans, span_start, r, blend);
        for (int k = 0; k < 3; ++k) {
            const int d = int((blend.d >> (16 * k)) & 0xFF);
            p[k] = uint8_t(p[k] <= c[k] ? c[k] - d : c[k] + d);
        }
        return;
    }
    blend_in_turn(p, toward_zero_blend{p[0], p[1], p[2], p[3], color.r, color.g, color.b, color.a}, x, y, glyphs,
                  sources, count, spans, span_start, r);
}

}  // namespace

void glyph_halo::dilate(const std::vector<halo_glyph>& glyphs, int r, bool want_full, int tx0, int ty0, int tw,
                        int th) {
    // The sources are marked on the target grid grown by r (bit 0:
    // covered, bit 1: fully), then dilated along rows and along columns,
    // both kinds in one pass.
    const int sx0 = tx0 - r, sy0 = ty0 - r, sw = tw + 2 * r, sh = th + 2 * r;
    grid_.assign(size_t(sw) * sh, 0);
    for (const halo_glyph& g : glyphs) {
        const FT_Bitmap* bm = g.bitmap;
        const int c0 = std::max(0, -(g.left - sx0)), c1 = std::min(int(bm->width), sw - (g.left - sx0));
        for (unsigned row = 0; row < bm->rows; ++row) {
            const int y = g.top + int(row) - sy0;
            if (y < 0 || y >= sh)
                continue;
            const uint8_t* src = bitmap_row(*bm, row);
            uint8_t* cell = &grid_[size_t(y) * sw];
            const int shift = g.left - sx0;  // grid column of glyph column 0
            for (int col = c0; col < c1; ++col)
                cell[col + shift] |= uint8_t((src[col] != 0) | (src[col] == 255) << 1);
        }
    }
    rows_.assign(size_t(tw) * sh, 0);
    for (int y = 0; y < sh; ++y) {
        const uint8_t* f = &grid_[size_t(y) * sw];
        int any = 0, whole = 0;  // sources in [x, x + 2r] of this row
        for (int x = 0; x < 2 * r; ++x) {
            any += f[x] & 1;
            whole += f[x] >> 1;
        }
        for (int x = 0; x < tw; ++x) {
            any += f[x + 2 * r] & 1;
            whole += f[x + 2 * r] >> 1;
            rows_[size_t(y) * tw + x] = uint8_t((any > 0) | (whole > 0) << 1);
            any -= f[x] & 1;
            whole -= f[x] >> 1;
        }
    }
    near_.assign(size_t(tw) * th, 0);
    if (want_full)
        done_.assign(size_t(tw) * th, 0);
    for (int x = 0; x < tw; ++x) {
        int any = 0, whole = 0;
        for (int y = 0; y < 2 * r; ++y) {
            any += rows_[size_t(y) * tw + x] & 1;
            whole += rows_[size_t(y) * tw + x] >> 1;
        }
        for (int y = 0; y < th; ++y) {
            const uint8_t in = rows_[size_t(y + 2 * r) * tw + x], out = rows_[size_t(y) * tw + x];
            any += in & 1;
            whole += in >> 1;
            near_[size_t(y) * tw + x] = any > 0;
            if (want_full)
                done_[size_t(y) * tw + x] = whole > 0;
            any -= out & 1;
            whole -= out >> 1;
        }
    }
}

void glyph_halo::draw(uint8_t* row0, ptrdiff_t stride, const std::vector<halo_glyph>& glyphs, int radius,
                      const agg::rgba8& color, blend_rule rule, int x0, int y0, int x1, int y1) {
    const int r = radius;
    if (r < 1 || r > 255 || glyphs.empty() || color.a == 0)
        return;
    // Targets: the glyphs' union grown by the halo, inside the part given.
    int gx0 = std::numeric_limits<int>::max(), gy0 = gx0, gx1 = std::numeric_limits<int>::min(), gy1 = gx1;
    for (const halo_glyph& g : glyphs) {
        gx0 = std::min(gx0, g.left);
        gy0 = std::min(gy0, g.top);
        gx1 = std::max(gx1, g.left + int(g.bitmap->width));
        gy1 = std::max(gy1, g.top + int(g.bitmap->rows));
    }
    const int tx0 = std::max(x0, gx0 - r), ty0 = std::max(y0, gy0 - r);
    const int tx1 = std::min(x1, gx1 + r), ty1 = std::min(y1, gy1 + r);
    if (!(tx0 < tx1 && ty0 < ty1))
        return;
    const int tw = tx1 - tx0;
    spans_.clear();
    span_start_.clear();
    for (const halo_glyph& g : glyphs) {
        const FT_Bitmap* bm = g.bitmap;
        span_start_.push_back(spans_.size());
        for (unsigned row = 0; row < bm->rows; ++row) {
            const uint8_t* src = bitmap_row(*bm, row);
            int lo = 0, hi = int(bm->width) - 1;
            while (lo <= hi && src[lo] == 0)
                ++lo;
            while (hi >= lo && src[hi] == 0)
                --hi;
            spans_.push_back(lo);
            spans_.push_back(hi);
        }
    }
    done_.clear();
    dilate(glyphs, r, color.a == 255, tx0, ty0, tw, ty1 - ty0);
    // A target of done_ ends in the colour: a full coverage of an opaque
    // colour sets the pixel under either rule, and nothing moves it on.
    // The lists of glyphs per target start anew with each run.
    first_.clear();
    for (int y = ty0; y < ty1; ++y) {
        uint8_t* p = row0 + ptrdiff_t(y) * stride + 4 * ptrdiff_t(tx0);
        const uint8_t* d = done_.empty() ? nullptr : &done_[size_t(y - ty0) * tw];
        const uint8_t* n = &near_[size_t(y - ty0) * tw];
        if (std::find(n, n + tw, 1) == n + tw) {
            for (int x = 0; x < tw; ++x) {
                if (d != nullptr && d[x])
                    blend_toward_zero(p + 4 * x, color, 255);
            }
            continue;
        }
        // The glyphs that reach each target of this row, in order: those
        // whose rows reach this row, placed by their columns alone, so the
        // lists of the row before serve while those glyphs stay the same.
        active_.clear();
        for (size_t i = 0; i < glyphs.size(); ++i) {
            const halo_glyph& g = glyphs[i];
            const FT_Bitmap* bm = g.bitmap;
            if (bm->width != 0 && y >= g.top - r && y <= g.top + int(bm->rows) - 1 + r)
                active_.push_back(int(i));
        }
        if (first_.empty() || active_ != listed_) {
            listed_ = active_;
            first_.assign(size_t(tw) + 1, 0);
            for (size_t pass = 0; pass < 2; ++pass) {
                for (int i : active_) {
                    const halo_glyph& g = glyphs[size_t(i)];
                    const int lo = std::max(tx0, g.left - r) - tx0;
                    const int hi = std::min(tx1 - 1, g.left + int(g.bitmap->width) - 1 + r) - tx0;
                    for (int x = lo; x <= hi; ++x) {
                        if (pass == 0)
                            ++first_[size_t(x) + 1];
                        else
                            sources_[fill_[size_t(x)]++] = i;
                    }
                }
                if (pass == 0) {
                    for (int x = 0; x < tw; ++x)
                        first_[size_t(x) + 1] += first_[size_t(x)];
                    sources_.resize(first_[size_t(tw)]);
                    fill_.assign(first_.begin(), first_.end() - 1);
                }
            }
        }
        for (int x = tx0; x < tx1; ++x, p += 4) {
            const size_t t = size_t(x - tx0);
            if (d != nullptr && d[t])
                blend_toward_zero(p, color, 255);
            else if (n[t])
                halo_target(p, x, y, glyphs, sources_.data() + first_[t], first_[t + 1] - first_[t], spans_,
                            span_start_, r, color, rule);
        }
    }
}

}  // namespace kiv
