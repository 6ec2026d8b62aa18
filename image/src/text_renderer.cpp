// text_renderer.cpp --
//
//     Measuring a text and drawing glyphs: loading them turned and
//     shifted, turning them into 8-bit coverage bitmaps and blending those
//     into the AGG renderer, over their halo (glyph_halo.h, blended as the
//     renderer blends). The layout of labels along a line lives in
//     text_renderer_along_line.cpp.
//
//     Glyph coordinates have y pointing up from the buffer's bottom row,
//     image coordinates y pointing down; the pen of render_placement
//     converts between the two. A character whose glyph index is 0 has no
//     glyph in the face and is never measured or loaded, so the face's
//     "missing glyph" box is never drawn. Bitmap rows are addressed
//     through the bitmap's pitch, which may exceed its width.

#include <kiv/core/utf8.h>
#include <kiv/image/text_renderer.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace kiv {

namespace {

// The largest pen position, in pixels, that still fits FreeType's 26.6
// coordinates in an int; farther labels cannot reach any buffer.
constexpr long max_pen_pixels = 1L << 24;

// Returns: the start of bitmap row j (top row 0), whichever way the
//     bitmap's rows flow in memory.
const unsigned char* bitmap_row(const FT_Bitmap& bitmap, unsigned j) {
    if (bitmap.pitch >= 0)
        return bitmap.buffer + size_t(j) * size_t(bitmap.pitch);
    return bitmap.buffer + size_t(bitmap.rows - 1 - j) * size_t(-int64_t(bitmap.pitch));
}

bool drawable(const FT_Bitmap& bitmap) {
    return bitmap.buffer != nullptr && bitmap.pixel_mode == FT_PIXEL_MODE_GRAY;
}

// Moves an outline glyph by `pen` and turns it into an 8-bit bitmap in
// place; a glyph that is a bitmap already stays where it is. A glyph
// that cannot be rendered is released, so it is left out of the drawing.
// Returns: the bitmap glyph, or null.
FT_BitmapGlyph to_bitmap(FT_Glyph& glyph, const FT_Vector& pen) {
    if (glyph == nullptr)
        return nullptr;
    if (glyph->format != FT_GLYPH_FORMAT_BITMAP) {
        FT_Vector delta = pen;
        if (FT_Glyph_Transform(glyph, nullptr, &delta) != 0 ||
            FT_Glyph_To_Bitmap(&glyph, FT_RENDER_MODE_NORMAL, nullptr, 1) != 0) {
            FT_Done_Glyph(glyph);
            glyph = nullptr;
            return nullptr;
        }
    }
    return reinterpret_cast<FT_BitmapGlyph>(glyph);
}

void set_identity(FT_Face face) {
    FT_Matrix matrix = {0x10000, 0, 0, 0x10000};
    FT_Vector delta = {0, 0};
    FT_Set_Transform(face, &matrix, &delta);
}

// Loads the glyph of `code` untransformed and measures it: `width` is its
// advance, `height` the height of its box, in whole pixels (untouched on
// failure).
// Returns: the glyph, which the caller releases with FT_Done_Glyph; null
//     when the face has no glyph for `code` or it does not load.
FT_Glyph load_measured(FT_Face face, unsigned code, unsigned& width, unsigned& height) {
    set_identity(face);
    FT_UInt index = FT_Get_Char_Index(face, code);
    if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING) != 0)
        return nullptr;
    FT_Glyph glyph = nullptr;
    if (FT_Get_Glyph(face->glyph, &glyph) != 0)
        return nullptr;
    FT_Pos advance = face->glyph->advance.x >> 6;
    FT_BBox box;
    FT_Glyph_Get_CBox(glyph, FT_GLYPH_BBOX_PIXELS, &box);
    width = advance > 0 ? unsigned(advance) : 0;
    height = box.yMax > box.yMin ? unsigned(box.yMax - box.yMin) : 0;
    return glyph;
}

}  // namespace

text_renderer::text_renderer(font_face* face, agg::rgba8 color, unsigned halo, agg::rgba8 halo_color)
    : face_(face), color_(color), halo_(halo), halo_color_(halo_color) {}

text_renderer::~text_renderer() {
    flush_glyphs();
}

text_renderer::size_key text_renderer::current_key() const {
    size_key key;
    if (face_ == nullptr)
        return key;
    FT_Face face = face_->get_face();
    if (face == nullptr || face->size == nullptr)
        return key;
    key.size = face->size;
    key.charmap = face->charmap;
    key.x_ppem = face->size->metrics.x_ppem;
    key.y_ppem = face->size->metrics.y_ppem;
    key.x_scale = face->size->metrics.x_scale;
    key.y_scale = face->size->metrics.y_scale;
    return key;
}

bool text_renderer::cache_current() const {
    return key_.size != nullptr && current_key() == key_;
}

