// font_manager_test.cpp --
//
//     Opening faces from the font folder: the name rules, the folder
//     variable, and the face's size and glyph count as FreeType reports
//     them for the same file.

#include <kiv/image/font_manager.h>

#include "font_fixtures.h"

#include <gtest/gtest.h>

#include <memory>

#include <sys/stat.h>

using namespace kiv;
using namespace kiv_test;

TEST_F(font_folder, a_face_opens_by_name_from_the_font_folder) {
    std::unique_ptr<font_face> face(manager.create_face("DejaVuSans-Bold"));
    ASSERT_NE(face, nullptr);
    raw_face raw("DejaVuSans-Bold", 16);
    EXPECT_EQ(face->get_num_glyphs(), unsigned(raw.face()->num_glyphs));
    EXPECT_STREQ(face->get_face()->style_name, "Bold");
    EXPECT_EQ(face->get_glyph(), face->get_face()->glyph);
}

TEST_F(font_folder, set_pixel_size_sets_the_nominal_height) {
    std::unique_ptr<font_face> face(manager.create_face("DejaVuSans"));
    ASSERT_NE(face, nullptr);
    ASSERT_TRUE(face->set_pixel_size(24));
    EXPECT_EQ(face->get_face()->size->metrics.y_ppem, 24);
    EXPECT_EQ(face->get_face()->size->metrics.x_ppem, 24);
}

TEST_F(font_folder, missing_null_and_empty_names_give_no_face) {
    EXPECT_EQ(manager.create_face("NoSuchFace"), nullptr);
    EXPECT_EQ(manager.create_face(nullptr), nullptr);
    EXPECT_EQ(manager.create_face(""), nullptr);
}

TEST_F(font_folder, a_name_with_a_path_separator_never_leaves_the_font_folder) {
    // The real file exists one level up from a folder inside the font
    // folder, yet the name is refused.
    ASSERT_EQ(mkdir(fonts.file("sub").c_str(), 0700), 0);
    kiv_set_env("KIV_FONT_PATH", fonts.file("sub").c_str());
    EXPECT_EQ(manager.create_face("../DejaVuSans"), nullptr);
    EXPECT_EQ(manager.create_face("..\\DejaVuSans"), nullptr);
    kiv_set_env("KIV_FONT_PATH", fonts.path().c_str());
    std::unique_ptr<font_face> face(manager.create_face("DejaVuSans"));
    EXPECT_NE(face, nullptr);
}

TEST_F(font_folder, an_unset_or_empty_font_path_gives_no_face) {
    kiv_set_env("KIV_FONT_PATH", nullptr);
    EXPECT_EQ(manager.create_face("DejaVuSans"), nullptr);
    // An empty value unsets the variable too; the working directory is
    // never searched.
    kiv_set_env("KIV_FONT_PATH", "");
    EXPECT_EQ(manager.create_face("DejaVuSans"), nullptr);
}

TEST_F(font_folder, a_file_that_is_not_a_font_gives_no_face) {
    FILE* f = fopen(fonts.file("Broken.ttf").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("not a TrueType file", f);
    fclose(f);
    EXPECT_EQ(manager.create_face("Broken"), nullptr);
}

TEST(font_manager, a_manager_without_init_opens_nothing) {
    temp_dir fonts;
    ASSERT_EQ(symlink(dejavu_file("DejaVuSans").c_str(), fonts.file("DejaVuSans.ttf").c_str()), 0);
    std::string saved;
    bool had = kiv_get_env("KIV_FONT_PATH", saved);
    kiv_set_env("KIV_FONT_PATH", fonts.path().c_str());
    font_manager manager;
    EXPECT_EQ(manager.create_face("DejaVuSans"), nullptr);
    ASSERT_TRUE(manager.init());
    std::unique_ptr<font_face> face(manager.create_face("DejaVuSans"));
    EXPECT_NE(face, nullptr);
    face.reset();
    kiv_set_env("KIV_FONT_PATH", had ? saved.c_str() : nullptr);
}
