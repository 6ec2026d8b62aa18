// worker_pool_test.cpp --
//
//     The worker pool: tasks before the core's entry, many short tasks,
//     private copies of the data, reuse of idle workers, the thread
//     limit, the 10-second hand-over and the 300-second idle end (both on
//     the driven clock), the race of a new task against an expiring
//     worker, the end of the running flag while a caller waits, and a
//     thread start that fails.

#include <kiv/core/process.h>
#include <kiv/core/threads.h>

#include "core_session.h"

#include <atomic>
#include <cstring>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using kiv_test::core_session;
using kiv_test::eventually;

namespace {

// What one task saw.
struct sighting {
    bool running = false;
    void* data = nullptr;
    uint32_t thread = 0;
    std::string text;  // the data's bytes
};

std::mutex sightings_lock;
std::vector<sighting> sightings;

void record(bool running, void* data, unsigned size) {
    sighting s;
    s.running = running;
    s.data = data;
    s.thread = kiv_get_thread_id();
    if (data != nullptr)
        s.text.assign(static_cast<char*>(data), size);
    std::lock_guard<std::mutex> guard(sightings_lock);
    sightings.push_back(s);
}

size_t sightings_count() {
    std::lock_guard<std::mutex> guard(sightings_lock);
    return sightings.size();
}

sighting last_sighting() {
    std::lock_guard<std::mutex> guard(sightings_lock);
    return sightings.back();
}

// Tasks that wait until a test opens the gate.
std::shared_future<void> gate;
std::atomic<int> waiting_at_gate{0};
std::atomic<int> most_threads_seen{0};

void wait_at_gate(bool, void*, unsigned) {
    int now = kiv_test_threads_count();
    int seen = most_threads_seen.load();
    while (now > seen && !most_threads_seen.compare_exchange_weak(seen, now)) {
    }
    waiting_at_gate.fetch_add(1);
    gate.wait();
    waiting_at_gate.fetch_sub(1);
}

class worker_pool : public ::testing::Test {
protected:
    void SetUp() override {
        std::lock_guard<std::mutex> guard(sightings_lock);
        sightings.clear();
    }
};

}  // namespace

// Runs first, in a process where the core's entry has not run yet.
TEST_F(worker_pool, before_the_core_entry_a_task_runs_on_the_caller_with_its_own_data) {
    core_session session(false);
    char data[] = "abcd";
    kiv_bg_thread(record, data, 4);
    ASSERT_EQ(sightings_count(), 1u);
    sighting s = last_sighting();
    EXPECT_FALSE(s.running);
    EXPECT_EQ(s.data, data);
    EXPECT_EQ(s.thread, kiv_get_thread_id());
    EXPECT_EQ(kiv_test_threads_count(), 0);
}

TEST_F(worker_pool, a_null_task_does_nothing) {
    core_session session(true, true);
    kiv_bg_thread(nullptr, nullptr, 0);
    EXPECT_EQ(kiv_test_threads_count(), 2);
}

TEST_F(worker_pool, many_short_tasks_all_run_on_workers) {
    core_session session(true, true);
    static std::atomic<int> ran{0};
    static std::atomic<int> ran_running{0};
    ran = 0;
    ran_running = 0;
    const int tasks = 2000;
    for (int i = 0; i < tasks; ++i)
        kiv_bg_thread(
            [](bool running, void*, unsigned) {
                ran.fetch_add(1);
                if (running)
                    ran_running.fetch_add(1);
            },
            nullptr, 0);
    eventually([] { return ran.load() == tasks; });
    EXPECT_EQ(ran_running.load(), tasks);
    EXPECT_LE(kiv_test_threads_count(), kiv_test_worker_limit());
}

TEST_F(worker_pool, a_task_gets_a_private_copy_of_its_data) {
    core_session session(true, true);
    std::promise<void> opened;
    gate = opened.get_future().share();
    kiv_bg_thread(wait_at_gate, nullptr, 0);  // keeps one worker busy
    char data[] = "wxyz";
    kiv_bg_thread(record, data, 4);
    std::memcpy(data, "0000", 4);  // the task's copy must not see this
    eventually([] { return sightings_count() == 1; });
    sighting s = last_sighting();
    EXPECT_TRUE(s.running);
    EXPECT_NE(s.data, static_cast<void*>(data));
    EXPECT_EQ(s.text, "wxyz");
    EXPECT_NE(s.thread, kiv_get_thread_id());
    kiv_bg_thread(record, nullptr, 16);
    eventually([] { return sightings_count() == 2; });
    EXPECT_EQ(last_sighting().data, nullptr);
    opened.set_value();
}

