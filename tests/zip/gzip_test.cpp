// gzip_test.cpp --
//
//     gzip files: written piece by piece and checked with the gzip tool,
//     replacing the target only at a successful close, the closed state,
//     and read back whole (plain files as they are, sizes around the
//     growing buffer's steps), with cut and damaged files refused.

#include "zip_fixtures.h"

#include <kiv_test/file_size_limit.h>

#include <dirent.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <random>

using namespace kiv;
using namespace kiv_test;

namespace {

// Names in a folder, "." and ".." left out.
std::vector<std::string> listing(const std::string& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    if (d == nullptr)
        return names;
    while (dirent* e = readdir(d)) {
        if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
            names.push_back(e->d_name);
    }
    closedir(d);
    return names;
}

}  // namespace

TEST_F(zip_session, a_gzip_file_written_in_pieces_reads_back_everywhere) {
    bytes data = sample_data(3 << 20);
    std::string file = path("data.gz");
    auto_ptr_t<i_gzip_writer> gz(zip->open_gzip_writer(file.c_str()));
    ASSERT_TRUE(gz);
    for (size_t at = 0; at < data.size(); at += 100000) {
        unsigned n = unsigned(std::min<size_t>(100000, data.size() - at));
        ASSERT_TRUE(gz->write(data.data() + at, n));
    }
    ASSERT_TRUE(gz->write(data.data(), 0));
    ASSERT_TRUE(gz->close());

    auto_ptr_t<i_binary> back(zip->ungzip_binary(file.c_str()));
    ASSERT_TRUE(back);
    EXPECT_EQ(bytes_of(back), data);
    if (!have_tool("gzip"))
        GTEST_SKIP() << "gzip is not installed";
    EXPECT_EQ(run_command("gzip -t " + shell_quoted(file)), 0);
    std::string unpacked;
    EXPECT_EQ(run_command("gzip -dc " + shell_quoted(file), &unpacked), 0);
    EXPECT_EQ(bytes_of(unpacked), data);
}

TEST_F(zip_session, the_target_is_replaced_only_when_the_writer_closes) {
    std::string file = path("page.html.gz");
    put_file(file, bytes_of("old copy"));
    auto_ptr_t<i_gzip_writer> gz(zip->open_gzip_writer(file.c_str()));
    ASSERT_TRUE(gz);
    ASSERT_TRUE(gz->write("<html>new</html>", 16));
    EXPECT_EQ(read_all(file), "old copy");
    ASSERT_TRUE(gz->close());
    heap_text text(zip->ungzip_text(file.c_str()));
    EXPECT_STREQ(text.get(), "<html>new</html>");
    EXPECT_EQ(listing(session.root.path()).size(), 1u);
}

TEST_F(zip_session, a_closed_writer_refuses_writes_and_a_second_close) {
    auto_ptr_t<i_gzip_writer> gz(zip->open_gzip_writer(path("a.gz").c_str()));
    ASSERT_TRUE(gz);
    ASSERT_TRUE(gz->write("abc", 3));
    ASSERT_TRUE(gz->close());
    EXPECT_FALSE(gz->write("def", 3));
    EXPECT_FALSE(gz->close());
    heap_text text(zip->ungzip_text(path("a.gz").c_str()));
    EXPECT_STREQ(text.get(), "abc");
}

TEST_F(zip_session, releasing_an_open_writer_completes_the_file) {
    auto_ptr_t<i_gzip_writer> gz(zip->open_gzip_writer(path("b.gz").c_str()));
    ASSERT_TRUE(gz);
    ASSERT_TRUE(gz->write("released", 8));
    gz.reset();
    heap_text text(zip->ungzip_text(path("b.gz").c_str()));
    EXPECT_STREQ(text.get(), "released");
}

TEST_F(zip_session, a_failed_write_or_close_reports_false_and_leaves_no_file) {
    // A write that cannot be made abandons the file at close.
    auto_ptr_t<i_gzip_writer> gz(zip->open_gzip_writer(path("c.gz").c_str()));
    ASSERT_TRUE(gz);
    ASSERT_TRUE(gz->write("good", 4));
    EXPECT_FALSE(gz->write(nullptr, 4));
    EXPECT_FALSE(gz->close());
    EXPECT_FALSE(exists(path("c.gz")));

    // The file cannot take the target's place: a folder came there
    // after the writer opened.
    gz.reset(zip->open_gzip_writer(path("d.gz").c_str()));
    ASSERT_TRUE(gz);
    ASSERT_EQ(mkdir(path("d.gz").c_str(), 0700), 0);
    ASSERT_TRUE(gz->write("data", 4));
    EXPECT_FALSE(gz->close());
    gz.reset();
    std::vector<std::string> names = listing(session.root.path());
    EXPECT_EQ(names, std::vector<std::string>{"d.gz"});
}

