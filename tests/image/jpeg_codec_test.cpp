// jpeg_codec_test.cpp --
//
//     JPEG decoding of grey, progressive, CMYK, cut and oversized files
//     (oversized counting the coefficients a file of several scans makes
//     the decoder keep), of Pillow's progressive files, and the encoder:
//     quality, and white for every pixel that is not fully opaque.

#include <kiv/core/auto_ptr.h>
#include <kiv/image/image_lib.h>

#include "../core/test_util.h"
#include "core_environment.h"
#include "image_fixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace kiv;
using namespace kiv_test;

namespace {

auto_ptr_t<i_image> decode(const std::vector<uint8_t>& bytes) {
    return auto_ptr_t<i_image>(kiv_image_create_from_data(bytes.data(), unsigned(bytes.size()), 0, 0, 4));
}

// A smooth RGB picture, kind to JPEG's loss: r follows x, g follows y.
std::vector<uint8_t> smooth_rgb(unsigned width, unsigned height) {
    std::vector<uint8_t> out;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) {
            out.push_back(uint8_t(x * 255 / (width - 1)));
            out.push_back(uint8_t(y * 255 / (height - 1)));
            out.push_back(100);
        }
    return out;
}

void expect_smooth(i_image* img, unsigned width, unsigned height, int tolerance) {
    ASSERT_EQ(img->get_width(), width);
    ASSERT_EQ(img->get_height(), height);
    for (unsigned y = 0; y < height; y += 3)
        for (unsigned x = 0; x < width; x += 3) {
            rgba expected{uint8_t(x * 255 / (width - 1)), uint8_t(y * 255 / (height - 1)), 100, 255};
            ASSERT_TRUE(near(pixel(img, x, y), expected, tolerance)) << x << "," << y << " " << pixel(img, x, y);
        }
}

// Offset of the first start-of-frame marker's height field.
size_t frame_size_offset(const std::vector<uint8_t>& jpeg) {
    for (size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2))
            return i + 5;
    return 0;
}

// `jpeg` with its frame header claiming a width × height picture: the
// size a decoder allocates by, while the picture data stays as short as
// it was.
std::vector<uint8_t> with_frame_size(std::vector<uint8_t> jpeg, unsigned width, unsigned height) {
    size_t at = frame_size_offset(jpeg);
    EXPECT_NE(at, 0u);
    jpeg[at] = uint8_t(height >> 8);
    jpeg[at + 1] = uint8_t(height);
    jpeg[at + 2] = uint8_t(width >> 8);
    jpeg[at + 3] = uint8_t(width);
    return jpeg;
}

}  // namespace

TEST(jpeg_decode, baseline_and_progressive_rgb_give_the_same_picture) {
    std::vector<uint8_t> samples = smooth_rgb(48, 40);
    auto_ptr_t<i_image> baseline(decode(make_jpeg(48, 40, 3, JCS_RGB, samples)));
    auto_ptr_t<i_image> progressive(decode(make_jpeg(48, 40, 3, JCS_RGB, samples, jpeg_scans::progressive)));
    ASSERT_TRUE(baseline);
    ASSERT_TRUE(progressive);
    expect_smooth(baseline, 48, 40, 6);
    expect_smooth(progressive, 48, 40, 6);
}

TEST(jpeg_decode, grey_becomes_opaque_rgb_with_equal_channels) {
    std::vector<uint8_t> grey(16 * 16);
    for (size_t i = 0; i < grey.size(); ++i)
        grey[i] = i < grey.size() / 2 ? 60 : 200;
    auto_ptr_t<i_image> img(decode(make_jpeg(16, 16, 1, JCS_GRAYSCALE, grey)));
    ASSERT_TRUE(img);
    rgba top = pixel(img, 3, 2), bottom = pixel(img, 12, 13);
    EXPECT_TRUE(near(top, rgba{60, 60, 60, 255}, 3)) << top;
    EXPECT_TRUE(near(bottom, rgba{200, 200, 200, 255}, 3)) << bottom;
    EXPECT_EQ(top.r, top.g);
    EXPECT_EQ(top.g, top.b);
}

TEST(jpeg_decode, cmyk_has_no_rgb_conversion_and_is_refused) {
    std::vector<uint8_t> cmyk(8 * 8 * 4, 40);
    std::vector<uint8_t> jpeg = make_jpeg(8, 8, 4, JCS_CMYK, cmyk);
    EXPECT_FALSE(decode(jpeg));
}