TEST_F(worker_pool, an_idle_worker_is_reused_before_a_new_one_starts) {
    core_session session(true, true);
    kiv_bg_thread(record, nullptr, 0);
    eventually([] { return kiv_test_idle_workers() == 1; });
    kiv_bg_thread(record, nullptr, 0);
    eventually([] { return sightings_count() == 2 && kiv_test_idle_workers() == 1; });
    EXPECT_EQ(sightings[0].thread, sightings[1].thread);
    EXPECT_EQ(kiv_test_threads_count(), 3);
}

TEST_F(worker_pool, workers_never_exceed_the_limit_and_a_waiting_caller_gets_a_freed_worker) {
    kiv_set_env("KIV_MAX_THREADS_COUNT", "11");
    core_session session(true, true);
    kiv_set_env("KIV_MAX_THREADS_COUNT", nullptr);
    std::promise<void> opened;
    gate = opened.get_future().share();
    most_threads_seen = 0;
    for (int i = 0; i < 9; ++i)  // 9 workers + 2 core threads = the limit
        kiv_bg_thread(wait_at_gate, nullptr, 0);
    eventually([] { return waiting_at_gate.load() == 9; });
    EXPECT_EQ(kiv_test_threads_count(), 11);

    uint32_t caller = 0;
    std::thread late([&] {
        caller = kiv_get_thread_id();
        kiv_bg_thread(record, nullptr, 0);
    });
    opened.set_value();
    late.join();
    eventually([] { return sightings_count() == 1; });
    sighting s = last_sighting();
    EXPECT_TRUE(s.running);
    EXPECT_NE(s.thread, caller);
    EXPECT_LE(most_threads_seen.load(), 11);
    EXPECT_LE(kiv_test_threads_count(), 11);
}

