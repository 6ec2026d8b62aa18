// config_test.cpp --
//
//     The XML configuration (variables in document order with path and
//     ${VAR} values, libraries by priority with the platform filter and
//     ignore_error, the core's own entry run through the loader) and
//     environment files (comments, "^", "=" in values, CR LF) with the
//     watcher that applies a file again when its modification time
//     changes.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/config.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_kiv_library.h>
#include <kiv/core/i_object_col.h>
#include <kiv_test/core_hooks.h>

#include "core_session.h"
#include "loader_support.h"

#include <utime.h>

#include <atomic>
#include <fstream>
#include <string>
#include <vector>

using namespace kiv;
using kiv_test::env_override;
using kiv_test::event_recorder;
using kiv_test::install_fixture;

namespace {

std::string env(const char* name) {
    std::string value;
    return kiv_get_env(name, value) ? value : "<unset>";
}

// Helpers over a session; the session itself is made by each fixture.
class config_base : public ::testing::Test {
protected:
    explicit config_base(kiv_test::core_session* session) : session_(session) {}

    std::string root() const { return session_->root.path(); }
    std::string file(const std::string& name) const { return session_->root.file(name); }
    void write(const std::string& name, const std::string& text) {
        std::ofstream(file(name), std::ios::binary) << text;
    }
    // Writes config.xml with `body` inside <config> and applies it.
    bool load_config(const std::string& body) {
        write("config.xml", "<config>" + body + "</config>");
        return kiv_load_config("config.xml");
    }
    // Returns: the file names the recorded libraries were loaded from.
    std::vector<std::string> loaded_files() {
        std::vector<std::string> out;
        auto_ptr_t<i_object_col> col(kiv_core()->get_libraries());
        for (unsigned i = 0; i < col->get_count(); ++i) {
            auto_ptr_t<i_object> item(col->get_item_by_pos(i));
            std::string path = kiv_cast_i_kiv_library(item)->get_path();
            out.push_back(path.substr(path.rfind('/') + 1));
        }
        return out;
    }
    // Installs copies of the good fixture under the root as NAME.so.
    void install_good(std::initializer_list<const char*> names) {
        for (const char* name : names)
            install_fixture("kiv_test_good", root(), std::string(name) + ".so");
    }
    // Returns: the watcher made by kiv_load_environment, or null.
    env_config_reloader* watcher() {
        watcher_.reset(kiv_core()->get_service("env_config_reloader"));
        return kiv_cast_env_config_reloader(watcher_);
    }

private:
    kiv_test::core_session* session_;
    auto_ptr_t<i_object> watcher_;

protected:
    env_override path{"PATH", kiv_test::output_dir()};
};

// The core entered, but without its event service: nothing runs the
// watcher's passes but the test itself.
class config : public config_base {
protected:
    config() : config_base(&session) {}
    kiv_test::core_session session{true, true};
};

// The core not entered yet: the configuration enters it.
class config_core : public config_base {
protected:
    config_core() : config_base(&session) {}
    kiv_test::core_session session{false};
};

// The whole core with its event service and threads.
class config_events : public config_base {
protected:
    config_events() : config_base(&session) {}
    kiv_test::core_session session;
};

}  // namespace

TEST_F(config, libraries_load_by_priority_with_ties_in_document_order) {
    install_good({"kiv_a", "kiv_b", "kiv_c", "kiv_d", "kiv_e"});
    EXPECT_TRUE(load_config("<libraries>"
                            "<library path='kiv_a' priority='5'/>"
                            "<library path='kiv_b' priority='10'/>"
                            "<library path='kiv_c' priority='5'/>"
                            "<library path='kiv_d' priority='-1'/>"
                            "<library path='kiv_e'/>"
                            "</libraries>"));
    EXPECT_EQ(loaded_files(), (std::vector<std::string>{"kiv_b.so", "kiv_a.so", "kiv_c.so", "kiv_e.so"}));
}

TEST_F(config, priorities_beyond_the_range_of_int_are_clamped) {
    install_good({"kiv_a", "kiv_b", "kiv_c"});
    EXPECT_TRUE(load_config("<libraries>"
                            "<library path='kiv_a' priority='99999999999999999999'/>"
                            "<library path='kiv_b' priority='-99999999999999999999'/>"
                            "<library path='kiv_c' priority='x7'/>"
                            "</libraries>"));
    EXPECT_EQ(loaded_files(), (std::vector<std::string>{"kiv_a.so", "kiv_c.so"}));
}

