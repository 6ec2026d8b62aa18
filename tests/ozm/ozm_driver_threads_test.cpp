// ozm_driver_threads_test.cpp --
//
//     Renderers drawing on several threads while the maps folder changes
//     under a rescan and the idle pages are released: every image comes
//     out whole, and when everything is done no page is locked and every
//     layer is free; a rescan waiting on a slow file keeps no render
//     waiting.

#include <kiv/image/i_image.h>

#include "driver_test_support.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

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
    bool waiting = false;
    for (int i = 0; i < 3000 && !waiting; ++i) {
        waiting = scan_tid.load() != 0 && sleeps_in_open(scan_tid.load());
        if (!waiting)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(waiting);

    // A whole image while the rescan waits.
    std::atomic<bool> drawn{false};
    std::thread render([&]() {
        auto_ptr_t<i_gis_viewport> vp = home_view(12000, 64, 48);
        auto_ptr_t<i_gis_renderer> r(driver->create_renderer(vp, "", ""));
        auto_ptr_t<i_image> img(r ? r->render_image(false) : nullptr);
        drawn = img && img->get_width() == 64;
    });
    for (int i = 0; i < 3000 && !drawn.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(drawn.load()) << "the render waited for the rescan";

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

}  // namespace