TEST_F(worker_pool, a_caller_at_the_limit_runs_the_task_itself_after_ten_seconds) {
    kiv_set_env("KIV_MAX_THREADS_COUNT", "11");
    core_session session(true, true);
    kiv_set_env("KIV_MAX_THREADS_COUNT", nullptr);
    kiv_test_clock_drive(true);
    std::promise<void> opened;
    gate = opened.get_future().share();
    for (int i = 0; i < 9; ++i)
        kiv_bg_thread(wait_at_gate, nullptr, 0);
    eventually([] { return waiting_at_gate.load() == 9; });

    char data[] = "mine";
    uint32_t caller = 0;
    auto done = std::async(std::launch::async, [&] {
        caller = kiv_get_thread_id();
        kiv_bg_thread(record, data, 4);
    });
    // 9.9 driven seconds are not enough ...
    for (int i = 0; i < 99; ++i)
        kiv_test_clock_advance(100);
    EXPECT_EQ(sightings_count(), 0u);
    // ... past 10 they are.
    while (done.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        kiv_test_clock_advance(100);
    ASSERT_EQ(sightings_count(), 1u);
    sighting s = last_sighting();
    EXPECT_FALSE(s.running);
    EXPECT_EQ(s.data, static_cast<void*>(data));  // the caller's own buffer
    EXPECT_EQ(s.thread, caller);
    opened.set_value();
}

TEST_F(worker_pool, a_worker_idle_for_300_seconds_ends_and_the_next_task_starts_a_new_one) {
    core_session session(true, true);
    kiv_test_clock_drive(true);
    kiv_bg_thread(record, nullptr, 0);
    eventually([] { return kiv_test_idle_workers() == 1; });

    kiv_test_clock_advance(299 * 1000);
    kiv_bg_thread(record, nullptr, 0);  // still there: reused
    eventually([] { return sightings_count() == 2 && kiv_test_idle_workers() == 1; });
    EXPECT_EQ(sightings[0].thread, sightings[1].thread);

    kiv_test_clock_advance(301 * 1000);
    eventually([] { return kiv_test_threads_count() == 2; });
    EXPECT_EQ(kiv_test_idle_workers(), 0);
    kiv_bg_thread(record, nullptr, 0);
    eventually([] { return sightings_count() == 3; });
    EXPECT_NE(sightings[2].thread, sightings[1].thread);
}

TEST_F(worker_pool, tasks_handed_out_while_idle_workers_expire_all_run_once) {
    core_session session(true, true);
    kiv_test_clock_drive(true);
    static std::atomic<int> ran{0};
    ran = 0;
    std::atomic<bool> stop{false};
    std::thread ticker([&] {
        while (!stop.load())
            kiv_test_clock_advance(150 * 1000);
    });
    const int tasks = 3000;
    for (int i = 0; i < tasks; ++i)
        kiv_bg_thread([](bool, void*, unsigned) { ran.fetch_add(1); }, nullptr, 0);
    stop = true;
    ticker.join();
    eventually([] { return ran.load() >= tasks; });
    EXPECT_EQ(ran.load(), tasks);  // each exactly once
}

TEST_F(worker_pool, a_caller_waiting_when_shut_down_begins_runs_the_task_itself) {
    kiv_set_env("KIV_MAX_THREADS_COUNT", "11");
    core_session session(true, true);
    kiv_set_env("KIV_MAX_THREADS_COUNT", nullptr);
    std::promise<void> opened;
    gate = opened.get_future().share();
    for (int i = 0; i < 9; ++i)
        kiv_bg_thread(wait_at_gate, nullptr, 0);
    eventually([] { return waiting_at_gate.load() == 9; });

    uint32_t caller = 0;
    auto waiting = std::async(std::launch::async, [&] {
        caller = kiv_get_thread_id();
        kiv_bg_thread(record, nullptr, 0);
    });
    auto shut_down = std::async(std::launch::async, [] { kiv_terminate(); });
    waiting.get();
    session.started = false;
    ASSERT_EQ(sightings_count(), 1u);
    EXPECT_FALSE(last_sighting().running);
    EXPECT_EQ(last_sighting().thread, caller);
    opened.set_value();
    shut_down.get();
    EXPECT_EQ(kiv_test_threads_count(), 0);
}

TEST_F(worker_pool, a_failed_thread_start_runs_the_task_on_the_caller_and_restores_the_count) {
    core_session session(true, true);
    kiv_test_fail_thread_starts(1);
    char data[] = "data";
    kiv_bg_thread(record, data, 4);
    ASSERT_EQ(sightings_count(), 1u);
    sighting s = last_sighting();
    EXPECT_FALSE(s.running);
    EXPECT_EQ(s.data, static_cast<void*>(data));
    EXPECT_EQ(s.thread, kiv_get_thread_id());
    EXPECT_EQ(kiv_test_threads_count(), 2);
    kiv_bg_thread(record, nullptr, 0);  // the next start works again
    eventually([] { return sightings_count() == 2; });
    EXPECT_TRUE(last_sighting().running);
}

TEST_F(worker_pool, idle_workers_end_when_shut_down_begins) {
    {
        core_session session(true, true);
        for (int i = 0; i < 20; ++i)
            kiv_bg_thread(record, nullptr, 0);
        eventually([] { return sightings_count() == 20; });
    }
    EXPECT_EQ(kiv_test_threads_count(), 0);
    EXPECT_EQ(kiv_test_idle_workers(), 0);
    kiv_bg_thread(record, nullptr, 0);  // after shut-down: on the caller
    EXPECT_FALSE(last_sighting().running);
}

// The hand-over that never waits: every case where kiv_bg_thread would
// wait or run the task on the caller refuses it instead, runs nothing and
// leaves the caller's data alone; a free worker takes it with a copy.
TEST_F(worker_pool, a_hand_over_that_must_not_wait_is_refused_where_the_caller_would_wait_or_run_it) {
    char data[] = "mine";
    EXPECT_FALSE(kiv_bg_thread_try(record, data, 4));  // before the core's entry
    kiv_set_env("KIV_MAX_THREADS_COUNT", "11");
    {
        core_session session(true, true);
        kiv_set_env("KIV_MAX_THREADS_COUNT", nullptr);
        EXPECT_FALSE(kiv_bg_thread_try(nullptr, data, 4));
        kiv_test_fail_thread_starts(1);
        EXPECT_FALSE(kiv_bg_thread_try(record, data, 4));
        EXPECT_EQ(kiv_test_threads_count(), 2);  // the failed start's slot is back

        std::promise<void> opened;
        gate = opened.get_future().share();
        for (int i = 0; i < 9; ++i)  // 9 workers + 2 core threads = the limit
            ASSERT_TRUE(kiv_bg_thread_try(wait_at_gate, nullptr, 0));
        eventually([] { return waiting_at_gate.load() == 9; });
        EXPECT_FALSE(kiv_bg_thread_try(record, data, 4));  // at the limit: at once
        EXPECT_EQ(sightings_count(), 0u);
        opened.set_value();
        eventually([] { return kiv_test_idle_workers() == 9; });
        ASSERT_TRUE(kiv_bg_thread_try(record, data, 4));  // an idle worker takes it
        std::memcpy(data, "0000", 4);
        eventually([] { return sightings_count() == 1; });
        sighting s = last_sighting();
        EXPECT_TRUE(s.running);
        EXPECT_EQ(s.text, "mine");
        EXPECT_NE(s.thread, kiv_get_thread_id());
        EXPECT_LE(kiv_test_threads_count(), 11);
    }
    EXPECT_FALSE(kiv_bg_thread_try(record, data, 4));  // after shut-down
    EXPECT_EQ(sightings_count(), 1u);
}