TEST_F(config, entries_for_another_platform_are_skipped) {
    install_good({"kiv_a", "kiv_b", "kiv_c"});
    EXPECT_TRUE(load_config("<variables>"
                            "<variable name='KIV_CT_WIN' value='yes' platform='Win32'/>"
                            "<variable name='KIV_CT_LINUX' value='yes' platform='linux'/>"
                            "</variables>"
                            "<libraries>"
                            "<library path='kiv_a' platform='WIN32'/>"
                            "<library path='kiv_b' platform='linux'/>"
                            "<library path='kiv_c' platform=''/>"
                            "</libraries>"));
    EXPECT_EQ(loaded_files(), (std::vector<std::string>{"kiv_a.so", "kiv_c.so"}));
    EXPECT_EQ(env("KIV_CT_WIN"), "yes");
    EXPECT_EQ(env("KIV_CT_LINUX"), "<unset>");
    kiv_set_env("KIV_CT_WIN", nullptr);
}

TEST_F(config, a_failing_library_ends_the_configuration_and_keeps_what_was_loaded) {
    install_good({"kiv_a", "kiv_b"});
    install_fixture("kiv_test_failing", root(), "kiv_bad.so");
    EXPECT_FALSE(load_config("<libraries>"
                             "<library path='kiv_a' priority='3'/>"
                             "<library path='kiv_bad' priority='2'/>"
                             "<library path='kiv_b' priority='1'/>"
                             "</libraries>"));
    EXPECT_EQ(loaded_files(), (std::vector<std::string>{"kiv_a.so", "kiv_bad.so"}));
}

TEST_F(config, ignore_error_lets_a_failed_or_missing_library_pass) {
    install_good({"kiv_a"});
    install_fixture("kiv_test_failing", root(), "kiv_bad.so");
    EXPECT_TRUE(load_config("<libraries>"
                            "<library path='kiv_bad' priority='3' ignore_error='1'/>"
                            "<library path='kiv_missing' priority='2' ignore_error='2'/>"
                            "<library priority='2' ignore_error='-1'/>"
                            "<library path='kiv_a' priority='1'/>"
                            "</libraries>"));
    EXPECT_EQ(loaded_files(), (std::vector<std::string>{"kiv_bad.so", "kiv_a.so"}));
}

TEST_F(config, ignore_error_that_reads_as_zero_does_not_pass) {
    EXPECT_FALSE(load_config("<libraries><library path='kiv_missing' ignore_error='yes'/></libraries>"));
    EXPECT_FALSE(load_config("<libraries><library ignore_error='0'/></libraries>"));  // no path: fails
    EXPECT_TRUE(load_config("<libraries><library ignore_error='1'/></libraries>"));
}

TEST_F(config, entries_under_a_second_libraries_element_load_once_and_the_loop_ends) {
    install_good({"kiv_a", "kiv_b"});
    install_fixture("kiv_test_failing", root(), "kiv_bad.so");
    EXPECT_TRUE(load_config("<libraries><library path='kiv_a' priority='1'/></libraries>"
                            "<libraries>"
                            "<library path='kiv_b' priority='2'/>"
                            "<library path='kiv_bad' priority='1' ignore_error='1'/>"
                            "</libraries>"));
    EXPECT_EQ(loaded_files(), (std::vector<std::string>{"kiv_b.so", "kiv_a.so", "kiv_bad.so"}));
}

TEST_F(config, variables_apply_in_document_order_with_paths_and_references) {
    env_override cleanup_a("KIV_CT_A", "");
    env_override cleanup_b("KIV_CT_B", "");
    env_override cleanup_p("KIV_CT_P", "");
    env_override cleanup_q("KIV_CT_Q", "");
    EXPECT_TRUE(load_config("<variables>"
                            "<variable name='KIV_CT_A' value='one'/>"
                            "<variable name='KIV_CT_B' value='${KIV_CT_A}/two'/>"
                            "<variable name='KIV_CT_P' value='data\\maps' type='path'/>"
                            "<variable name='KIV_CT_Q' value='${KIV_CT_B}' type='PATH'/>"
                            "</variables>"
                            "<variables><variable name='KIV_CT_A' value='again'/></variables>"));
    EXPECT_EQ(env("KIV_CT_A"), "again");
    EXPECT_EQ(env("KIV_CT_B"), "one/two");
    EXPECT_EQ(env("KIV_CT_P"), root() + "/data/maps");
    EXPECT_EQ(env("KIV_CT_Q"), "one/two");  // type compares exactly: not a path
}

