// loader_test.cpp --
//
//     The library loader with the fixture libraries: the candidates under
//     the root and along PATH, the ".so" suffix rule, a library already
//     loaded, missing exports, a failing entry, nested loads with their
//     events, and two threads loading one library at once.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_kiv_library.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/log.h>

#include "core_session.h"
#include "loader_support.h"

#include <sys/stat.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

using namespace kiv;
using kiv_test::env_override;
using kiv_test::event_recorder;
using kiv_test::install_fixture;
using kiv_test::temp_dir;

namespace {

// The gate the counting fixture reports to (see fixtures/counting.cpp).
struct entry_gate {
    std::mutex lock;
    std::condition_variable changed;
    int entries = 0;               // entry starts seen
    bool finished = false;         // the entry has ended
    bool second_started = false;   // the second thread is about to load
};
entry_gate gate;

}  // namespace

KIV_EXTERN_C void kiv_test_entry_hook(const char*, int phase, int count) {
    std::unique_lock<std::mutex> lock(gate.lock);
    if (phase == 0) {
        gate.entries = count;
        gate.changed.notify_all();
        // Hold the entry open until the second thread is on its way in.
        gate.changed.wait(lock, [] { return gate.second_started; });
    } else {
        gate.finished = true;
        gate.changed.notify_all();
    }
}

namespace {

class loader : public ::testing::Test {
protected:
    void* load(const std::string& name) { return kiv_core()->load_library(name.c_str()); }

    // Returns: "name@path" of every recorded library, in load order.
    std::vector<std::string> libraries() {
        std::vector<std::string> out;
        auto_ptr_t<i_object_col> col(kiv_core()->get_libraries());
        for (unsigned i = 0; i < col->get_count(); ++i) {
            auto_ptr_t<i_object> item(col->get_item_by_pos(i));
            i_kiv_library* lib = kiv_cast_i_kiv_library(item);
            out.push_back(std::string(lib->get_name()) + "@" + lib->get_path());
        }
        return out;
    }
    std::string root() const { return session.root.path(); }

    kiv_test::core_session session;
    temp_dir first, second;  // folders for PATH
    env_override path{"PATH", "/nonexistent::" + first.path() + ":" + second.path()};
};

}  // namespace

TEST_F(loader, a_name_is_found_under_the_root_before_path) {
    install_fixture("kiv_test_good", root(), "kiv_test_good.so");
    install_fixture("kiv_test_good", second.path(), "kiv_test_good.so");
    EXPECT_NE(load("kiv_test_good"), nullptr);
    EXPECT_EQ(libraries(), std::vector<std::string>{"kiv_test_good@" + root() + "/kiv_test_good.so"});
}

TEST_F(loader, path_entries_are_tried_in_order_when_the_root_has_no_such_file) {
    install_fixture("kiv_test_good", second.path(), "kiv_test_good.so");
    void* module = load("kiv_test_good");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(libraries(), std::vector<std::string>{"kiv_test_good@" + second.path() + "/kiv_test_good.so"});
    EXPECT_TRUE(kiv_library_loaded("kiv_test_good"));
    EXPECT_FALSE(kiv_library_loaded("kiv_test_good.so"));  // names, not paths
}

TEST_F(loader, an_absolute_name_never_searches_path) {
    install_fixture("kiv_test_good", second.path(), "kiv_test_good.so");
    EXPECT_EQ(load(first.path() + "/kiv_test_good"), nullptr);
    EXPECT_TRUE(libraries().empty());
    EXPECT_NE(load(second.path() + "/kiv_test_good"), nullptr);
}

TEST_F(loader, a_relative_name_with_a_folder_part_is_taken_from_its_own_folder_only) {
    // Each PATH folder holds what the name would reach from there; none
    // may be loaded: a name with a folder part never wanders along PATH.
    ASSERT_EQ(::mkdir((first.path() + "/sub").c_str(), 0700), 0);
    install_fixture("kiv_test_good", first.path() + "/sub", "kiv_test_good.so");
    const std::string refused[] = {"sub/kiv_test_good", "./sub/kiv_test_good", "sub\\kiv_test_good",
                                   "../../../../etc/passwd", "../../../../../../../../../../../etc/passwd"};
    for (const std::string& name : refused) {
        SCOPED_TRACE(name);
        EXPECT_EQ(load(name), nullptr);
    }
    EXPECT_TRUE(libraries().empty());
    // Under the root the same name is found.
    ASSERT_EQ(::mkdir((root() + "/sub").c_str(), 0700), 0);
    install_fixture("kiv_test_good", root() + "/sub", "kiv_test_good.so");
    EXPECT_NE(load("sub/kiv_test_good"), nullptr);
    EXPECT_EQ(libraries(), std::vector<std::string>{"kiv_test_good@" + root() + "/sub/kiv_test_good.so"});
}

