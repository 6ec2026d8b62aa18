// render_config_reload_test.cpp --
//
//     Reloading of render layers: change detection to the nanosecond, the
//     version a reload gives, a broken save that keeps the old look and is
//     not retried, the wait for images that hold the layer (on a driven
//     core clock), and images racing reloads.

#include <kiv_test/core_hooks.h>

#include "render/geometry_styles.h"
#include "render/renderer_layer.h"
#include "render_test_support.h"

#include <atomic>
#include <thread>

using namespace kiv;
using namespace kiv_test;

namespace {

// A layer named `name` with `lines` line styles.
std::string layer_text(const std::string& name, int lines) {
    std::string text = "<layer name='" + name + "' levels='0-16'>";
    for (int i = 0; i < lines; ++i)
        text += "<style type='line' color='FF0000' levels='0-16' features='1' width='1'/>";
    return text + "</layer>";
}

class reload_test : public ::testing::Test {
protected:
    // The core's entry starts the housekeeping thread, which advances the
    // core clock. It runs through the core's loader, as in a configuration
    // that lists the core itself (a plain call could bind to another
    // library's entry of the same name).
    void SetUp() override { ASSERT_NE(kiv_core()->load_library(KIV_CORE_LIBRARY), nullptr); }

    // Writes the layer file and sets its time.
    void save(const std::string& text, time_t seconds, long nanoseconds) {
        put_file(path, text);
        set_file_time(path, seconds, nanoseconds);
    }

    core_session session{false};
    temp_dir dir;
    std::string path = dir.file("layer.xml");
};

}  // namespace

TEST_F(reload_test, a_change_within_the_same_second_is_seen_and_moves_the_version) {
    const time_t t = 1700000000;
    save(layer_text("one", 1), t, 100);
    renderer_layer layer;
    ASSERT_TRUE(layer.load(path.c_str()));
    EXPECT_EQ(layer.get_version(), uint32_t(t));

    // Same time, new content: not read again.
    save(layer_text("two", 2), t, 100);
    EXPECT_TRUE(layer.reload());
    EXPECT_EQ(layer.get_name(), "one");
    EXPECT_EQ(layer.get_version(), uint32_t(t));

    // Same second, later nanoseconds: read, and the version still changes.
    save(layer_text("two", 2), t, 200);
    EXPECT_TRUE(layer.reload());
    EXPECT_EQ(layer.get_name(), "two");
    EXPECT_EQ(layer.styles(0).size(), 2u);
    EXPECT_EQ(layer.get_version(), uint32_t(t) + 1);

    // The next second equals that version: it moves on once more.
    save(layer_text("three", 3), t + 1, 0);
    EXPECT_TRUE(layer.reload());
    EXPECT_EQ(layer.get_name(), "three");
    EXPECT_EQ(layer.get_version(), uint32_t(t) + 2);

    // A later second is taken as it is; an older one counts as a change too.
    save(layer_text("four", 1), t + 60, 0);
    EXPECT_TRUE(layer.reload());
    EXPECT_EQ(layer.get_version(), uint32_t(t) + 60);
    save(layer_text("five", 1), t - 60, 0);
    EXPECT_TRUE(layer.reload());
    EXPECT_EQ(layer.get_name(), "five");
    EXPECT_EQ(layer.get_version(), uint32_t(t) - 60);
}

TEST_F(reload_test, a_broken_save_keeps_the_old_look_and_is_not_retried) {
    save(layer_text("good", 2), 1700000000, 0);
    renderer_layer layer;
    ASSERT_TRUE(layer.load(path.c_str()));

    trace_capture trace(dir.file("trace.log"));
    save("<layer name='bad' levels='0-16'><style type='circle'/></layer>", 1700000010, 0);
    EXPECT_FALSE(layer.reload());
    EXPECT_EQ(layer.get_name(), "good");
    EXPECT_EQ(layer.styles(0).size(), 2u);
    EXPECT_EQ(layer.get_version(), 1700000010u);  // noted before parsing
    std::string text = trace.text();
    EXPECT_NE(text.find("renderer_layer::init_styles: error: unknown render style 'circle'."), std::string::npos);
    EXPECT_NE(text.find("renderer_layer: error loading styles from configuration file '" + path + "'."),
              std::string::npos)
        << text;

    // Not retried while the time stays.
    EXPECT_TRUE(layer.reload());
    EXPECT_EQ(layer.get_name(), "good");

    // A save that does not parse at all.
    save("<layer name='half'", 1700000020, 0);
    EXPECT_FALSE(layer.reload());
    EXPECT_NE(trace.text().find("renderer_layer: error parsing configuration file '" + path + "'."),
              std::string::npos);
    EXPECT_EQ(layer.get_name(), "good");

    // The repaired file is taken.
    save(layer_text("fixed", 1), 1700000030, 0);
    EXPECT_TRUE(layer.reload());
    EXPECT_EQ(layer.get_name(), "fixed");
    EXPECT_NE(trace.text().find("renderer_layer: reloaded layer 'fixed' from '" + path + "'."), std::string::npos);

    // A vanished file keeps the layer as it is.
    ASSERT_EQ(std::remove(path.c_str()), 0);
    EXPECT_FALSE(layer.reload());
    EXPECT_EQ(layer.get_name(), "fixed");
}

