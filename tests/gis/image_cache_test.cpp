// image_cache_test.cpp --
//
//     The rendered-image cache behind kiv_gis_get_image, with a driver
//     whose pictures are a function of the viewport: the exact path of a
//     cached picture, a miss that writes it, a hit that returns the same
//     pixels without rendering, a file of the wrong size or a damaged
//     one rendered again and replaced, use_cache false touching nothing,
//     the cache switched off or put in a relative folder, and eight
//     threads asking for the same pictures at once.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/files.h>
#include <kiv/gis/gis_lib.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>

#include "drawing_driver.h"
#include "gis_session.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

using namespace kiv;
using namespace kiv_test;

namespace {

// The cached file of the 100 x 100 view centred on (0, 0) at 1:100000,
// layers "roads", no tags, renderer version 0x80000005.
const char* const centre_file = "5/100000/-1780574727/0/-0.018994_0.019097_0.018994_-0.019097_100_100.png";

auto_ptr_t<i_gis_viewport> centre_view(unsigned scale = 100000) {
    auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(100, 100));
    EXPECT_TRUE(vp && vp->set_center(0, 0, scale));
    return vp;
}

// Names of the entries of a folder ("" when it cannot be listed).
std::vector<std::string> listing(const std::string& dir) {
    std::vector<std::string> out;
    auto_ptr_t<i_object_col> names(kiv_scan_dir(dir.c_str(), "*", 0));
    for (unsigned i = 0; names && i < names->get_count(); ++i) {
        auto_ptr_t<i_object> item(names->get_item_by_pos(i));
        out.push_back(kiv_cast_i_string(item)->get_value());
    }
    return out;
}

class image_cache : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(session.svc->add_driver(drawer)); }

    gis_session session;
    auto_ptr_t<drawing_driver> drawer = make_drawing_driver("ozm", 0x80000005u);
};

TEST_F(image_cache, miss_writes_the_file_and_hit_gives_its_pixels_without_rendering) {
    auto vp = centre_view();
    auto_ptr_t<i_image> expected(draw_view(vp));
    auto_ptr_t<i_image> first(kiv_gis_get_image(vp, "roads", "", true));
    EXPECT_TRUE(same_pixels(first, expected));
    EXPECT_EQ(drawer->renders.load(), 1);
    const std::string file = session.cache_root + "/" + centre_file;
    ASSERT_TRUE(kiv_file_exists(file.c_str())) << file;
    // Only the picture is left in its folder: no temporary file.
    EXPECT_EQ(listing(file.substr(0, file.rfind('/'))),
              std::vector<std::string>{"-0.018994_0.019097_0.018994_-0.019097_100_100.png"});

    auto_ptr_t<i_image> second(kiv_gis_get_image(vp, "roads", "", true));
    EXPECT_TRUE(same_pixels(second, expected));
    EXPECT_NE(second.get(), first.get());
    EXPECT_EQ(drawer->renders.load(), 1);
    EXPECT_EQ(drawer->renderers.load(), 2);  // a renderer is made each time

    // Another scale, layer list or tag list is another picture.
    auto other = centre_view(200000);
    auto_ptr_t<i_image> third(kiv_gis_get_image(other, "roads", "", true));
    auto_ptr_t<i_image> fourth(kiv_gis_get_image(vp, "roads", "city", true));
    EXPECT_EQ(drawer->renders.load(), 3);
    EXPECT_TRUE(kiv_dir_exists((session.cache_root + "/5/200000").c_str()));
}

TEST_F(image_cache, a_wrong_or_damaged_file_is_rendered_again_and_replaced) {
    auto vp = centre_view();
    auto_ptr_t<i_image> expected(draw_view(vp));
    const std::string file = session.cache_root + "/" + centre_file;
    auto_ptr_t<i_image> primed(kiv_gis_get_image(vp, "roads", "", true));
    ASSERT_TRUE(kiv_file_exists(file.c_str()));
    struct row {
        const char* what;
        void (*spoil)(const std::string& file);
    };
    const row rows[] = {
        {"another size", [](const std::string& f) {
             auto_ptr_t<i_image> small(kiv_image_create(10, 10, 0xFF0000FFu));
             ASSERT_TRUE(small->save_image(f.c_str(), 2, 100));
         }},
        {"not a picture", [](const std::string& f) { std::ofstream(f, std::ios::trunc) << "not a png"; }},
        {"cut short", [](const std::string& f) {
             std::string bytes = read_all(f);
             std::ofstream(f, std::ios::trunc | std::ios::binary) << bytes.substr(0, bytes.size() / 2);
         }},
    };
    int renders = drawer->renders.load();
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        r.spoil(file);
        auto_ptr_t<i_image> img(kiv_gis_get_image(vp, "roads", "", true));
        EXPECT_TRUE(same_pixels(img, expected));
        EXPECT_EQ(drawer->renders.load(), ++renders);
        auto_ptr_t<i_image> stored(kiv_image_load(file.c_str()));
        EXPECT_TRUE(same_pixels(stored, expected));
    }
}

