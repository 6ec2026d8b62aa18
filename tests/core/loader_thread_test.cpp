// loader_thread_test.cpp --
//
//     The library loader and the script service from several threads at
//     once, with real libraries loaded through the core's loader
//     (kiv_core.so and the fixture libraries): a script engine's init
//     script that loads a library while another thread loads a library
//     that has an init script of its own; two threads whose library
//     entries each load the library the other is loading; many threads
//     asking for one library together. Every case must end: a case whose
//     threads stay blocked runs into the suite's time-out.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_script.h>

#include "loader_support.h"
#include "script_session.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using kiv_test::install_fixture;

namespace {

// What the counting fixture's entry does on the calling thread (see
// fixtures/counting.cpp, which calls kiv_test_entry_hook).
thread_local std::function<void(int phase)> on_entry;
std::atomic<int> entry_calls{0};

// Waits for every one of `finished`, then joins `threads`.
void join_all(std::vector<std::thread>& threads, std::vector<std::future<void>>& finished) {
    for (std::future<void>& f : finished)
        f.wait();
    for (std::thread& t : threads)
        t.join();
}

// Starts `body` on a new thread; its end is reported through the future.
std::future<void> start(std::vector<std::thread>& threads, std::function<void()> body) {
    auto task = std::make_shared<std::packaged_task<void()>>(std::move(body));
    std::future<void> done = task->get_future();
    threads.emplace_back([task] { (*task)(); });
    return done;
}

// A flag one thread raises and others wait for.
class flag {
public:
    void raise() {
        std::lock_guard<std::mutex> lock(mutex_);
        raised_ = true;
        cv_.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return raised_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool raised_ = false;
};

class loader_threads : public ::testing::Test {
protected:
    void SetUp() override { entry_calls = 0; }
    std::string root() const { return session.root.path(); }
    void* load(const std::string& name) { return kiv_core()->load_library(name.c_str()); }

