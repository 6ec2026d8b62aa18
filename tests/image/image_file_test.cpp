// image_file_test.cpp --
//
//     Saved pictures appear whole or not at all: an encoder or a write
//     that fails half-way leaves the previous file as it was and no
//     temporary file beside it. The failing writes run in a child process
//     whose file size limit is lowered, so the disk really refuses them.

#include <kiv/core/auto_ptr.h>
#include <kiv/image/image_lib.h>

#include "../core/test_util.h"
#include "core_environment.h"
#include "image_fixtures.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <random>
#include <sys/resource.h>
#include <unistd.h>

using namespace kiv;
using namespace kiv_test;

namespace {

size_t entries_in(const std::string& dir) {
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        (void)entry;
        ++n;
    }
    return n;
}

// Noise compresses badly, so every format writes well past a few KB.
auto_ptr_t<i_image> noise(unsigned width, unsigned height) {
    std::mt19937 random(7);
    std::vector<rgba> pixels;
    for (unsigned i = 0; i < width * height; ++i) {
        uint32_t v = random();
        pixels.push_back(rgba{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24 | 1)});
    }
    return image_from(width, height, pixels);
}

// In a child process: files may not grow past 4 KB; exits 0 when the
// save failed, the old file is intact and nothing else was left.
void save_past_the_size_limit(const std::string& dir, const std::string& target, unsigned char format) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {4096, 4096};
    setrlimit(RLIMIT_FSIZE, &limit);
    auto_ptr_t<i_image> img(noise(200, 200));
    bool saved = img->save_image(target.c_str(), format, 100);
    bool intact = read_all(target) == "old picture";
    bool alone = entries_in(dir) == 1;
    _exit(!saved && intact && alone ? 0 : 1);
}

}  // namespace

TEST(image_save, a_write_cut_short_leaves_the_old_file_and_no_temporary_one) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    temp_dir dir;
    std::string target = dir.file("picture");
    write_file(target, {'o', 'l', 'd', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e'});
    for (unsigned char format : {2, 3, 4, 5, 6}) {
        EXPECT_EXIT(save_past_the_size_limit(dir.path(), target, format), ::testing::ExitedWithCode(0), "")
            << "format " << int(format);
    }
    EXPECT_EQ(read_all(target), "old picture");
}

TEST(image_save, a_successful_save_replaces_the_file_and_leaves_nothing_else) {
    temp_dir dir;
    std::string target = dir.file("picture.png");
    write_file(target, {'o', 'l', 'd'});
    auto_ptr_t<i_image> img(noise(30, 20));
    ASSERT_TRUE(img);
    for (unsigned char format : {2, 3, 4, 5, 6}) {
        ASSERT_TRUE(img->save_image(target.c_str(), format, 80)) << int(format);
        EXPECT_EQ(entries_in(dir.path()), 1u) << int(format);
    }
    EXPECT_EQ(read_all(target).size(), 30u * 20 * 4);  // the raw picture came last
}

TEST(image_save, a_file_holds_the_same_bytes_as_the_memory_encoding) {
    temp_dir dir;
    auto_ptr_t<i_image> img(noise(40, 30));
    ASSERT_TRUE(img);
    struct {
        unsigned char format, quality;
    } cases[] = {{2, 100}, {2, 99}, {2, 50}, {3, 60}, {4, 95}, {6, 100}};
    for (const auto& c : cases) {
        ASSERT_TRUE(img->save_image(dir.file("same").c_str(), c.format, c.quality));
        auto_ptr_t<i_binary> memory(img->get_binary_data(c.format, c.quality));
        ASSERT_TRUE(memory);
        std::string file = read_all(dir.file("same"));
        EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.end()), bytes_of(memory)) << int(c.format);
    }
}

TEST(image_save, a_missing_folder_is_a_failure_without_side_effects) {
    temp_dir dir;
    auto_ptr_t<i_image> img(kiv_image_create(2, 2, 0xFFFFFFFF));
    ASSERT_TRUE(img);
    EXPECT_FALSE(img->save_image(dir.file("no/such/folder/a.png").c_str(), 2, 100));
    EXPECT_EQ(entries_in(dir.path()), 0u);
}