TEST_F(config, the_configuration_path_expands_variables_and_bad_files_fail) {
    env_override dir("KIV_CT_DIR", root());
    write("config.xml", "<config><variables><variable name='KIV_CT_SEEN' value='1'/></variables></config>");
    EXPECT_TRUE(kiv_load_config("${KIV_CT_DIR}/config.xml"));
    EXPECT_EQ(env("KIV_CT_SEEN"), "1");
    kiv_set_env("KIV_CT_SEEN", nullptr);
    EXPECT_FALSE(kiv_load_config("missing.xml"));
    EXPECT_FALSE(kiv_load_config(nullptr));
    write("broken.xml", "<config><libraries></config>");
    EXPECT_FALSE(kiv_load_config("broken.xml"));
    EXPECT_TRUE(load_config(""));  // nothing to do is success
}

TEST(config_without_core, loading_a_configuration_needs_the_core) {
    EXPECT_FALSE(kiv_load_config("config/config.xml"));
    EXPECT_FALSE(kiv_load_environment("config/env.txt"));
}

TEST_F(config_core, the_core_itself_is_entered_through_the_loader) {
    EXPECT_EQ(kiv_test_threads_count(), 0);
    EXPECT_TRUE(load_config("<libraries><library path='kiv_core' priority='100'/></libraries>"));
    EXPECT_EQ(loaded_files(), std::vector<std::string>{"kiv_core.so"});
    EXPECT_TRUE(kiv_library_loaded("kiv_core"));
    EXPECT_GE(kiv_test_threads_count(), 2);  // its entry started the core's threads
}

TEST_F(config, environment_lines_follow_the_file_rules) {
    for (const char* name : {"KIV_CT_A", "KIV_CT_B", "KIV_CT_C", "KIV_CT_D", "KIV_CT_X", "KIV_CT_P", "KIV_CT_E",
                             "KIV_CT_SET", "KIV_CT_KEEP", "KIV_CT_KEEP2", "KIV_CT_CARET^"})
        kiv_set_env(name, nullptr);
    kiv_set_env("KIV_CT_KEEP", "old");
    kiv_set_env("KIV_CT_KEEP2", "old");
    write("env.txt",
          "# a comment line\r\n"
          "KIV_CT_A=1\r\n"
          "  KIV_CT_B  =  two words  \r\n"
          "KIV_CT_X=a=b # note\n"
          "KIV_CT_P=${KIV_ROOT_PATH}/x\r"
          "KIV_CT_C=${KIV_CT_A}${KIV_CT_B}\n\n\n"
          "KIV_CT_SET^=new\n"
          "KIV_CT_KEEP^=new\n"
          "KIV_CT_KEEP2 ^=new\n"
          "KIV_CT_CARET^ =literal\n"
          "no separator here\n"
          "=no key\n"
          "#KIV_CT_D=commented out\n"
          "KIV_CT_E=${KIV_CT_UNSET_NAME}");
    EXPECT_TRUE(kiv_load_environment("env.txt"));
    EXPECT_EQ(env("KIV_CT_A"), "1");
    EXPECT_EQ(env("KIV_CT_B"), "two words");
    EXPECT_EQ(env("KIV_CT_X"), "a=b");
    EXPECT_EQ(env("KIV_CT_P"), root() + "/x");
    EXPECT_EQ(env("KIV_CT_C"), "1two words");
    EXPECT_EQ(env("KIV_CT_SET"), "new");
    EXPECT_EQ(env("KIV_CT_KEEP"), "old");
    EXPECT_EQ(env("KIV_CT_KEEP2"), "old");
    EXPECT_EQ(env("KIV_CT_CARET^"), "literal");
    EXPECT_EQ(env("KIV_CT_D"), "<unset>");
    EXPECT_EQ(env("KIV_CT_E"), "<unset>");  // expands to nothing: an empty value unsets
}

TEST_F(config, an_unreadable_environment_file_fails_and_is_not_watched) {
    EXPECT_FALSE(kiv_load_environment("missing.txt"));
    EXPECT_FALSE(kiv_load_environment(nullptr));
    EXPECT_EQ(watcher(), nullptr);
}