TEST_F(image_cache, without_use_cache_nothing_is_read_or_written) {
    auto vp = centre_view();
    auto_ptr_t<i_image> expected(draw_view(vp));
    auto_ptr_t<i_image> none(kiv_gis_get_image(vp, "roads", "", false));
    EXPECT_TRUE(same_pixels(none, expected));
    EXPECT_TRUE(listing(session.cache_root).empty());

    // A cached picture of the right size but other pixels is not read.
    const std::string file = session.cache_root + "/" + centre_file;
    auto_ptr_t<i_image> primed(kiv_gis_get_image(vp, "roads", "", true));
    auto_ptr_t<i_image> plain(kiv_image_create(100, 100, 0xFF00FF00u));
    ASSERT_TRUE(plain->save_image(file.c_str(), 2, 100));
    const std::string before = read_all(file);
    auto_ptr_t<i_image> again(kiv_gis_get_image(vp, "roads", "", false));
    EXPECT_TRUE(same_pixels(again, expected));
    EXPECT_EQ(read_all(file), before);
    EXPECT_EQ(drawer->renders.load(), 3);
}

TEST(image_cache_settings, disable_switches_it_off_and_other_names_are_folders) {
    {
        gis_session session("disable");
        auto drawer = make_drawing_driver("ozm", 0x80000005u);
        ASSERT_TRUE(session.svc->add_driver(drawer));
        auto vp = centre_view();
        auto_ptr_t<i_image> a(kiv_gis_get_image(vp, "roads", "", true));
        auto_ptr_t<i_image> b(kiv_gis_get_image(vp, "roads", "", true));
        EXPECT_TRUE(a && b);
        EXPECT_EQ(drawer->renders.load(), 2);
        EXPECT_FALSE(kiv_file_exists(session.root.file("disable").c_str()));
        EXPECT_FALSE(kiv_file_exists((std::string(kiv_temp_path()) + "/gis_cache/" + centre_file).c_str()));
    }
    {
        // Case matters, and a relative root lies under KIV_ROOT_PATH.
        gis_session session("Disable");
        auto drawer = make_drawing_driver("ozm", 0x80000005u);
        ASSERT_TRUE(session.svc->add_driver(drawer));
        auto vp = centre_view();
        auto_ptr_t<i_image> a(kiv_gis_get_image(vp, "roads", "", true));
        EXPECT_TRUE(kiv_file_exists(session.root.file(std::string("Disable/") + centre_file).c_str()));
    }
}

TEST_F(image_cache, eight_threads_asking_at_once_all_get_whole_pictures) {
    const unsigned scales[] = {50000, 100000, 200000, 400000};
    std::vector<auto_ptr_t<i_image>> expected;
    for (unsigned scale : scales)
        expected.emplace_back(draw_view(centre_view(scale)));
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            ++ready;
            while (!go.load())
                std::this_thread::yield();
            for (int round = 0; round < 3; ++round) {
                for (size_t i = 0; i < 4; ++i) {
                    size_t k = (i + static_cast<size_t>(t)) % 4;
                    auto vp = centre_view(scales[k]);
                    auto_ptr_t<i_image> img(kiv_gis_get_image(vp, "roads", "", true));
                    if (!same_pixels(img, expected[k]))
                        ++bad;
                }
            }
        });
    }
    while (ready.load() != 8)
        std::this_thread::yield();
    go = true;
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(bad.load(), 0);
    // At most every thread missed once per picture; the files are whole.
    EXPECT_LE(drawer->renders.load(), 8 * 4);
    for (size_t k = 0; k < 4; ++k) {
        auto vp = centre_view(scales[k]);
        int renders = drawer->renders.load();
        auto_ptr_t<i_image> img(kiv_gis_get_image(vp, "roads", "", true));
        EXPECT_TRUE(same_pixels(img, expected[k]));
        EXPECT_EQ(drawer->renders.load(), renders);
    }
}

}  // namespace
