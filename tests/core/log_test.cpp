// log_test.cpp --
//
//     The two channels: line format, cut-off at the buffer size, level
//     filtering, one time stamp on both channels, facilities, and lines
//     from many threads that never interleave.

#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>

#include "test_util.h"

#include <regex>
#include <sstream>
#include <thread>
#include <vector>

namespace {

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// Points both channels at files of a private folder for one test and
// restores the defaults afterwards.
class log_files : public ::testing::Test {
protected:
    void SetUp() override {
        // Facilities are made absolute under the installation root,
        // through the core.
        kiv_set_env("KIV_ROOT_PATH", dir.path().c_str());
        ASSERT_TRUE(kiv_initialize());
        trace_path = dir.file("trace.txt");
        log_path = dir.file("log.txt");
        kiv_set_trace_facility(trace_path.c_str());
        kiv_set_log_facility(log_path.c_str());
    }
    void TearDown() override {
        kiv_enable_trace(true);
        kiv_set_log_level(0);
        kiv_set_trace_facility("stdout");
        kiv_set_log_facility("");
        kiv_terminate();
        kiv_set_env("KIV_ROOT_PATH", nullptr);
    }
    std::string trace_text() {
        kiv::log_flush_files();
        return kiv_test::read_all(trace_path);
    }
    std::string log_text() {
        kiv::log_flush_files();
        return kiv_test::read_all(log_path);
    }
    kiv_test::temp_dir dir;
    std::string trace_path, log_path;
};

}  // namespace

TEST_F(log_files, a_line_is_a_local_time_stamp_the_message_and_a_line_feed) {
    kiv_trace("hello %d %s", 42, "world");
    std::string text = trace_text();
    std::regex shape(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}: hello 42 world\n)");
    EXPECT_TRUE(std::regex_match(text, shape)) << text;
}

TEST_F(log_files, long_messages_are_cut_to_1023_bytes_with_the_line_feed) {
    std::string message(2000, 'm');
    kiv_trace("%s", message.c_str());
    std::string text = trace_text();
    EXPECT_EQ(text.size(), 1023u);
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(log_files, levels_above_the_log_level_reach_trace_only) {
    kiv_log(1, "detail");
    kiv_log(0, "important");
    std::vector<std::string> trace = lines_of(trace_text());
    std::vector<std::string> log = lines_of(log_text());
    ASSERT_EQ(trace.size(), 2u);
    ASSERT_EQ(log.size(), 1u);
    // Formatted once: the same time stamp and text on both channels.
    EXPECT_EQ(log[0], trace[1]);
    kiv_set_log_level(2);
    kiv_log(2, "now logged");
    EXPECT_EQ(lines_of(log_text()).size(), 2u);
}

TEST_F(log_files, disabled_trace_silences_trace_but_not_the_log) {
    kiv_enable_trace(false);
    kiv_trace("nothing");
    kiv_log(0, "only in log");
    EXPECT_EQ(trace_text(), "");
    EXPECT_NE(log_text().find("only in log"), std::string::npos);
}

TEST_F(log_files, relative_facilities_are_under_the_root_and_switching_closes_the_file) {
    kiv_set_log_facility("app.log");
    EXPECT_EQ(std::string(kiv_get_log_facility()), dir.file("app.log"));
    kiv_log(0, "into app log");
    kiv_set_log_facility("stderr");
    EXPECT_STREQ(kiv_get_log_facility(), "stderr");
    EXPECT_NE(kiv_test::read_all(dir.file("app.log")).find("into app log"), std::string::npos);
}

TEST_F(log_files, unusable_facilities_change_nothing_or_silence_the_channel) {
    kiv_set_log_facility(nullptr);
    EXPECT_EQ(std::string(kiv_get_log_facility()), log_path);
    std::string too_long = "/" + std::string(1100, 'a');
    kiv_set_log_facility(too_long.c_str());
    EXPECT_EQ(std::string(kiv_get_log_facility()), log_path);
    kiv_set_log_facility(dir.file("missing/folder/x.log").c_str());
    kiv_log(0, "dropped");  // no stream: dropped without error
    kiv_set_log_facility(log_path.c_str());
    EXPECT_EQ(log_text().find("dropped"), std::string::npos);
}

TEST_F(log_files, lines_of_many_threads_never_interleave) {
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                kiv_log(0, "thread %d line %d payload-payload-payload", t, i);
        });
    // A facility change racing the writers must not tear a line either.
    kiv_set_trace_facility(trace_path.c_str());
    for (auto& t : threads)
        t.join();
    std::vector<std::string> log = lines_of(log_text());
    EXPECT_EQ(log.size(), 1200u);
    std::regex shape(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}: thread \d line \d+ payload-payload-payload)");
    for (const std::string& line : log)
        ASSERT_TRUE(std::regex_match(line, shape)) << line;
}