TEST(jpeg_decode, a_cut_file_is_an_error_not_a_grey_fill) {
    temp_dir dir;
    trace_capture trace(dir.file("trace.log"));
    std::vector<uint8_t> jpeg = make_jpeg(64, 64, 3, JCS_RGB, smooth_rgb(64, 64));
    ASSERT_TRUE(decode(jpeg));
    for (size_t cut : {size_t(1), size_t(2), size_t(100), jpeg.size() / 2, jpeg.size() - 2}) {
        std::vector<uint8_t> part(jpeg.begin(), jpeg.begin() + long(cut));
        EXPECT_FALSE(decode(part)) << "cut at " << cut;
    }
    EXPECT_NE(trace.text().find("Premature end of JPEG file"), std::string::npos);
    std::vector<uint8_t> text(100, 'x');
    EXPECT_FALSE(decode(text));
}

TEST(jpeg_decode, picture_data_ending_at_an_early_marker_is_an_error) {
    std::vector<uint8_t> jpeg = make_jpeg(64, 64, 3, JCS_RGB, smooth_rgb(64, 64));
    // An end-of-image marker in the middle of the picture data: the rest
    // of the picture would be grey.
    std::vector<uint8_t> early(jpeg.begin(), jpeg.begin() + long(jpeg.size() * 3 / 4));
    early.push_back(0xFF);
    early.push_back(0xD9);
    EXPECT_FALSE(decode(early));
}

TEST(jpeg_decode, a_header_over_the_size_cap_is_refused_before_allocation) {
    temp_dir dir;
    trace_capture trace(dir.file("trace.log"));
    std::vector<uint8_t> jpeg = with_frame_size(make_jpeg(8, 8, 3, JCS_RGB, smooth_rgb(8, 8)), 65000, 65000);
    EXPECT_FALSE(decode(jpeg));
    EXPECT_NE(trace.text().find("JPEG load error: image too large"), std::string::npos) << trace.text();
}

TEST(jpeg_decode, a_file_of_several_scans_counts_its_coefficient_store_against_the_cap) {
    // Until its last scan is read, such a file is held as every DCT
    // coefficient of the picture: 2 bytes a sample at each component's
    // sampling, blocks rounded up to whole sampling units. With the
    // pixels (4 bytes each) it must stay within 1 GiB. The files are
    // 16 × 16 ones whose frame header claims a larger size: one that
    // passes the check then fails on its missing picture data.
    const std::vector<uint8_t> grey(16 * 16, 128);
    const std::vector<uint8_t> colour = smooth_rgb(16, 16);
    struct {
        const char* what;
        int components;  // 1 grey; 3 colour, luma at 2 × 2 sampling
        jpeg_scans scans;
        unsigned width, height;
        bool too_large;
    } cases[] = {
        {"grey, progressive, 6 bytes a pixel at the cap", 1, jpeg_scans::progressive, 13376, 13376, false},
        {"grey, progressive, one block row more", 1, jpeg_scans::progressive, 13376, 13384, true},
        {"grey, progressive, 16384 square", 1, jpeg_scans::progressive, 16384, 16384, true},
        {"colour, progressive, 7 bytes a pixel at the cap", 3, jpeg_scans::progressive, 12384, 12384, false},
        {"colour, progressive, whole luma units under the cap", 3, jpeg_scans::progressive, 12064, 12704, false},
        {"colour, progressive, half a luma unit more, counted whole", 3, jpeg_scans::progressive, 12064, 12712,
         true},
        {"colour, progressive, 16384 square", 3, jpeg_scans::progressive, 16384, 16384, true},
        {"colour, a scan a component, at the cap", 3, jpeg_scans::per_component, 12384, 12384, false},
        {"colour, a scan a component, 16384 square", 3, jpeg_scans::per_component, 16384, 16384, true},
        {"colour, one scan, the pixels alone fill the cap", 3, jpeg_scans::one, 16384, 16384, false},
    };
    temp_dir dir;
    trace_capture trace(dir.file("trace.log"));
    std::string file = dir.file("claimed.jpg");
    for (const auto& c : cases) {
        std::vector<uint8_t> small =
            make_jpeg(16, 16, c.components, c.components == 1 ? JCS_GRAYSCALE : JCS_RGB,
                      c.components == 1 ? grey : colour, c.scans);
        ASSERT_TRUE(decode(small)) << c.what;
        write_file(file, with_frame_size(small, c.width, c.height));
        size_t seen = trace.text().size();
        EXPECT_FALSE(auto_ptr_t<i_image>(kiv_image_load(file.c_str()))) << c.what;
        const char* cause = c.too_large ? "JPEG load error: image too large"
                                        : "JPEG load error: Corrupt JPEG data: premature end of data segment";
        std::string said = trace.text().substr(seen);
        EXPECT_NE(said.find(cause), std::string::npos) << c.what << ": " << said;
    }
}

