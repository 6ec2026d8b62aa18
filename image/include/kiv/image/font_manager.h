// font_manager.h --
//
//     The owner of one FreeType library instance, which opens TrueType
//     faces by name from the font folder named by KIV_FONT_PATH. The map
//     view and the vector map driver open their faces here and draw text
//     with text_renderer or rasterise glyphs themselves through font_face.
//
//     FreeType does not lock a library instance: a manager, and the faces
//     it made, are used by one thread at a time. Separate managers may
//     work on separate threads.

#ifndef KIV_IMAGE_FONT_MANAGER_H
#define KIV_IMAGE_FONT_MANAGER_H

#include <kiv/core/export.h>
#include <kiv/image/font_face.h>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace kiv {

class KIV_EXPORT font_manager {
public:
    // No FreeType library yet; init makes it.
    font_manager() = default;
    font_manager(const font_manager&) = delete;
    font_manager& operator=(const font_manager&) = delete;
    // Releases the FreeType library. Every face made by this manager must
    // have been deleted before.
    virtual ~font_manager();

    // Starts FreeType. Returns: true on success (also when already done).
    bool init();

    // Opens face 0 of the file "<KIV_FONT_PATH>/<name>.ttf".
    // Returns: a new face the caller deletes (before this manager), or
    //     null for a null or empty name, a name holding a path separator
    //     (a face never comes from outside the font folder), an unset or
    //     empty KIV_FONT_PATH, a manager without init, or a file FreeType
    //     cannot open.
    font_face* create_face(const char* name);

private:
    FT_Library library_ = nullptr;  // owned; null until init succeeds
};

}  // namespace kiv

#endif
