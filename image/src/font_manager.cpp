// font_manager.cpp --
//
//     The FreeType library instance and face opening. Faces come only from
//     the font folder: a name is a bare file name without its ".ttf"
//     suffix, so a name holding a separator is refused rather than letting
//     a caller's text reach files elsewhere.

#include <kiv/core/env.h>
#include <kiv/image/font_manager.h>

#include <cstring>
#include <new>
#include <string>

namespace kiv {

font_manager::~font_manager() {
    if (library_ != nullptr)
        FT_Done_FreeType(library_);
}

bool font_manager::init() {
    if (library_ != nullptr)
        return true;
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) != 0)
        return false;
    library_ = library;
    return true;
}

font_face* font_manager::create_face(const char* name) {
    if (name == nullptr || *name == '\0' || library_ == nullptr)
        return nullptr;
    if (std::strchr(name, '/') != nullptr || std::strchr(name, '\\') != nullptr)
        return nullptr;
    std::string folder;
    if (!kiv_get_env("KIV_FONT_PATH", folder) || folder.empty())
        return nullptr;
    std::string path = folder + "/" + name + ".ttf";
    FT_Face face = nullptr;
    if (FT_New_Face(library_, path.c_str(), 0, &face) != 0)
        return nullptr;
    font_face* result = new (std::nothrow) font_face(face);
    if (result == nullptr)
        FT_Done_Face(face);
    return result;
}

}  // namespace kiv
