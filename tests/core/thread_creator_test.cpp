// thread_creator_test.cpp --
//
//     Owner threads: the permission given by the core's entry, stopping
//     and waiting (the deadline on the driven clock), a thread start that
//     fails, and owners that delete themselves when a chosen thread ends.

#include <kiv/core/object.h>
#include <kiv/core/process.h>
#include <kiv/core/threads.h>

#include "core_session.h"

#include <atomic>
#include <future>

using namespace kiv;
using kiv_test::core_session;
using kiv_test::eventually;

namespace {

std::atomic<int> owners_deleted{0};

class owner : public object, public thread_creator {
public:
    ~owner() override { owners_deleted.fetch_add(1); }

    bool start_loop() { return create_thread(this, static_cast<thread_function>(&owner::loop), nullptr); }
    bool start_stubborn(std::shared_future<void> until) {
        until_ = until;
        return create_thread(this, static_cast<thread_function>(&owner::stubborn), nullptr);
    }
    bool start_self_deleting() {
        return create_thread(this, static_cast<thread_function>(&owner::self_deleting), nullptr);
    }

    std::atomic<int> passes{0};

private:
    void loop(void*) {
        while (pause_thread(1000))  // a stop ends the pause at once
            passes.fetch_add(1);
    }
    void stubborn(void*) { until_.wait(); }  // ignores thread_running
    void self_deleting(void*) {
        enable_auto_delete_thread(kiv_get_thread_id());
        passes.fetch_add(thread_running() ? 100 : 1);
    }

    std::shared_future<void> until_;
};

}  // namespace

// Runs first, in a process where the core's entry has not run yet.
TEST(thread_creator, no_thread_starts_before_the_core_entry) {
    core_session session(false);
    owner o;
    EXPECT_FALSE(o.start_loop());
    EXPECT_EQ(o.get_threads_count(), 0u);
    EXPECT_EQ(kiv_test_threads_count(), 0);
}

TEST(thread_creator, stop_threads_ends_a_looping_thread_and_reports_success) {
    core_session session(true, true);
    owner o;
    ASSERT_TRUE(o.start_loop());
    EXPECT_EQ(o.get_threads_count(), 1u);
    EXPECT_EQ(kiv_test_threads_count(), 3);
    EXPECT_TRUE(o.thread_running());
    EXPECT_TRUE(o.stop_threads(5));
    EXPECT_EQ(o.get_threads_count(), 0u);
    EXPECT_FALSE(o.thread_running());
    eventually([] { return kiv_test_threads_count() == 2; });
    ASSERT_TRUE(o.start_loop());  // a new start clears the stop flag
    EXPECT_TRUE(o.thread_running());
    EXPECT_TRUE(o.stop_threads(5));
}

TEST(thread_creator, stop_threads_gives_up_at_its_deadline_and_the_thread_goes_on) {
    core_session session;
    kiv_test_clock_drive(true);
    std::promise<void> release;
    owner o;
    ASSERT_TRUE(o.start_stubborn(release.get_future().share()));
    auto stopped = std::async(std::launch::async, [&] { return o.stop_threads(5); });
    for (int i = 0; i < 49; ++i)  // 4.9 driven seconds: still waiting
        kiv_test_clock_advance(100);
    EXPECT_EQ(stopped.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
    while (stopped.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        kiv_test_clock_advance(100);
    EXPECT_FALSE(stopped.get());
    EXPECT_EQ(o.get_threads_count(), 1u);
    release.set_value();
    EXPECT_TRUE(o.stop_threads(5));
}

TEST(thread_creator, a_failed_thread_start_reports_false_and_counts_nothing) {
    core_session session(true, true);
    owner o;
    kiv_test_fail_thread_starts(1);
    EXPECT_FALSE(o.start_loop());
    EXPECT_EQ(o.get_threads_count(), 0u);
    EXPECT_EQ(kiv_test_threads_count(), 2);
    EXPECT_TRUE(o.start_loop());
    EXPECT_TRUE(o.stop_threads(5));
}

TEST(thread_creator, auto_delete_stops_the_loops_and_deletes_the_owner_when_its_thread_ends) {
    core_session session(true, true);
    owners_deleted = 0;
    owner* o = new owner;
    ASSERT_TRUE(o->start_loop());
    ASSERT_TRUE(o->start_self_deleting());
    eventually([] { return owners_deleted.load() == 1; });
    eventually([] { return kiv_test_threads_count() == 2; });
}

TEST(thread_creator, thread_running_turns_false_once_auto_delete_is_enabled) {
    core_session session(true, true);
    owner o;
    EXPECT_TRUE(o.thread_running());
    o.enable_auto_delete_thread(12345);
    EXPECT_FALSE(o.thread_running());
}