TEST_F(reload_test, a_reload_gives_up_after_two_seconds_of_a_held_layer) {
    save(layer_text("old", 1), 1700000000, 0);
    renderer_layer layer;
    ASSERT_TRUE(layer.load(path.c_str()));
    save(layer_text("new", 2), 1700000050, 0);

    kiv_test_clock_drive(true);
    ASSERT_TRUE(layer.lock());
    std::atomic<bool> done{false};
    std::atomic<bool> result{true};
    std::thread reloader([&] {
        result = layer.reload();
        done = true;
    });
    // The core clock moves only when the test moves it; keep moving it
    // until the reload gives up.
    unsigned advanced_ms = 0;
    while (!done) {
        kiv_test_clock_advance(500);
        advanced_ms += 500;
        holds_within([&] { return done.load(); }, 100);
    }
    reloader.join();
    EXPECT_FALSE(result);
    // Two whole seconds on from a noted second take more than one second.
    EXPECT_GT(advanced_ms, 1000u);
    EXPECT_EQ(layer.get_name(), "old");
    EXPECT_EQ(layer.styles(0).size(), 1u);
    EXPECT_EQ(layer.get_version(), 1700000000u);  // not noted: the next tick tries again

    ASSERT_TRUE(layer.unlock());
    EXPECT_TRUE(layer.reload());
    EXPECT_EQ(layer.get_name(), "new");
    EXPECT_EQ(layer.get_version(), 1700000050u);
}

TEST_F(reload_test, a_reload_goes_on_as_soon_as_the_last_image_lets_go) {
    save(layer_text("old", 1), 1700000000, 0);
    renderer_layer layer;
    ASSERT_TRUE(layer.load(path.c_str()));
    save(layer_text("new", 2), 1700000050, 0);

    // With the core clock standing still the reload cannot give up, so
    // only the unlock below can end its wait.
    kiv_test_clock_drive(true);
    ASSERT_TRUE(layer.lock());
    ASSERT_TRUE(layer.lock());
    std::atomic<bool> done{false};
    std::atomic<bool> result{false};
    std::thread reloader([&] {
        result = layer.reload();
        done = true;
    });
    EXPECT_EQ(layer.get_name(), "old");  // the guard is free while the reload waits
    ASSERT_TRUE(layer.unlock());
    EXPECT_EQ(layer.styles(0).size(), 1u);  // one image still holds the old configuration
    ASSERT_TRUE(layer.unlock());
    reloader.join();
    EXPECT_TRUE(done);
    EXPECT_TRUE(result);
    EXPECT_EQ(layer.get_name(), "new");
    EXPECT_EQ(layer.styles(0).size(), 2u);
}

TEST_F(reload_test, images_never_see_half_a_configuration) {
    // Two looks of one layer, told apart by name, style count and levels.
    const std::string looks[2] = {"<layer name='a' levels='1-3'>", "<layer name='bb' levels='4-8'>"};
    auto text = [&](int look) {
        std::string body = looks[look];
        for (int i = 0; i < (look == 0 ? 1 : 5); ++i)
            body += "<style type='line' color='FF0000' levels='0-16' features='1' width='1'/>";
        return body + "</layer>";
    };
    save(text(0), 1700000000, 0);
    renderer_layer layer;
    ASSERT_TRUE(layer.load(path.c_str()));

    std::atomic<bool> stop{false};
    std::atomic<int> reloads{0};
    std::thread reloader([&] {
        for (int i = 1; i <= 40; ++i) {
            save(text(i % 2), 1700000000 + i, 0);
            if (layer.reload())
                ++reloads;
        }
        stop = true;
    });
    int images = 0;
    while (!stop || images == 0) {
        ASSERT_TRUE(layer.lock());
        std::string name = layer.get_name();
        size_t count = layer.styles(0).size();
        bool low = layer.is_visible(2);
        bool high = layer.is_visible(6);
        ASSERT_TRUE(layer.unlock());
        if (name == "a")
            ASSERT_TRUE(count == 1 && low && !high) << count;
        else
            ASSERT_TRUE(name == "bb" && count == 5 && !low && high) << name << " " << count;
        ++images;
    }
    reloader.join();
    EXPECT_EQ(reloads.load(), 40);
    EXPECT_EQ(layer.get_name(), "a");  // the last save was look 0
    EXPECT_EQ(layer.get_lock_count(), 0u);
}
