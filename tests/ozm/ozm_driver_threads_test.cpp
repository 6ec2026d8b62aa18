// ozm_driver_threads_test.cpp --
//
//     Renderers drawing on several threads while the maps folder changes
//     under a rescan and the idle pages are released: every image comes
//     out whole, and when everything is done no page is locked and every
//     layer is free; a rescan waiting on a slow file keeps no render
//     waiting. Large fills swept in blocks of rows on pool workers give
//     the pictures drawn on one thread.

#include <kiv/core/checksum.h>
#include <kiv/core/env.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>

#include "../../bench/ozm_town.h"

#include "driver_test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

using namespace kiv;
using namespace kiv_test;

namespace {

// A driver over one map "a" and one layer.
class driver_threads : public ::testing::Test {
protected:
    void SetUp() override {
        a.name = "a";
        folder.add_map("a.ozm", a);
        folder.add_layer("l.xml", layer_text("l", 0));
        driver = start_driver(folder);
        ASSERT_TRUE(driver);
    }
    core_session session{false};
    driver_folder folder;
    test_map a;
    auto_ptr_t<ozm_driver> driver;
};

TEST_F(driver_threads, images_drawn_while_maps_are_rescanned_come_out_whole) {

    constexpr int images_per_thread = 40;
    std::atomic<int> images{0};
    std::atomic<int> failures{0};
    auto draw = [&]() {
        for (int i = 0; i < images_per_thread; ++i) {
            auto_ptr_t<i_gis_viewport> vp = home_view(1500u << (i % 10), 64, 48);
            auto_ptr_t<i_gis_renderer> r(driver->create_renderer(vp, "", ""));
            auto_ptr_t<i_image> img(r ? r->render_image(false) : nullptr);
            if (!img || img->get_width() != 64 || img->get_height() != 48)
                ++failures;
            ++images;
        }
    };
    std::thread first(draw);
    std::thread second(draw);
    // Replace the map by rename and rescan until both threads are done.
    std::string fresh = folder.dir.file("fresh.ozm");
    for (int round = 0; images.load() < 2 * images_per_thread; ++round) {
        test_map m = a;
        m.version = uint32_t(round + 2);
        ASSERT_TRUE(write_test_map(fresh, m));
        ASSERT_EQ(std::rename(fresh.c_str(), folder.map_path("a.ozm").c_str()), 0);
        EXPECT_TRUE(driver->load_maps(false));
        auto_ptr_t<i_object_col> maps(driver->get_maps(""));
        ASSERT_TRUE(maps);
        EXPECT_EQ(maps->get_count(), 1u);
    }
    first.join();
    second.join();
    EXPECT_EQ(failures.load(), 0);
    for (renderer_layer* layer : driver->layers_by_priority())
        EXPECT_EQ(layer->get_lock_count(), 0u);
    auto_ptr_t<i_object_col> maps(driver->get_maps(""));
    ASSERT_TRUE(maps);
    auto_ptr_t<i_object> item(maps->get_item_by_pos(0));
    ozm_map* map = dynamic_cast<ozm_map*>(kiv_cast_i_gis_map(item));
    ASSERT_NE(map, nullptr);
    for (uint32_t p = 0; p < map->file().header().page_count; ++p)
        EXPECT_EQ(map->page_lock_count(p), 0u);
}

}  // namespace

namespace {

// Returns: true when thread `tid` of this process sleeps in openat.
bool sleeps_in_open(pid_t tid) {
    std::string task = "/proc/self/task/" + std::to_string(tid);
    std::string syscall = read_all(task + "/syscall");
    std::string stat = read_all(task + "/stat");
    size_t state = stat.rfind(')');
    return syscall.rfind("257 ", 0) == 0 && state != std::string::npos && stat.compare(state, 4, ") S ") == 0;
}

TEST_F(driver_threads, a_render_is_not_kept_waiting_by_a_rescan_reading_a_slow_file) {

    // The map's file becomes a pipe: the rescan's header check waits in
    // its open until someone opens the other end, like a read from a
    // folder that does not answer.
    std::string pipe = folder.dir.file("slow");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    ASSERT_EQ(std::rename(pipe.c_str(), folder.map_path("a.ozm").c_str()), 0);
    std::atomic<pid_t> scan_tid{0};
    std::thread scan([&]() {
        scan_tid = gettid();
        driver->load_maps(true);
    });
    while (scan_tid.load() == 0 || !sleeps_in_open(scan_tid.load()))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    // A whole image while the rescan waits.
    std::atomic<bool> drawn{false};
    std::thread render([&]() {
        auto_ptr_t<i_gis_viewport> vp = home_view(12000, 64, 48);
        auto_ptr_t<i_gis_renderer> r(driver->create_renderer(vp, "", ""));
        auto_ptr_t<i_image> img(r ? r->render_image(false) : nullptr);
        drawn = img && img->get_width() == 64;
    });
    // A render that waited for the rescan would never be drawn.
    while (!drawn.load())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));

    // Let the rescan go on: it finds the map's file changed and unloads
    // it. The writer stays open so a later open of the pipe does not wait.
    int writer = open(folder.map_path("a.ozm").c_str(), O_RDWR | O_NONBLOCK);
    EXPECT_GE(writer, 0);
    scan.join();
    render.join();
    if (writer >= 0)
        close(writer);
    auto_ptr_t<i_object_col> maps(driver->get_maps(""));
    ASSERT_TRUE(maps);
    EXPECT_EQ(maps->get_count(), 0u);
}

