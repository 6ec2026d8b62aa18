// font_fixtures.h --
//
//     Helpers of the font and text tests: a private font folder holding
//     links to Debian's DejaVu faces under the names the font manager asks
//     for (KIV_FONT_PATH points at it for the test's life), a canvas that
//     wraps an RGBA buffer in the text renderer's AGG types, and raw
//     FreeType access to the same font files for reference values.

#ifndef KIV_TESTS_IMAGE_FONT_FIXTURES_H
#define KIV_TESTS_IMAGE_FONT_FIXTURES_H

#include <kiv/core/env.h>
#include <kiv/image/font_manager.h>
#include <kiv/image/text_renderer.h>

#include "../core/test_util.h"

#include <gtest/gtest.h>

#include <ft2build.h>
#include FT_OUTLINE_H

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace kiv_test {

inline const char* dejavu_folder() {
    return "/usr/share/fonts/truetype/dejavu";
}

inline std::string dejavu_file(const std::string& name) {
    return std::string(dejavu_folder()) + "/" + name + ".ttf";
}

// A temporary font folder with DejaVuSans and DejaVuSans-Bold linked in;
// KIV_FONT_PATH names it until the fixture ends.
class font_folder : public ::testing::Test {
protected:
    void SetUp() override {
        had_ = kiv_get_env("KIV_FONT_PATH", saved_);
        for (const char* name : {"DejaVuSans", "DejaVuSans-Bold"}) {
            std::string target = dejavu_file(name);
            if (access(target.c_str(), R_OK) != 0)
                GTEST_SKIP() << "fonts-dejavu-core is not installed: " << target;
            ASSERT_EQ(symlink(target.c_str(), fonts.file(std::string(name) + ".ttf").c_str()), 0);
        }
        kiv_set_env("KIV_FONT_PATH", fonts.path().c_str());
        ASSERT_TRUE(manager.init());
    }
    void TearDown() override { kiv_set_env("KIV_FONT_PATH", had_ ? saved_.c_str() : nullptr); }

    // A face of `name` at `pixels`, owned by the fixture (deleted before
    // the manager).
    kiv::font_face* open_face(const char* name, unsigned pixels) {
        kiv::font_face* face = manager.create_face(name);
        EXPECT_NE(face, nullptr) << name;
        if (face == nullptr)
            return nullptr;
        EXPECT_TRUE(face->set_pixel_size(pixels));
        faces_.emplace_back(face);
        return face;
    }

    temp_dir fonts;
    kiv::font_manager manager;

private:
    bool had_ = false;
    std::string saved_;
    std::vector<std::unique_ptr<kiv::font_face>> faces_;  // declared after manager: deleted first
};

struct pixel_rgba {
    uint8_t r, g, b, a;
    bool operator==(const pixel_rgba& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
    bool operator!=(const pixel_rgba& o) const { return !(*this == o); }
};

inline std::ostream& operator<<(std::ostream& os, const pixel_rgba& c) {
    return os << "rgba(" << int(c.r) << "," << int(c.g) << "," << int(c.b) << "," << int(c.a) << ")";
}

// An RGBA buffer filled with one colour and wrapped for drawing.
class canvas {
public:
    canvas(unsigned width, unsigned height, pixel_rgba fill)
        : width_(width), height_(height), pixels_(size_t(width) * height * 4),
          buffer_(pixels_.data(), width, height, int(width * 4)), pixfmt_(buffer_), ren_(pixfmt_) {
        for (size_t i = 0; i < pixels_.size(); i += 4) {
            pixels_[i] = fill.r;
            pixels_[i + 1] = fill.g;
            pixels_[i + 2] = fill.b;
            pixels_[i + 3] = fill.a;
        }
    }
    canvas(const canvas&) = delete;
    canvas& operator=(const canvas&) = delete;

    kiv::text_renderer_base& ren() { return ren_; }
    unsigned width() const { return width_; }
    unsigned height() const { return height_; }
    pixel_rgba at(int x, int y) const {
        const uint8_t* p = &pixels_[(size_t(y) * width_ + size_t(x)) * 4];
        return pixel_rgba{p[0], p[1], p[2], p[3]};
    }
    const std::vector<uint8_t>& bytes() const { return pixels_; }

    // Counts pixels that differ from `fill` inside [x0, x1) × [y0, y1).
    unsigned changed(pixel_rgba fill, int x0, int y0, int x1, int y1) const {
        unsigned n = 0;
        for (int y = std::max(0, y0); y < std::min(int(height_), y1); ++y)
            for (int x = std::max(0, x0); x < std::min(int(width_), x1); ++x)
                n += at(x, y) != fill;
        return n;
    }
    unsigned changed(pixel_rgba fill) const { return changed(fill, 0, 0, int(width_), int(height_)); }

private:
    unsigned width_, height_;
    std::vector<uint8_t> pixels_;
    agg::rendering_buffer buffer_;
    kiv::text_pixfmt pixfmt_;
    kiv::text_renderer_base ren_;
};

// The same font file opened straight through FreeType.
class raw_face {
public:
    raw_face(const std::string& name, unsigned pixels) {
        EXPECT_EQ(FT_Init_FreeType(&library_), 0);
        EXPECT_EQ(FT_New_Face(library_, dejavu_file(name).c_str(), 0, &face_), 0);
        if (face_ != nullptr) {
            EXPECT_EQ(FT_Set_Pixel_Sizes(face_, 0, pixels), 0);
        }
    }
    ~raw_face() {
        if (face_ != nullptr)
            FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }
    raw_face(const raw_face&) = delete;
    raw_face& operator=(const raw_face&) = delete;

    FT_Face face() const { return face_; }
    // Whole-pixel advance of a character loaded without hinting.
    unsigned advance(unsigned code) const {
        EXPECT_EQ(FT_Load_Char(face_, code, FT_LOAD_NO_HINTING), 0);
        return unsigned(face_->glyph->advance.x >> 6);
    }
    // Height in pixels of a character's control box, rounded outwards.
    unsigned box_height(unsigned code) const {
        EXPECT_EQ(FT_Load_Char(face_, code, FT_LOAD_NO_HINTING), 0);
        FT_BBox box;
        FT_Outline_Get_CBox(&face_->glyph->outline, &box);
        long y_min = box.yMin & ~63;
        long y_max = (box.yMax + 63) & ~63;
        return unsigned((y_max - y_min) >> 6);
    }

private:
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

}  // namespace kiv_test

#endif