TEST_F(config, a_changed_environment_file_is_applied_again_once) {
    write("env.txt", "KIV_CT_R=first\n");
    ASSERT_TRUE(kiv_load_environment("env.txt"));
    ASSERT_TRUE(kiv_load_environment("env.txt"));  // applied again, watched once
    env_config_reloader* reloader = watcher();
    ASSERT_NE(reloader, nullptr);
    EXPECT_EQ(reloader->get_file_count(), 1u);
    EXPECT_EQ(reloader->check_files(), 0u);  // unchanged

    write("env.txt", "KIV_CT_R=second\n");
    struct utimbuf times = {1000000000, 1000000000};
    ASSERT_EQ(utime(file("env.txt").c_str(), &times), 0);
    EXPECT_EQ(reloader->check_files(), 1u);
    EXPECT_EQ(env("KIV_CT_R"), "second");
    EXPECT_EQ(reloader->check_files(), 0u);
    kiv_set_env("KIV_CT_R", nullptr);
}

TEST_F(config, a_watched_file_that_vanishes_is_skipped_until_it_returns) {
    write("env.txt", "KIV_CT_V=first\n");
    ASSERT_TRUE(kiv_load_environment("env.txt"));
    env_config_reloader* reloader = watcher();
    ASSERT_NE(reloader, nullptr);
    ASSERT_EQ(std::remove(file("env.txt").c_str()), 0);
    EXPECT_EQ(reloader->check_files(), 0u);
    write("env.txt", "KIV_CT_V=back\n");
    // A time past 2038: modification times are 64-bit.
    struct utimbuf times = {4102444800LL, 4102444800LL};
    ASSERT_EQ(utime(file("env.txt").c_str(), &times), 0);
    EXPECT_EQ(reloader->check_files(), 1u);
    EXPECT_EQ(env("KIV_CT_V"), "back");
    reloader->add_file("missing.txt");
    reloader->add_file(file("env.txt").c_str());  // the same file by its absolute path
    EXPECT_EQ(reloader->get_file_count(), 1u);
    kiv_set_env("KIV_CT_V", nullptr);
}

namespace {

// Counts deliveries of "KIV_CORE_EVT_BG_TASK". Installed before the
// watcher, it is called after the watcher in each delivery (the newest
// handler goes first), so a count seen means that second's pass is over.
class bg_task_counter : public object {
public:
    bg_task_counter() { kiv_install_handler("KIV_CORE_EVT_BG_TASK", 0, this, callback()); }
    ~bg_task_counter() override { kiv_uninstall_handler("KIV_CORE_EVT_BG_TASK", 0, this, callback()); }
    std::atomic<int> seen{0};

private:
    static kiv_event_function callback() { return static_cast<kiv_event_function>(&bg_task_counter::count); }
    bool count(i_event*) {
        ++seen;
        return true;
    }
};

}  // namespace

TEST_F(config_events, a_touched_file_is_applied_again_at_the_next_second_and_announced_once) {
    kiv_test_clock_drive(true);
    bg_task_counter ticks;
    event_recorder events;
    write("env.txt", "KIV_CT_T=first\n");
    ASSERT_TRUE(kiv_load_environment("env.txt"));
    write("env.txt", "KIV_CT_T=second\n");
    struct utimbuf times = {1000000000, 1000000000};
    ASSERT_EQ(utime(file("env.txt").c_str(), &times), 0);

    int before = ticks.seen.load();
    kiv_test_clock_advance(1000);
    kiv_test::eventually([&] { return ticks.seen.load() > before; });
    EXPECT_EQ(env("KIV_CT_T"), "second");
    kiv_test::eventually([&] { return events.count("ENV_UPDATED") == 1; });

    before = ticks.seen.load();
    kiv_test_clock_advance(1000);
    kiv_test::eventually([&] { return ticks.seen.load() > before; });
    EXPECT_EQ(events.count("ENV_UPDATED"), 1u);
    kiv_set_env("KIV_CT_T", nullptr);
}

TEST_F(config_events, libraries_loaded_by_the_configuration_are_announced) {
    install_good({"kiv_a"});
    event_recorder events;
    EXPECT_TRUE(load_config("<libraries><library path='kiv_a'/></libraries>"));
    EXPECT_EQ(events.names(),
              (std::vector<std::string>{"LOAD_LIBRARY(kiv_test_good)", "POST_LOAD_LIBRARY(kiv_test_good)"}));
}
