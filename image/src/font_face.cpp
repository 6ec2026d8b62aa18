// font_face.cpp --
//
//     The thin owner of one FreeType face.

#include <kiv/image/font_face.h>

namespace kiv {

font_face::~font_face() {
    if (face_ != nullptr)
        FT_Done_Face(face_);
}

unsigned font_face::get_num_glyphs() {
    return face_->num_glyphs > 0 ? unsigned(face_->num_glyphs) : 0;
}

FT_GlyphSlot font_face::get_glyph() {
    return face_->glyph;
}

FT_Face font_face::get_face() {
    return face_;
}

bool font_face::set_pixel_size(unsigned pixels) {
    return FT_Set_Pixel_Sizes(face_, 0, pixels) == 0;
}

}  // namespace kiv