TEST_F(loader, the_bare_name_and_the_name_with_its_suffix_are_one_library) {
    install_fixture("kiv_test_good", root(), "kiv_test_good.so");
    event_recorder events;
    void* bare = load("kiv_test_good");
    void* with_suffix = load("kiv_test_good.so");
    void* absolute = load(root() + "/kiv_test_good.so");
    EXPECT_NE(bare, nullptr);
    EXPECT_EQ(with_suffix, bare);
    EXPECT_EQ(absolute, bare);
    EXPECT_EQ(libraries().size(), 1u);
    EXPECT_EQ(events.count("LOAD_LIBRARY"), 1u);
    EXPECT_EQ(events.count("POST_LOAD_LIBRARY"), 1u);
}

TEST_F(loader, a_suffix_in_other_letter_case_gets_a_second_one) {
    install_fixture("kiv_test_good", root(), "kiv_test_good.SO.so");
    void* module = load("kiv_test_good.SO");
    EXPECT_NE(module, nullptr);
    EXPECT_EQ(libraries(), std::vector<std::string>{"kiv_test_good@" + root() + "/kiv_test_good.SO.so"});
}

TEST_F(loader, the_same_file_by_another_spelling_of_its_path_is_not_entered_again) {
    install_fixture("kiv_test_good", root(), "kiv_test_good.so");
    event_recorder events;
    void* module = load("kiv_test_good");
    EXPECT_EQ(load(root() + "/./kiv_test_good"), module);
    EXPECT_EQ(load(root() + "//kiv_test_good"), module);
    EXPECT_EQ(libraries().size(), 1u);
    EXPECT_EQ(events.count("LOAD_LIBRARY"), 1u);
}

TEST_F(loader, name_version_path_and_handle_come_from_the_library) {
    install_fixture("kiv_test_good", root(), "kiv_test_good.so");
    void* module = load("kiv_test_good");
    auto_ptr_t<i_object_col> col(kiv_core()->get_libraries());
    auto_ptr_t<i_object> item(col->get_item_by_name("kiv_test_good"));
    i_kiv_library* lib = kiv_cast_i_kiv_library(item);
    ASSERT_NE(lib, nullptr);
    EXPECT_STREQ(lib->get_version(), "1.0.0001");
    EXPECT_EQ(lib->get_handle(), module);
    EXPECT_NE(kiv_cast_i_named_object(item), nullptr);
}

TEST_F(loader, exports_of_the_core_it_links_do_not_count_as_the_library_own) {
    // The nested fixture links kiv_core, which exports a version; the
    // fixture itself exports none.
    install_fixture("kiv_test_nested", root(), "kiv_test_nested.so");
    install_fixture("kiv_test_good", root(), "kiv_test_good.so");
    ASSERT_NE(load("kiv_test_nested"), nullptr);
    auto_ptr_t<i_object_col> col(kiv_core()->get_libraries());
    auto_ptr_t<i_object> item(col->get_item_by_name("kiv_test_nested"));
    ASSERT_NE(kiv_cast_i_kiv_library(item), nullptr);
    EXPECT_STREQ(kiv_cast_i_kiv_library(item)->get_version(), "");
}

TEST_F(loader, missing_files_and_files_that_are_no_library_give_null) {
    EXPECT_EQ(load("kiv_nothing_here"), nullptr);
    EXPECT_EQ(kiv_core()->load_library(nullptr), nullptr);
    EXPECT_EQ(load(""), nullptr);
    std::ofstream(root() + "/kiv_text.so") << "not a shared object";
    EXPECT_EQ(load("kiv_text"), nullptr);
    EXPECT_TRUE(libraries().empty());
}

TEST_F(loader, a_library_without_the_initialized_export_is_passed_over_for_the_next_candidate) {
    install_fixture("kiv_test_no_init", root(), "kiv_x.so");
    install_fixture("kiv_test_good", second.path(), "kiv_x.so");
    event_recorder events;
    EXPECT_NE(load("kiv_x"), nullptr);
    EXPECT_EQ(libraries(), std::vector<std::string>{"kiv_test_good@" + second.path() + "/kiv_x.so"});
    EXPECT_EQ(events.count("LOAD_LIBRARY"), 1u);
}

TEST_F(loader, a_failing_library_stays_listed_but_a_second_request_does_not_succeed) {
    install_fixture("kiv_test_failing", root(), "kiv_test_failing.so");
    event_recorder events;
    EXPECT_EQ(load("kiv_test_failing"), nullptr);
    EXPECT_TRUE(kiv_library_loaded("kiv_test_failing"));
    EXPECT_EQ(events.names(), std::vector<std::string>{"LOAD_LIBRARY(kiv_test_failing)"});
    EXPECT_EQ(load("kiv_test_failing"), nullptr);  // its entry is not run again
    EXPECT_EQ(events.names(), std::vector<std::string>{"LOAD_LIBRARY(kiv_test_failing)"});
    EXPECT_EQ(libraries().size(), 1u);
}

