// glyph_cache.h --
//
//     The glyphs one map image has loaded, by face, pixel size and code
//     point: advance, height and the unhinted outline at the identity
//     transform. A label then places a copy of the outline turned and
//     moved with FT_Glyph_Transform, which gives the outline that loading
//     the glyph under the same face transform would give, without loading
//     it again; the rendered bitmaps of those copies are kept too, by
//     transform and sub-pixel offset. The cache lives as long as the
//     image's drawing state and must go before the FreeType library that
//     made its glyphs.

#ifndef KIV_OZM_SRC_TEXT_GLYPH_CACHE_H
#define KIV_OZM_SRC_TEXT_GLYPH_CACHE_H

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

namespace kiv {
namespace ozm {

struct cached_glyph {
    double advance = 0;        // pixels, the 26.6 advance rounded down
    double height = 0;         // control box top minus bottom, whole pixels
    double top = 0, bottom = 0; // control box top and bottom above the baseline, pixels (not rounded)
    double reach = 0;          // pixels: no outline point lies farther from the origin
    FT_Glyph glyph = nullptr;  // outline, owned by the cache
};

class glyph_cache {
public:
    glyph_cache() = default;
    glyph_cache(const glyph_cache&) = delete;
    glyph_cache& operator=(const glyph_cache&) = delete;
    ~glyph_cache();

    // Returns: a small number standing for the face file `name` at
    //     `pixels` size; equal for equal arguments during the cache's life.
    unsigned face_key(const std::string& name, unsigned pixels);

    // Returns: the glyph of `code` in `face` (which must be the face of
    //     `key`, sized), loaded on first use; null when it does not load.
    const cached_glyph* get(FT_Face face, unsigned key, uint32_t code);

    // Returns: the glyphs held (failed loads included).
    size_t size() const { return glyphs_.size(); }

    // Returns: the outline of `g` transformed by `m`, moved by (`sub_x`,
    //     `sub_y`) 26.6 units (each 0..63) and rendered in
    //     FT_RENDER_MODE_NORMAL, made on first use and kept; null when
    //     FreeType fails. FreeType rasterises an outline relative to the
    //     whole pixels its control box starts on, so moving the outline
    //     by whole pixels moves this bitmap's left and top by as many
    //     and changes no pixel: a placed glyph is this bitmap, shifted.
    FT_BitmapGlyph raster(const cached_glyph* g, const FT_Matrix& m, FT_Pos sub_x, FT_Pos sub_y);

    // Drops the kept bitmaps when they take more than `max_bytes`; none
    // may be in use.
    void trim_rasters(size_t max_bytes);

    // Drops every glyph and bitmap; none may be in use.
    void clear();

private:
    struct raster_key {
        const cached_glyph* glyph;
        FT_Fixed xx, xy, yx, yy;
        FT_Pos sub_x, sub_y;
        bool operator==(const raster_key& o) const {
            return glyph == o.glyph && xx == o.xx && xy == o.xy && yx == o.yx && yy == o.yy && sub_x == o.sub_x &&
                   sub_y == o.sub_y;
        }
    };
    struct raster_hash {
        size_t operator()(const raster_key& k) const;
    };

    void clear_rasters();

    std::map<std::pair<std::string, unsigned>, unsigned> keys_;
    std::unordered_map<uint64_t, cached_glyph> glyphs_;  // (key << 32 | code) -> glyph; glyph null: failed
    std::unordered_map<raster_key, FT_Glyph, raster_hash> rasters_;  // bitmap glyph, owned; null: failed
    size_t raster_bytes_ = 0;
};

}  // namespace ozm
}  // namespace kiv

#endif