TEST(jpeg_decode, progressive_files_from_pillow_decode_as_pillow_reads_them) {
    // Another encoder's progressive files, of a photo's size among
    // them, and sides that are not whole blocks: the cap leaves ordinary
    // pictures alone.
    if (run_command("/usr/bin/python3 -c 'import PIL' 2>/dev/null") != 0)
        GTEST_SKIP() << "python3-pil is not installed (scripts/setup installs it)";
    const std::string script =
        "import sys; from PIL import Image\n"
        "path, mode, w, h, sub = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])\n"
        "g = Image.linear_gradient('L')\n"
        "im = Image.merge('RGB', (g.resize((w, h)), g.rotate(90).resize((w, h)), "
        "Image.radial_gradient('L').resize((w, h))))\n"
        "im.convert(mode).save(path, 'JPEG', progressive=True, quality=90, subsampling=sub)\n";
    struct {
        const char* mode;
        unsigned width, height;
        int subsampling;  // Pillow's: 0 is 4:4:4, 2 is 4:2:0
    } cases[] = {
        {"RGB", 2048, 1365, 2},
        {"RGB", 641, 479, 0},
        {"L", 1203, 997, 0},
    };
    temp_dir dir;
    std::string file = dir.file("pillow.jpg");
    for (const auto& c : cases) {
        std::string label = std::string(c.mode) + " " + std::to_string(c.width) + "x" + std::to_string(c.height);
        ASSERT_EQ(run_command("/usr/bin/python3 -c " + shell_quoted(script) + " " + shell_quoted(file) + " " +
                              c.mode + " " + std::to_string(c.width) + " " + std::to_string(c.height) + " " +
                              std::to_string(c.subsampling)),
                  0)
            << label;
        ASSERT_NE(read_all(file).find("\xFF\xC2"), std::string::npos) << label << ": not progressive";
        auto_ptr_t<i_image> img(kiv_image_load(file.c_str()));
        ASSERT_TRUE(img) << label;
        ASSERT_EQ(img->get_width(), c.width) << label;
        ASSERT_EQ(img->get_height(), c.height) << label;
        std::vector<uint8_t> pillow = pillow_rgba(file);
        ASSERT_EQ(pillow.size(), img->get_data_size()) << label;
        EXPECT_EQ(std::memcmp(pillow.data(), img->get_data(), pillow.size()), 0) << label;
    }
}

TEST(jpeg_encode, pixels_not_fully_opaque_become_white) {
    std::vector<rgba> pixels(16 * 16, rgba{200, 30, 30, 255});
    for (unsigned y = 0; y < 8; ++y)
        for (unsigned x = 0; x < 8; ++x)
            pixels[y * 16 + x] = rgba{200, 30, 30, 254};
    auto_ptr_t<i_image> img(image_from(16, 16, pixels));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> jpeg(img->get_binary_data(4, 95));
    ASSERT_TRUE(jpeg);
    auto_ptr_t<i_image> back(decode(bytes_of(jpeg)));
    ASSERT_TRUE(back);
    EXPECT_TRUE(near(pixel(back, 2, 2), rgba{255, 255, 255, 255}, 4)) << pixel(back, 2, 2);
    EXPECT_TRUE(near(pixel(back, 13, 13), rgba{200, 30, 30, 255}, 8)) << pixel(back, 13, 13);
}

TEST(jpeg_encode, quality_reaches_the_encoder) {
    std::vector<rgba> pixels;
    for (unsigned i = 0; i < 64 * 64; ++i)
        pixels.push_back(rgba{uint8_t(i * 7), uint8_t(i * 13), uint8_t(i * 29), 255});
    auto_ptr_t<i_image> img(image_from(64, 64, pixels));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> low(img->get_binary_data(4, 10));
    auto_ptr_t<i_binary> high(img->get_binary_data(4, 95));
    ASSERT_TRUE(low && high);
    EXPECT_LT(low->get_data_size() * 2, high->get_data_size());
}

TEST(jpeg_encode, a_round_trip_stays_close) {
    std::vector<uint8_t> samples = smooth_rgb(40, 24);
    std::vector<rgba> pixels;
    for (size_t i = 0; i < samples.size(); i += 3)
        pixels.push_back(rgba{samples[i], samples[i + 1], samples[i + 2], 255});
    auto_ptr_t<i_image> img(image_from(40, 24, pixels));
    ASSERT_TRUE(img);
    auto_ptr_t<i_binary> jpeg(img->get_binary_data(4, 95));
    auto_ptr_t<i_image> back(decode(bytes_of(jpeg)));
    ASSERT_TRUE(back);
    expect_smooth(back, 40, 24, 6);
}