TEST_F(loader, after_a_failing_library_the_next_candidate_of_the_same_name_is_loaded) {
    install_fixture("kiv_test_failing", root(), "kiv_y.so");
    install_fixture("kiv_test_good", second.path(), "kiv_y.so");
    void* module = load("kiv_y");
    EXPECT_NE(module, nullptr);
    EXPECT_EQ(libraries(), (std::vector<std::string>{"kiv_test_failing@" + root() + "/kiv_y.so",
                                                     "kiv_test_good@" + second.path() + "/kiv_y.so"}));
    EXPECT_EQ(load("kiv_y"), module);
}

TEST_F(loader, a_load_handler_already_sees_the_library_listed) {
    install_fixture("kiv_test_good", root(), "kiv_test_good.so");
    event_recorder events;
    events.probe = [] { return std::string(kiv_library_loaded("kiv_test_good") ? "listed" : "missing"); };
    load("kiv_test_good");
    EXPECT_EQ(events.names(), (std::vector<std::string>{"LOAD_LIBRARY(kiv_test_good)[listed]",
                                                        "POST_LOAD_LIBRARY(kiv_test_good)[listed]"}));
    std::vector<const void*> objects = events.events();
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0], objects[1]);  // one event object, re-typed
}

TEST_F(loader, an_entry_that_loads_another_library_nests_its_load_and_events) {
    install_fixture("kiv_test_nested", root(), "kiv_test_nested.so");
    install_fixture("kiv_test_good", first.path(), "kiv_test_good.so");
    event_recorder events;
    events.probe = [] {
        auto_ptr_t<i_object_col> col(kiv_core()->get_libraries());
        return std::to_string(col->get_count());
    };
    EXPECT_NE(load("kiv_test_nested"), nullptr);
    EXPECT_EQ(events.names(),
              (std::vector<std::string>{"LOAD_LIBRARY(kiv_test_nested)[1]", "LOAD_LIBRARY(kiv_test_good)[2]",
                                        "POST_LOAD_LIBRARY(kiv_test_good)[2]", "POST_LOAD_LIBRARY(kiv_test_nested)[2]"}));
    EXPECT_EQ(libraries(), (std::vector<std::string>{"kiv_test_nested@" + root() + "/kiv_test_nested.so",
                                                     "kiv_test_good@" + first.path() + "/kiv_test_good.so"}));
}

TEST_F(loader, an_entry_whose_own_load_fails_leaves_its_library_uninitialised) {
    install_fixture("kiv_test_nested", root(), "kiv_test_nested.so");
    event_recorder events;
    EXPECT_EQ(load("kiv_test_nested"), nullptr);
    EXPECT_EQ(events.names(), std::vector<std::string>{"LOAD_LIBRARY(kiv_test_nested)"});
}

// A host shows why a library did not start: the loader's last level-0
// line names the library and its cause, which may be the line of a
// library its entry needed.
TEST_F(loader, a_library_that_does_not_start_is_named_with_its_cause_for_the_host) {
    install_fixture("kiv_test_failing", root(), "kiv_test_failing.so");
    install_fixture("kiv_test_nested", root(), "kiv_test_nested.so");
    std::ofstream(root() + "/kiv_text.so") << "not a shared object";
    struct row {
        const char* name;
        std::string says;
    } rows[] = {
        {"kiv_nothing_here", "kiv_nothing_here did not start: no file '" + root() + "/kiv_nothing_here'"},
        {"kiv_text", "kiv_text did not start: cannot load '" + root() + "/kiv_text.so': "},
        {"kiv_test_failing", "kiv_test_failing did not start: its start-up failed without saying why"},
        {"kiv_test_failing", "kiv_test_failing did not start: its start-up failed earlier"},
        {"kiv_test_nested", "kiv_test_nested did not start: kiv_test_good did not start: no file '"},
    };
    for (const row& r : rows) {
        EXPECT_EQ(load(r.name), nullptr) << r.name;
        std::string said = kiv_last_log_error();
        EXPECT_EQ(said.compare(0, r.says.size(), r.says), 0) << said;
    }
}

TEST_F(loader, two_threads_loading_one_library_run_its_entry_once) {
    install_fixture("kiv_test_counting", root(), "kiv_test_counting.so");
    void* results[2] = {nullptr, nullptr};
    bool finished_when_second_returned = false;
    std::thread first_loader([&] { results[0] = load("kiv_test_counting"); });
    std::thread second_loader([&] {
        {
            std::unique_lock<std::mutex> lock(gate.lock);
            gate.changed.wait(lock, [] { return gate.entries > 0; });
            gate.second_started = true;
            gate.changed.notify_all();
        }
        results[1] = load("kiv_test_counting");
        std::lock_guard<std::mutex> lock(gate.lock);
        finished_when_second_returned = gate.finished;
    });
    first_loader.join();
    second_loader.join();
    EXPECT_NE(results[0], nullptr);
    EXPECT_EQ(results[1], results[0]);
    EXPECT_TRUE(finished_when_second_returned);  // never handed out while its entry ran
    EXPECT_EQ(gate.entries, 1);
    EXPECT_EQ(libraries().size(), 1u);
}