void text_renderer::flush_glyphs() {
    for (auto& entry : glyphs_) {
        if (entry.second.outline != nullptr)
            FT_Done_Glyph(entry.second.outline);
        if (entry.second.bitmap != nullptr)
            FT_Done_Glyph(entry.second.bitmap);
    }
    glyphs_.clear();
    key_ = size_key();
}

bool text_renderer::measure_item(text_item& item) {
    item.glyph = nullptr;
    auto known = glyphs_.find(item.code);
    if (known != glyphs_.end()) {
        item.width = known->second.width;
        item.height = known->second.height;
        item.glyph = known->second.outline;
        return true;
    }
    if (face_ == nullptr)
        return false;
    cached_glyph cached;
    FT_Glyph glyph = load_measured(face_->get_face(), item.code, cached.width, cached.height);
    if (glyph == nullptr)
        return false;
    // Outlines are kept: moving or turning one is exactly what loading it
    // under that transform does. Anything else is loaded again to draw.
    if (glyph->format == FT_GLYPH_FORMAT_OUTLINE)
        cached.outline = glyph;
    else
        FT_Done_Glyph(glyph);
    try {
        glyphs_.emplace(item.code, cached);
    } catch (...) {
        if (cached.outline != nullptr)
            FT_Done_Glyph(cached.outline);
        throw;
    }
    item.width = cached.width;
    item.height = cached.height;
    item.glyph = cached.outline;
    return true;
}

bool text_renderer::get_char_size(unsigned code, unsigned& width, unsigned& height) {
    // Straight from the face, past the cache: the face may have changed
    // size since the last set_text.
    if (face_ == nullptr)
        return false;
    FT_Glyph glyph = load_measured(face_->get_face(), code, width, height);
    if (glyph == nullptr)
        return false;
    FT_Done_Glyph(glyph);
    return true;
}

bool text_renderer::set_text(const char* text, unsigned& width, unsigned& height) {
    if (text == nullptr || *text == '\0' || face_ == nullptr)
        return false;
    if (strnlen(text, max_text_bytes + 1) > max_text_bytes)
        return false;
    items_.clear();
    // A face of another size, or a cache grown past what labels need,
    // starts afresh; nothing points into the cache once items_ is empty.
    const size_t cache_limit = 1024;
    if (!cache_current() || glyphs_.size() > cache_limit - max_text_bytes) {
        flush_glyphs();
        key_ = current_key();
    }
    width = 0;
    height = 0;
    const char* p = text;
    uint32_t code = 0;
    while (kiv_get_unicode_char(p, &code, &p)) {
        text_item item{0, 0, code, nullptr};
        if (!measure_item(item))
            continue;
        items_.push_back(item);
        width += item.width;
        height = std::max(height, item.height);
    }
    return true;
}

bool text_renderer::render(text_renderer_base& ren, int x, int y) {
    if (items_.empty())
        return false;
    bool all_kept = cache_current();
    for (const text_item& item : items_)
        all_kept = all_kept && item.glyph != nullptr;
    if (all_kept) {
        render_cached(ren, x, y);
        return true;
    }
    std::vector<char_placement> placements(items_.size());
    double pen_x = 0;
    for (size_t i = 0; i < items_.size(); ++i) {
        placements[i].x = pen_x;
        placements[i].code = items_[i].code;
        pen_x += items_[i].width;
    }
    if (load_glyphs(placements))
        render_placement(ren, placements, x, y);
    cleanup_placement(placements);
    return true;
}

void text_renderer::render_cached(text_renderer_base& ren, int x, int y) {
    const long height = long(ren.height());
    if (std::labs(long(x)) > max_pen_pixels || std::labs(height - y) > max_pen_pixels)
        return;
    // A bitmap made at the origin and drawn whole pixels away is the
    // bitmap of the outline moved there: the pen only moves in whole
    // pixels, so each glyph is rasterised once for every label.
    const FT_BitmapGlyph none = nullptr;
    std::array<FT_BitmapGlyph, max_text_bytes> bitmaps;
    std::array<long, max_text_bytes> pens;
    const size_t count = std::min(items_.size(), bitmaps.size());
    long pen_x = 0;
    for (size_t i = 0; i < count; ++i) {
        bitmaps[i] = none;
        pens[i] = pen_x;
        pen_x += long(items_[i].width);
        if (pens[i] > max_pen_pixels)
            continue;
        auto cached = glyphs_.find(items_[i].code);
        if (cached == glyphs_.end())
            continue;
        if (cached->second.bitmap == nullptr) {
            FT_Glyph bitmap = cached->second.outline;
            if (FT_Glyph_To_Bitmap(&bitmap, FT_RENDER_MODE_NORMAL, nullptr, 0) != 0)
                continue;
            cached->second.bitmap = bitmap;
        }
        bitmaps[i] = reinterpret_cast<FT_BitmapGlyph>(cached->second.bitmap);
    }
    // Halos first under the whole label, then the glyphs, as
    // render_placement draws them.
    if (halo_ > 0 && halo_ < 256) {
        halo_glyphs_.clear();
        for (size_t i = 0; i < count; ++i)
            if (bitmaps[i] != none && drawable(bitmaps[i]->bitmap))
                halo_glyphs_.push_back(
                    halo_glyph{&bitmaps[i]->bitmap, int(x + pens[i] + bitmaps[i]->left), y - bitmaps[i]->top});
        draw_halo(ren);
    }
    for (size_t i = 0; i < count; ++i)
        if (bitmaps[i] != none)
            render_bitmap(ren, bitmaps[i]->bitmap, int(x + pens[i] + bitmaps[i]->left), y - bitmaps[i]->top, color_);
}

