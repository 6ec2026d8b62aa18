// script_thread_test.cpp --
//
//     Script engines across threads: one engine per thread, init commands
//     reaching engines of other threads, engines destroyed on their own
//     thread when it ends (threads of the pool and plain threads alike),
//     and compiled code that stays with its thread.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_script.h>
#include <kiv/core/process.h>
#include <kiv/core/threads.h>

#include "script/script_engine.h"
#include "script_session.h"

#include <gtest/gtest.h>

#include <tcl.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

using kiv_test::run;

namespace {

// A one-shot signal between threads.
class latch {
public:
    void open() {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }
    void wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

// Interpreters deleted so far, and whether each went on its own thread.
std::atomic<int> interps_deleted{0};
std::atomic<int> deleted_elsewhere{0};

void interp_deleted(ClientData owner, Tcl_Interp*) {
    ++interps_deleted;
    if (reinterpret_cast<uintptr_t>(owner) != kiv_get_thread_id())
        ++deleted_elsewhere;
}

// Watches the calling thread's current engine's interpreter.
void watch_current_interp() {
    kiv::script_engine* engine = kiv::script_engine::current();
    ASSERT_NE(engine, nullptr);
    Tcl_CallWhenDeleted(engine->interp(), interp_deleted,
                        reinterpret_cast<ClientData>(static_cast<uintptr_t>(kiv_get_thread_id())));
}

class script_thread_test : public ::testing::Test {
protected:
    void SetUp() override {
        interps_deleted = 0;
        deleted_elsewhere = 0;
    }
    kiv_test::script_session session;
};

}  // namespace

TEST_F(script_thread_test, two_threads_get_two_engines) {
    auto mine = session.engine();
    ASSERT_TRUE(mine);
    EXPECT_EQ(session.engine().get(), mine.get());
    kiv::i_script_engine* theirs = nullptr;
    std::string output;
    std::thread other([&] {
        auto engine = session.engine();
        theirs = engine.get();
        output = run(engine, "variable v other; puts $v");
    });
    other.join();
    EXPECT_NE(theirs, nullptr);
    EXPECT_NE(theirs, mine.get());
    EXPECT_EQ(output, "other");
    EXPECT_EQ(run(mine, "puts [info exists v]"), "0");
}

TEST_F(script_thread_test, engines_on_several_threads_use_the_generated_commands_at_once) {
    const int thread_count = 4;
    std::atomic<int> good{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 20; ++round) {
                auto engine = session.engine();
                std::string value = "t" + std::to_string(t) + "r" + std::to_string(round);
                std::string out = run(engine, "variable s [kiv_create_named_string n " + value + "]\n"
                                              "variable n [kiv_cast_i_named_object $s]\n"
                                              "puts [$s get_value]/[i_named_object_get_name $n]\n"
                                              "delete_i_named_string $s");
                if (out == value + "/n")
                    ++good;
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(good.load(), thread_count * 20);
}

TEST_F(script_thread_test, an_init_command_reaches_another_threads_engine_at_its_next_fetch) {
    latch engine_ready, command_added, checked_before;
    std::string before, after;
    std::thread other([&] {
        {
            auto engine = session.engine();
            engine_ready.open();
            command_added.wait();
            before = run(engine, "puts [info exists ::shared]");
        }
        auto engine = session.engine();
        after = run(engine, "puts $::shared");
        checked_before.open();
    });
    engine_ready.wait();
    auto mine = session.engine();
    ASSERT_TRUE(mine);
    ASSERT_TRUE(session.service->add_init_cmd("set ::shared from_main"));
    EXPECT_EQ(run(mine, "puts $::shared"), "from_main");
    command_added.open();
    checked_before.wait();
    other.join();
    EXPECT_EQ(before, "0");
    EXPECT_EQ(after, "from_main");
}

TEST_F(script_thread_test, a_thread_that_ends_destroys_its_engine_on_itself) {
    std::thread plain([&] {
        auto engine = session.engine();
        ASSERT_TRUE(engine);
        watch_current_interp();
        EXPECT_EQ(run(engine, "puts [expr {6 * 7}]"), "42");
    });
    plain.join();
    EXPECT_EQ(interps_deleted.load(), 1);
    EXPECT_EQ(deleted_elsewhere.load(), 0);
}

TEST_F(script_thread_test, pool_workers_run_scripts_and_their_engines_go_with_them) {
    static std::atomic<int> ran{0};
    static kiv_test::script_session* current_session = nullptr;
    static std::mutex threads_lock;
    static std::set<uint32_t> threads;
    ran = 0;
    current_session = &session;
    threads.clear();
    for (int i = 0; i < 4; ++i) {
        kiv_bg_thread(
            [](bool running, void*, unsigned) {
                if (!running)
                    return;
                auto engine = current_session->engine();
                {
                    std::lock_guard<std::mutex> lock(threads_lock);
                    if (threads.insert(kiv_get_thread_id()).second)
                        watch_current_interp();
                }
                if (run(engine, "puts [string repeat x 3]") == "xxx")
                    ++ran;
            },
            nullptr, 0);
    }
    kiv_test::eventually([] { return ran.load() == 4; });
    // The workers end with the framework; each takes its engine along.
    session.svc.reset();
    kiv_terminate();
    session.started = false;
    EXPECT_GE(threads.size(), 1u);
    EXPECT_EQ(interps_deleted.load(), static_cast<int>(threads.size()));
    EXPECT_EQ(deleted_elsewhere.load(), 0);
}

TEST_F(script_thread_test, compiled_code_stays_with_its_thread) {
    auto_ptr_t<kiv::i_script_code> code(kiv_create_script_code("puts compiled"));
    ASSERT_TRUE(code);
    bool other_sees_code = true, other_runs_code = true;
    std::thread other([&] {
        other_sees_code = code->get_compiled_code() != nullptr;
        EXPECT_FALSE(code->set_text("puts changed"));
        auto engine = session.engine();
        other_runs_code = engine->execute_code(code);
    });
    other.join();
    EXPECT_FALSE(other_sees_code);
    EXPECT_FALSE(other_runs_code);
    auto engine = session.engine();
    EXPECT_EQ((engine->reset(), engine->execute_code(code), std::string(engine->get_output())), "compiled");
}
