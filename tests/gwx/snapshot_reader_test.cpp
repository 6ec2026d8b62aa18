// snapshot_reader_test.cpp --
//
//     The snapshot reader on hand-made bitmaps: pixel order (bottom-up
//     rows, blue-green-red bytes, padding), and every kind of file it
//     must refuse instead of reading past what is there.

#include <kiv/core/auto_ptr.h>
#include <kiv_test/gwx_hooks.h>
#include <kiv/image/i_image.h>

#include "../core/test_util.h"
#include "../image/core_environment.h"
#include "bmp_maker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>

using namespace kiv;
using kiv_test::make_bmp;
using kiv_test::put_le;

namespace {

std::string write_file(const kiv_test::temp_dir& dir, const std::vector<unsigned char>& bytes) {
    std::string path = dir.file("snap.bmp");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return path;
}

// The RGBA bytes of pixel (x, y) as 0xRRGGBBAA.
uint32_t pixel(i_image* img, unsigned x, unsigned y) {
    const unsigned char* p = static_cast<const unsigned char*>(img->get_data()) + (y * img->get_width() + x) * 4;
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

// A colour for each pixel that tells its place: red = 10 x, green = 20 y.
uint32_t place_colour(int x, int y) {
    return uint32_t(10 * x) << 16 | uint32_t(20 * y) << 8 | 0x33;
}

TEST(snapshot_reader, three_by_two_stored_bottom_row_first_gives_top_left_first) {
    kiv_test::temp_dir dir;
    std::string path = write_file(dir, make_bmp(3, 2, place_colour));
    auto_ptr_t<i_image> img(kiv_gwx_test_read_snapshot(path.c_str(), 3, 2));
    ASSERT_TRUE(img);
    ASSERT_EQ(img->get_width(), 3u);
    ASSERT_EQ(img->get_height(), 2u);
    for (unsigned y = 0; y < 2; ++y)
        for (unsigned x = 0; x < 3; ++x)
            EXPECT_EQ(pixel(img, x, y), place_colour(int(x), int(y)) << 8 | 0xFF) << x << "," << y;
}

TEST(snapshot_reader, row_padding_is_skipped) {
    // Width 5: 15 bytes of pixels and one byte of padding a row.
    kiv_test::temp_dir dir;
    auto bytes = make_bmp(5, 3, place_colour);
    ASSERT_EQ(bytes.size(), 54u + 16 * 3);
    std::string path = write_file(dir, bytes);
    auto_ptr_t<i_image> img(kiv_gwx_test_read_snapshot(path.c_str(), 5, 3));
    ASSERT_TRUE(img);
    for (unsigned y = 0; y < 3; ++y)
        for (unsigned x = 0; x < 5; ++x)
            EXPECT_EQ(pixel(img, x, y), place_colour(int(x), int(y)) << 8 | 0xFF) << x << "," << y;
}

TEST(snapshot_reader, pixel_offset_comes_from_the_file_header) {
    // A larger information header (a later BMP version) moves the pixels.
    auto bytes = make_bmp(2, 2, place_colour);
    bytes.insert(bytes.begin() + 54, 68, 0);
    put_le(bytes, 2, uint32_t(bytes.size()), 4);
    put_le(bytes, 10, 54 + 68, 4);
    put_le(bytes, 14, 108, 4);
    kiv_test::temp_dir dir;
    std::string path = write_file(dir, bytes);
    auto_ptr_t<i_image> img(kiv_gwx_test_read_snapshot(path.c_str(), 2, 2));
    ASSERT_TRUE(img);
    EXPECT_EQ(pixel(img, 1, 1), place_colour(1, 1) << 8 | 0xFF);
}

TEST(snapshot_reader, refuses_files_that_are_not_what_the_control_writes) {
    auto good = [] { return make_bmp(4, 3, place_colour); };
    struct spoiled {
        const char* what;
        std::vector<unsigned char> bytes;
        unsigned width, height;
    };
    std::vector<spoiled> cases;
    {
        auto b = good();
        b[0] = 'X';
        cases.push_back({"bad magic", b, 4, 3});
    }
    {
        auto b = good();
        b.resize(b.size() - 5);
        cases.push_back({"truncated pixel rows (size field above the file)", b, 4, 3});
    }
    {
        auto b = good();
        b.resize(b.size() - 5);
        put_le(b, 2, uint32_t(b.size()), 4);
        cases.push_back({"truncated pixel rows (size field matching)", b, 4, 3});
    }
    {
        auto b = good();
        b.resize(30);
        cases.push_back({"cut inside the headers", b, 4, 3});
    }
    {
        auto b = good();
        put_le(b, 2, 40, 4);
        cases.push_back({"size field below 54", b, 4, 3});
    }
    {
        auto b = good();
        put_le(b, 10, uint32_t(b.size() + 1), 4);
        cases.push_back({"pixel offset past the end", b, 4, 3});
    }
    {
        auto b = good();
        put_le(b, 10, 20, 4);
        cases.push_back({"pixel offset inside the headers", b, 4, 3});
    }
    cases.push_back({"negative height (top-down rows)", make_bmp(4, -3, place_colour), 4, 3});
    cases.push_back({"8 bits per pixel", make_bmp(4, 3, place_colour, 8), 4, 3});
    {
        auto b = good();
        put_le(b, 30, 1, 4);
        cases.push_back({"compressed", b, 4, 3});
    }
    cases.push_back({"width other than asked", good(), 5, 3});
    cases.push_back({"height other than asked", good(), 4, 2});
    {
        auto b = good();
        put_le(b, 18, 0, 4);
        cases.push_back({"width 0", b, 0, 3});
    }
    cases.push_back({"empty file", {}, 4, 3});

    kiv_test::temp_dir dir;
    for (const spoiled& c : cases) {
        std::string path = write_file(dir, c.bytes);
        auto_ptr_t<i_image> img(kiv_gwx_test_read_snapshot(path.c_str(), c.width, c.height));
        EXPECT_FALSE(img) << c.what;
    }
    // The unspoiled file is read, so each refusal above is its own fault.
    std::string path = write_file(dir, good());
    auto_ptr_t<i_image> img(kiv_gwx_test_read_snapshot(path.c_str(), 4, 3));
    EXPECT_TRUE(img);
}

TEST(snapshot_reader, missing_file_gives_null) {
    kiv_test::temp_dir dir;
    auto_ptr_t<i_image> img(kiv_gwx_test_read_snapshot(dir.file("none.bmp").c_str(), 4, 3));
    EXPECT_FALSE(img);
}

}  // namespace