// A driver over a generated town, drawn with the demo's layers, and the
// core's library not yet loaded. The clocks are driven, so no background
// event takes a pool worker.
class rows_on_pool_workers : public ::testing::Test {
protected:
    void SetUp() override {
        kiv_set_env("KIV_FONT_PATH", "/usr/share/fonts/truetype/dejavu");
        ASSERT_TRUE(kiv_bench::write_generated_town(dir.file("town.ozm"), 40));
        driver = auto_ptr_t<ozm_driver>(new ozm_driver);
        driver->addref();
        ASSERT_TRUE(driver->init(dir.path().c_str(), OZM_DEMO_DIR "/render"));
    }
    void TearDown() override { kiv_set_env("KIV_FONT_PATH", ""); }

    core_session session{false, false, true};
    temp_dir dir;
    auto_ptr_t<ozm_driver> driver;
};

// Once the core's library runs its worker pool, the renderer hands blocks
// of rows of large fills to pool workers; the town's pictures must not
// change by a bit. The idle workers afterwards are the renderer's helpers.
TEST_F(rows_on_pool_workers, pictures_equal_those_drawn_on_the_callers_thread_alone) {
    auto draw_levels = [&] {
        std::vector<uint32_t> sums;
        for (unsigned level = 0; level < 6; ++level) {
            auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(1024, 768));
            EXPECT_TRUE(vp && vp->set_center(53.90, 27.55, 1500u << level));
            auto_ptr_t<i_gis_renderer> r(vp ? driver->create_renderer(vp, "", "") : nullptr);
            auto_ptr_t<i_image> img(r ? r->render_image(false) : nullptr);
            sums.push_back(img ? kiv_crc32(img->get_data(), img->get_data_size(), 0) : 0);
        }
        return sums;
    };
    const std::vector<uint32_t> alone = draw_levels();
    ASSERT_NE(kiv_core()->load_library(KIV_CORE_LIBRARY), nullptr);
    ASSERT_EQ(kiv_test_idle_workers(), 0);
    EXPECT_EQ(draw_levels(), alone);
    eventually([] { return kiv_test_idle_workers() > 0; });
}

// The core shuts down while two threads draw large images with pool
// workers: the workers leave their crews, so no thread started through
// the core is left when kiv_terminate returns, and the images drawn after
// it (on their callers alone) still come out whole.
TEST_F(rows_on_pool_workers, the_core_ends_with_no_worker_left_while_two_threads_draw) {
    ASSERT_NE(kiv_core()->load_library(KIV_CORE_LIBRARY), nullptr);
    std::atomic<bool> stop{false};
    std::atomic<int> images{0}, failures{0};
    auto draw = [&] {
        while (!stop) {
            auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(1024, 768));
            auto_ptr_t<i_gis_renderer> r(vp && vp->set_center(53.90, 27.55, 1500u << 2)
                                             ? driver->create_renderer(vp, "", "")
                                             : nullptr);
            auto_ptr_t<i_image> img(r ? r->render_image(false) : nullptr);
            if (!img || img->get_width() != 1024)
                ++failures;
            ++images;
        }
    };
    std::thread first(draw), second(draw);
    eventually([&] { return images.load() >= 6; });
    kiv_terminate();
    session.started = false;
    EXPECT_EQ(kiv_test_threads_count(), 0);
    const int at_end = images.load();
    eventually([&] { return images.load() >= at_end + 4; });
    stop = true;
    first.join();
    second.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