    kiv_test::script_session session;
    kiv_test::temp_dir elsewhere;  // PATH holds nothing usable
    kiv_test::env_override path{"PATH", elsewhere.path()};
};

}  // namespace

KIV_EXTERN_C void kiv_test_entry_hook(const char*, int phase, int) {
    if (phase == 0)
        ++entry_calls;
    if (on_entry)
        on_entry(phase);
}

// Thread B's new engine runs an init file that loads a library, while
// thread A loads a library whose init script the script service then
// adds to every engine. B's script waits until A is inside its library's
// entry, and A's entry waits until B's script is running, so B's load
// and A's announcement of its library always meet.
TEST_F(loader_threads, an_init_script_loading_a_library_and_another_thread_loading_one_both_end) {
    install_fixture("kiv_test_counting", root(), "kiv_test_counting.so");
    install_fixture("kiv_test_good", root(), "kiv_test_good.so");
    std::string scripts = root() + "/scripts";
    ASSERT_EQ(::mkdir(scripts.c_str(), 0700), 0);
    std::ofstream(scripts + "/kiv_test_counting_init.tcl") << "variable counting_bound 1\n";
    kiv_test::env_override script_path("KIV_SCRIPT_PATH", scripts);

    std::string a_in_entry = root() + "/a_in_entry";
    std::string b_in_script = root() + "/b_in_script";
    std::string init = "set fh [open {" + b_in_script + "} w]; close $fh\n"
                       "while {![file exists {" + a_in_entry + "}]} { after 1 }\n"
                       "set ::b_loaded [expr {[i_core_load_library [kiv_core] kiv_test_good] ne \"NULL\"}]\n";
    ASSERT_TRUE(session.service->add_init_file(session.write("loads.tcl", init).c_str()));

    std::vector<std::thread> threads;
    std::vector<std::future<void>> finished;
    void* a_result = nullptr;
    std::string b_result;
    finished.push_back(start(threads, [&] {
        on_entry = [&](int phase) {
            if (phase != 0)
                return;
            std::ofstream(a_in_entry) << "in";
            kiv_test::eventually([&] { return std::ifstream(b_in_script).good(); });
        };
        a_result = load("kiv_test_counting");
    }));
    finished.push_back(start(threads, [&] {
        auto_ptr_t<kiv::i_script_engine> engine(session.service->get_script_engine());
        ASSERT_TRUE(engine);
        b_result = kiv_test::run(engine, "puts $::b_loaded");
    }));
    join_all(threads, finished);
    EXPECT_NE(a_result, nullptr);
    EXPECT_EQ(b_result, "1");
    EXPECT_TRUE(kiv_library_loaded("kiv_test_good"));
    // A's library reached the script service: a new engine runs its script.
    std::string bound_seen;
    std::thread later([&] {
        auto_ptr_t<kiv::i_script_engine> engine(session.service->get_script_engine());
        if (engine)
            bound_seen = kiv_test::run(engine, "puts $counting_bound");
    });
    later.join();
    EXPECT_EQ(bound_seen, "1");
}

// Two copies of the counting library: thread A loads the first and its
// entry loads the second, thread B loads the second and its entry loads
// the first, both entries running at once. Neither may wait for the
// other for good; each library's entry still runs once.
TEST_F(loader_threads, entries_on_two_threads_loading_each_others_library_both_end) {
    install_fixture("kiv_test_counting", root(), "kiv_ring_a.so");
    install_fixture("kiv_test_counting", root(), "kiv_ring_b.so");
    flag a_in, b_in;
    void* a_outer = nullptr;
    void* b_outer = nullptr;
    void* a_inner = nullptr;
    void* b_inner = nullptr;
    std::vector<std::thread> threads;
    std::vector<std::future<void>> finished;
    finished.push_back(start(threads, [&] {
        on_entry = [&](int phase) {
            if (phase != 0)
                return;
            a_in.raise();
            b_in.wait();
            a_inner = load("kiv_ring_b");
        };
        a_outer = load("kiv_ring_a");
    }));
    finished.push_back(start(threads, [&] {
        on_entry = [&](int phase) {
            if (phase != 0)
                return;
            b_in.raise();
            a_in.wait();
            b_inner = load("kiv_ring_a");
        };
        b_outer = load("kiv_ring_b");
    }));
    join_all(threads, finished);
    EXPECT_NE(a_outer, nullptr);
    EXPECT_NE(b_outer, nullptr);
    EXPECT_EQ(entry_calls, 2);
    // The one whose request came second was answered at once, with the
    // library as it stood (inside its entry: not yet initialised); the
    // other waited for the library to be done and got it.
    EXPECT_TRUE((a_inner == b_outer && b_inner == nullptr) || (b_inner == a_outer && a_inner == nullptr))
        << a_inner << " " << b_inner;
    EXPECT_EQ(load("kiv_ring_a"), a_outer);
    EXPECT_EQ(load("kiv_ring_b"), b_outer);
    EXPECT_EQ(entry_calls, 2);
}

// Eight threads released together ask for one library: one entry call,
// one handle for all, and nobody gets it before its entry is over.
TEST_F(loader_threads, many_threads_asking_for_one_library_at_once_share_one_entry_call) {
    install_fixture("kiv_test_counting", root(), "kiv_test_counting.so");
    const int count = 8;
    std::atomic<bool> entry_over{false};
    std::atomic<int> early{0};
    flag go;
    std::vector<void*> results(count, nullptr);
    std::vector<std::thread> threads;
    std::vector<std::future<void>> finished;
    for (int i = 0; i < count; ++i) {
        finished.push_back(start(threads, [&, i] {
            on_entry = [&](int phase) {
                if (phase == 1)
                    entry_over = true;
            };
            go.wait();
            results[i] = load("kiv_test_counting");
            if (!entry_over)
                ++early;
        }));
    }
    go.raise();
    join_all(threads, finished);
    EXPECT_EQ(entry_calls, 1);
    EXPECT_EQ(early, 0);
    for (void* result : results)
        EXPECT_EQ(result, results[0]);
    EXPECT_NE(results[0], nullptr);
}

// A library whose entry loads another by name, while a second thread
// asks for that other library directly: both get the one library.
TEST_F(loader_threads, an_entry_loading_a_library_another_thread_asks_for_shares_it) {
    install_fixture("kiv_test_nested", root(), "kiv_test_nested.so");
    install_fixture("kiv_test_good", root(), "kiv_test_good.so");
    void* nested = nullptr;
    void* direct = nullptr;
    std::vector<std::thread> threads;
    std::vector<std::future<void>> finished;
    flag go;
    finished.push_back(start(threads, [&] {
        go.wait();
        nested = load("kiv_test_nested");
    }));
    finished.push_back(start(threads, [&] {
        go.wait();
        direct = load("kiv_test_good");
    }));
    go.raise();
    join_all(threads, finished);
    EXPECT_NE(nested, nullptr);
    EXPECT_NE(direct, nullptr);
    EXPECT_EQ(load("kiv_test_good"), direct);
    auto_ptr_t<kiv::i_object_col> libraries(kiv_core()->get_libraries());
    EXPECT_EQ(libraries->get_count(), 3u);  // kiv_core, nested, good: each once
}
