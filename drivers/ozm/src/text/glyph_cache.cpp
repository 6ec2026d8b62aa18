// glyph_cache.cpp --
//
//     Loading and keeping the glyphs of one map image.

#include "text/glyph_cache.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace kiv {
namespace ozm {

glyph_cache::~glyph_cache() {
    clear();
}

void glyph_cache::clear() {
    clear_rasters();
    for (auto& item : glyphs_) {
        if (item.second.glyph != nullptr)
            FT_Done_Glyph(item.second.glyph);
    }
    glyphs_.clear();
}

unsigned glyph_cache::face_key(const std::string& name, unsigned pixels) {
    auto found = keys_.emplace(std::make_pair(name, pixels), unsigned(keys_.size()));
    return found.first->second;
}

const cached_glyph* glyph_cache::get(FT_Face face, unsigned key, uint32_t code) {
    uint64_t id = uint64_t(key) << 32 | code;
    auto found = glyphs_.find(id);
    if (found != glyphs_.end())
        return found->second.glyph != nullptr ? &found->second : nullptr;
    cached_glyph& g = glyphs_[id];
    if (face == nullptr)
        return nullptr;
    FT_Set_Transform(face, nullptr, nullptr);
    FT_UInt index = FT_Get_Char_Index(face, code);
    if (FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING) != 0)
        return nullptr;
    FT_Glyph glyph = nullptr;
    if (FT_Get_Glyph(face->glyph, &glyph) != 0)
        return nullptr;
    FT_BBox box;
    FT_Glyph_Get_CBox(glyph, FT_GLYPH_BBOX_PIXELS, &box);
    g.advance = double(face->glyph->advance.x >> 6);
    g.height = double(box.yMax - box.yMin);
    FT_BBox exact;
    FT_Glyph_Get_CBox(glyph, FT_GLYPH_BBOX_SUBPIXELS, &exact);
    g.top = double(exact.yMax) / 64;
    g.bottom = double(exact.yMin) / 64;
    // The control box holds every outline point, so its farthest corner
    // bounds the outline under any turn about the origin.
    const double ax = std::max(std::fabs(double(box.xMin)), std::fabs(double(box.xMax)));
    const double ay = std::max(std::fabs(double(box.yMin)), std::fabs(double(box.yMax)));
    g.reach = std::hypot(ax, ay);
    g.glyph = glyph;
    return &g;
}

size_t glyph_cache::raster_hash::operator()(const raster_key& k) const {
    uint64_t h = uint64_t(reinterpret_cast<uintptr_t>(k.glyph));
    for (uint64_t v : {uint64_t(k.xx), uint64_t(k.xy), uint64_t(k.yx), uint64_t(k.yy), uint64_t(k.sub_x << 6 | k.sub_y)})
        h = (h ^ v) * 0x100000001b3ULL;
    return size_t(h ^ (h >> 29));
}

FT_BitmapGlyph glyph_cache::raster(const cached_glyph* g, const FT_Matrix& m, FT_Pos sub_x, FT_Pos sub_y) {
    const raster_key k{g, m.xx, m.xy, m.yx, m.yy, sub_x, sub_y};
    auto found = rasters_.find(k);
    if (found != rasters_.end())
        return reinterpret_cast<FT_BitmapGlyph>(found->second);
    FT_Glyph& kept = rasters_[k];
    // Each kept bitmap costs its node and FreeType's records besides its
    // pixels; counting them keeps a flood of empty glyphs bounded too.
    raster_bytes_ += 256;
    FT_Glyph copy = nullptr;
    if (FT_Glyph_Copy(g->glyph, &copy) != 0)
        return nullptr;
    FT_Matrix mat = m;
    FT_Vector delta{sub_x, sub_y};
    if (FT_Glyph_Transform(copy, &mat, &delta) != 0 || FT_Glyph_To_Bitmap(&copy, FT_RENDER_MODE_NORMAL, nullptr, 1) != 0) {
        FT_Done_Glyph(copy);
        return nullptr;
    }
    kept = copy;
    const FT_Bitmap& bm = reinterpret_cast<FT_BitmapGlyph>(copy)->bitmap;
    raster_bytes_ += size_t(bm.rows) * size_t(std::abs(bm.pitch));
    return reinterpret_cast<FT_BitmapGlyph>(copy);
}

void glyph_cache::trim_rasters(size_t max_bytes) {
    if (raster_bytes_ > max_bytes)
        clear_rasters();
}

void glyph_cache::clear_rasters() {
    for (auto& item : rasters_) {
        if (item.second != nullptr)
            FT_Done_Glyph(item.second);
    }
    rasters_.clear();
    raster_bytes_ = 0;
}

}  // namespace ozm
}  // namespace kiv