FT_Glyph text_renderer::kept_glyph(unsigned code) const {
    if (!cache_current())
        return nullptr;
    auto cached = glyphs_.find(code);
    return cached != glyphs_.end() ? cached->second.outline : nullptr;
}

bool text_renderer::load_glyphs(std::vector<char_placement>& placements) {
    if (face_ == nullptr)
        return false;
    FT_Face face = face_->get_face();
    for (char_placement& p : placements) {
        p.glyph = nullptr;
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || std::fabs(p.x) > max_pen_pixels ||
            std::fabs(p.y) > max_pen_pixels)
            continue;
        double c = std::cos(p.angle);
        double s = std::sin(p.angle);
        FT_Matrix matrix = {FT_Fixed(c * 0x10000), FT_Fixed(-s * 0x10000), FT_Fixed(s * 0x10000),
                            FT_Fixed(c * 0x10000)};
        FT_Vector delta = {FT_Pos(p.x * 64), FT_Pos(p.y * 64)};
        // The glyph measured by set_text, moved and turned as loading it
        // under this transform would: no second load.
        FT_Glyph kept = kept_glyph(p.code);
        if (kept != nullptr) {
            FT_Glyph copy = nullptr;
            if (FT_Glyph_Copy(kept, &copy) != 0)
                continue;
            const bool upright = matrix.xx == 0x10000 && matrix.xy == 0 && matrix.yx == 0 && matrix.yy == 0x10000;
            if (FT_Glyph_Transform(copy, upright ? nullptr : &matrix, &delta) != 0) {
                FT_Done_Glyph(copy);
                continue;
            }
            p.glyph = copy;
            continue;
        }
        FT_Set_Transform(face, &matrix, &delta);
        FT_UInt index = FT_Get_Char_Index(face, p.code);
        if (index == 0 || FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING) != 0)
            continue;
        FT_Glyph glyph = nullptr;
        if (FT_Get_Glyph(face->glyph, &glyph) == 0)
            p.glyph = glyph;
    }
    // Callers that rasterise through the face expect it upright.
    set_identity(face);
    return true;
}

void text_renderer::render_placement(text_renderer_base& ren, std::vector<char_placement>& placements,
                                     int x, int y) {
    const long height = long(ren.height());
    if (std::labs(long(x)) > max_pen_pixels || std::labs(height - y) > max_pen_pixels)
        return;
    const FT_Vector pen = {FT_Pos(x) * 64, FT_Pos(height - y) * 64};
    if (halo_ > 0 && halo_ < 256) {
        halo_glyphs_.clear();
        for (char_placement& p : placements) {
            FT_BitmapGlyph bitmap = to_bitmap(p.glyph, pen);
            if (bitmap != nullptr && drawable(bitmap->bitmap))
                halo_glyphs_.push_back(halo_glyph{&bitmap->bitmap, bitmap->left, int(height - bitmap->top)});
        }
        draw_halo(ren);
    }
    for (char_placement& p : placements) {
        FT_BitmapGlyph bitmap = to_bitmap(p.glyph, pen);
        if (bitmap != nullptr)
            render_bitmap(ren, bitmap->bitmap, bitmap->left, int(height - bitmap->top), color_);
    }
}

void text_renderer::draw_halo(text_renderer_base& ren) {
    if (ren.xmin() > ren.xmax() || ren.ymin() > ren.ymax())
        return;
    text_pixfmt& pixf = ren.ren();
    halo_drawer_.draw(pixf.row_ptr(0), pixf.stride(), halo_glyphs_, int(halo_), halo_color_, blend_rule::agg,
                      ren.xmin(), ren.ymin(), ren.xmax() + 1, ren.ymax() + 1);
}

void text_renderer::render_bitmap(text_renderer_base& ren, const FT_Bitmap& bitmap, int x, int y,
                                  const agg::rgba8& color) {
    if (!drawable(bitmap))
        return;
    for (unsigned j = 0; j < bitmap.rows; ++j) {
        const unsigned char* row = bitmap_row(bitmap, j);
        for (unsigned i = 0; i < bitmap.width; ++i) {
            if (row[i] != 0)
                ren.blend_pixel(x + int(i), y + int(j), color, row[i]);
        }
    }
}

void text_renderer::cleanup_placement(std::vector<char_placement>& placements) {
    for (char_placement& p : placements) {
        if (p.glyph != nullptr)
            FT_Done_Glyph(p.glyph);
        p.glyph = nullptr;
    }
}

}  // namespace kiv
