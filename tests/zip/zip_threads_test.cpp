// zip_threads_test.cpp --
//
//     One reader and one writer shared by several threads: each object
//     serialises its own operations, so concurrent reads all come back
//     whole and concurrent writes all land as complete entries.

#include "zip_fixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace kiv;
using namespace kiv_test;

namespace {

constexpr int thread_count = 4;
constexpr int rounds = 20;

std::string entry_name(int thread, int round) {
    return "t" + std::to_string(thread) + "/r" + std::to_string(round);
}

bytes entry_data(int thread, int round) {
    return sample_data(2000 + size_t(thread) * 300 + size_t(round), unsigned(thread * 100 + round));
}

}  // namespace

TEST_F(zip_session, threads_sharing_one_writer_and_one_reader_see_whole_entries) {
    std::string archive = path("shared.zip");
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(archive.c_str()));
        ASSERT_TRUE(writer);
        std::atomic<int> failures{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < thread_count; ++t)
            threads.emplace_back([&, t] {
                for (int r = 0; r < rounds; ++r) {
                    bytes data = entry_data(t, r);
                    if (!writer->write_binary_file(data.data(), unsigned(data.size()),
                                                   entry_name(t, r).c_str()))
                        ++failures;
                }
            });
        for (std::thread& th : threads)
            th.join();
        EXPECT_EQ(failures.load(), 0);
    }
    EXPECT_EQ(zip_check("test " + shell_quoted(archive)), 0);

    auto_ptr_t<i_zip_reader> reader(zip->open_reader(archive.c_str()));
    ASSERT_TRUE(reader);
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t)
        threads.emplace_back([&, t] {
            for (int r = 0; r < rounds; ++r) {
                // Each thread reads another thread's entries.
                int owner = (t + 1) % thread_count;
                auto_ptr_t<i_binary> got(reader->get_binary_file(entry_name(owner, r).c_str()));
                if (!got || bytes_of(got) != entry_data(owner, r))
                    ++mismatches;
            }
        });
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(mismatches.load(), 0);
}
