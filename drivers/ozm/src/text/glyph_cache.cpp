// glyph_cache.cpp --
//
//     Loading and keeping the glyphs of one map image.

#include "text/glyph_cache.h"

#include <algorithm>
#include <cmath>

namespace kiv {
namespace ozm {

glyph_cache::~glyph_cache() {
    clear();
}

void glyph_cache::clear() {
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
    // The control box holds every outline point, so its farthest corner
    // bounds the outline under any turn about the origin.
    const double ax = std::max(std::fabs(double(box.xMin)), std::fabs(double(box.xMax)));
    const double ay = std::max(std::fabs(double(box.yMin)), std::fabs(double(box.yMax)));
    g.reach = std::hypot(ax, ay);
    g.glyph = glyph;
    return &g;
}

}  // namespace ozm
}  // namespace kiv
