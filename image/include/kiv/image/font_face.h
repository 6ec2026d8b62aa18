// font_face.h --
//
//     One opened TrueType face. Measuring and loading a glyph change the
//     face's transform and glyph slot, so a face is used by one thread at
//     a time; callers that rasterise glyphs themselves reach FreeType
//     through get_face and get_glyph.

#ifndef KIV_IMAGE_FONT_FACE_H
#define KIV_IMAGE_FONT_FACE_H

#include <kiv/core/export.h>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace kiv {

class KIV_EXPORT font_face {
public:
    // Takes over `face` (opened by font_manager::create_face).
    explicit font_face(FT_Face face) : face_(face) {}
    font_face(const font_face&) = delete;
    font_face& operator=(const font_face&) = delete;
    // Releases the face; runs before its manager is deleted.
    virtual ~font_face();

    // Returns: the number of glyphs in the face.
    unsigned get_num_glyphs();
    // Returns: the face's glyph slot (borrowed), holding the glyph loaded last.
    FT_GlyphSlot get_glyph();
    // Returns: the FreeType face (borrowed; this object keeps owning it).
    FT_Face get_face();
    // Sets the nominal size to `pixels` high (the width follows).
    // Returns: true on success.
    bool set_pixel_size(unsigned pixels);

private:
    FT_Face face_;  // owned; released by the destructor
};

}  // namespace kiv

#endif
