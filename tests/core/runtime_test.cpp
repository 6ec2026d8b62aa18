// runtime_test.cpp --
//
//     Process-wide ids under concurrent callers, thread ids (kept per
//     thread, renewed in a forked child), and the calendar helpers.

#include <kiv/core/calendar.h>
#include <kiv/core/next_id.h>
#include <kiv/core/process.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>
#include <vector>

#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(next_id, ids_grow_and_are_never_zero) {
    int64_t a = kiv_get_next_id();
    int64_t b = kiv_get_next_id();
    EXPECT_GE(a, 1);
    EXPECT_GT(b, a);
}

TEST(next_id, concurrent_callers_never_get_the_same_id) {
    const int threads = 8;
    const int per_thread = 5000;
    std::vector<std::vector<int64_t>> got(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&got, t] {
            for (int i = 0; i < per_thread; ++i)
                got[t].push_back(kiv_get_next_id());
        });
    for (std::thread& w : workers)
        w.join();
    std::set<int64_t> all;
    for (const auto& ids : got)
        all.insert(ids.begin(), ids.end());
    EXPECT_EQ(all.size(), size_t(threads) * per_thread);
}

TEST(thread_id, each_thread_has_its_own_kernel_id_and_keeps_it) {
    const uint32_t main_id = kiv_get_thread_id();
    EXPECT_EQ(main_id, static_cast<uint32_t>(syscall(SYS_gettid)));
    EXPECT_EQ(kiv_get_thread_id(), main_id);
    const int threads = 4;
    std::vector<uint32_t> first(threads), second(threads), kernel(threads);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            first[t] = kiv_get_thread_id();
            kernel[t] = static_cast<uint32_t>(syscall(SYS_gettid));
            second[t] = kiv_get_thread_id();
        });
    for (std::thread& w : workers)
        w.join();
    std::set<uint32_t> distinct(first.begin(), first.end());
    distinct.insert(main_id);
    EXPECT_EQ(distinct.size(), size_t(threads) + 1);
    EXPECT_EQ(first, kernel);
    EXPECT_EQ(second, kernel);
}

TEST(thread_id, a_forked_child_sees_its_own_id_not_its_parents) {
    const uint32_t parent = kiv_get_thread_id();  // asked (and kept) before the fork
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child's only thread is its main thread, whose id is its pid.
        uint32_t id = kiv_get_thread_id();
        _exit(id == static_cast<uint32_t>(getpid()) && id != parent ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(calendar, leap_years_follow_the_gregorian_rules) {
    EXPECT_EQ(kiv_get_days_in_year(2023), 365);
    EXPECT_EQ(kiv_get_days_in_year(2024), 366);
    EXPECT_EQ(kiv_get_days_in_year(1900), 365);
    EXPECT_EQ(kiv_get_days_in_year(2000), 366);
}

TEST(calendar, month_lengths) {
    EXPECT_EQ(kiv_get_days_in_month(2, 2000), 29);
    EXPECT_EQ(kiv_get_days_in_month(2, 1900), 28);
    EXPECT_EQ(kiv_get_days_in_month(2, 2024), 29);
    EXPECT_EQ(kiv_get_days_in_month(1, 2023), 31);
    EXPECT_EQ(kiv_get_days_in_month(4, 2023), 30);
    EXPECT_EQ(kiv_get_days_in_month(12, 2023), 31);
    EXPECT_EQ(kiv_get_days_in_month(13, 2023), 0);
    EXPECT_EQ(kiv_get_days_in_month(0, 2023), 0);
    int total = 0;
    for (unsigned m = 1; m <= 12; ++m)
        total += kiv_get_days_in_month(m, 2024);
    EXPECT_EQ(total, kiv_get_days_in_year(2024));
}