TEST_F(zip_session, a_close_that_cannot_write_reports_false_names_the_cause_and_keeps_the_old_file) {
    std::string file = path("kept.gz");
    put_file(file, bytes_of("old copy"));
    // Noise does not shrink, and deflate holds these few bytes until the
    // close, which then meets a file size limit (EFBIG, as a full disk).
    std::mt19937 noise(5);
    bytes data(4000);
    for (uint8_t& b : data)
        b = uint8_t(noise());
    auto_ptr_t<i_gzip_writer> gz(zip->open_gzip_writer(file.c_str()));
    ASSERT_TRUE(gz);
    bool written = false;
    bool closed = true;
    std::string log;
    {
        trace_capture trace(path("trace.log"));
        {
            file_size_limit limit(1024);
            ASSERT_TRUE(limit.ok());
            written = gz->write(data.data(), unsigned(data.size()));
            closed = gz->close();
        }
        log = trace.text();
    }
    EXPECT_TRUE(written);
    EXPECT_FALSE(closed);
    EXPECT_NE(log.find("'" + file + "' was not written: " + std::strerror(EFBIG)), std::string::npos) << log;
    EXPECT_EQ(read_all(file), "old copy");
    EXPECT_EQ(listing(session.root.path()).size(), 2u);  // the old file and the trace, no temporary
}

TEST_F(zip_session, a_plain_file_given_to_the_gzip_reader_comes_back_as_it_is) {
    bytes data = sample_data(5000);
    put_file(path("plain.bin"), data);
    auto_ptr_t<i_binary> back(zip->ungzip_binary(path("plain.bin").c_str()));
    ASSERT_TRUE(back);
    EXPECT_EQ(bytes_of(back), data);

    put_file(path("plain.txt"), bytes_of("line one\nline two\n"));
    heap_text text(zip->ungzip_text(path("plain.txt").c_str()));
    EXPECT_STREQ(text.get(), "line one\nline two\n");

    put_file(path("empty"), bytes());
    back.reset(zip->ungzip_binary(path("empty").c_str()));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->get_data_size(), 0u);
}

TEST_F(zip_session, sizes_around_the_growing_buffers_steps_read_whole) {
    for (size_t size : {size_t(0xFFFFE), size_t(0xFFFFF), size_t(0x100000), size_t(0x1FFFFF),
                        size_t(0x200001)}) {
        bytes data = sample_data(size, unsigned(size));
        put_file(path("step"), data);
        auto_ptr_t<i_binary> back(zip->ungzip_binary(path("step").c_str()));
        ASSERT_TRUE(back) << size;
        EXPECT_EQ(bytes_of(back), data) << size;
    }
}

TEST_F(zip_session, a_file_made_by_the_gzip_tool_reads_back) {
    if (!have_tool("gzip"))
        GTEST_SKIP() << "gzip is not installed";
    bytes data = sample_data(300000);
    put_file(path("tool"), data);
    ASSERT_EQ(run_command("gzip -9 " + shell_quoted(path("tool"))), 0);
    auto_ptr_t<i_binary> back(zip->ungzip_binary(path("tool.gz").c_str()));
    ASSERT_TRUE(back);
    EXPECT_EQ(bytes_of(back), data);
}

TEST_F(zip_session, cut_or_damaged_gzip_files_are_refused) {
    bytes data = sample_data(200000);
    auto_ptr_t<i_gzip_writer> gz(zip->open_gzip_writer(path("whole.gz").c_str()));
    ASSERT_TRUE(gz);
    ASSERT_TRUE(gz->write(data.data(), unsigned(data.size())));
    ASSERT_TRUE(gz->close());
    bytes whole = file_bytes(path("whole.gz"));

    // Cut inside the deflate data and inside the trailer.
    for (size_t keep : {whole.size() / 2, whole.size() - 4}) {
        put_file(path("cut.gz"), bytes(whole.begin(), whole.begin() + long(keep)));
        EXPECT_EQ(zip->ungzip_binary(path("cut.gz").c_str()), nullptr) << keep;
        EXPECT_EQ(zip->ungzip_text(path("cut.gz").c_str()), nullptr) << keep;
    }
    // One byte flipped in the middle, and a wrong length in the trailer.
    bytes flipped = whole;
    flipped[flipped.size() / 2] ^= 0x10;
    put_file(path("flipped.gz"), flipped);
    EXPECT_EQ(zip->ungzip_binary(path("flipped.gz").c_str()), nullptr);
    bytes wrong_length = whole;
    wrong_length[wrong_length.size() - 1] ^= 0x01;
    put_file(path("length.gz"), wrong_length);
    EXPECT_EQ(zip->ungzip_binary(path("length.gz").c_str()), nullptr);
}

TEST_F(zip_session, files_beyond_the_memory_cap_are_refused) {
    memory_cap_guard cap(100000);
    bytes fits = sample_data(100000);
    bytes over = sample_data(100001);
    put_file(path("fits"), fits);
    put_file(path("over"), over);
    auto_ptr_t<i_binary> back(zip->ungzip_binary(path("fits").c_str()));
    ASSERT_TRUE(back);
    EXPECT_TRUE(bytes_of(back) == fits);
    EXPECT_EQ(zip->ungzip_binary(path("over").c_str()), nullptr);
    auto_ptr_t<i_gzip_writer> gz(zip->open_gzip_writer(path("over.gz").c_str()));
    ASSERT_TRUE(gz->write(over.data(), unsigned(over.size())));
    ASSERT_TRUE(gz->close());
    EXPECT_EQ(zip->ungzip_text(path("over.gz").c_str()), nullptr);
}

TEST_F(zip_session, missing_files_give_null) {
    EXPECT_EQ(zip->ungzip_binary(path("none.gz").c_str()), nullptr);
    EXPECT_EQ(zip->ungzip_text(path("none.gz").c_str()), nullptr);
    EXPECT_EQ(zip->ungzip_binary(nullptr), nullptr);
    EXPECT_EQ(zip->ungzip_binary(session.root.path().c_str()), nullptr);
}
