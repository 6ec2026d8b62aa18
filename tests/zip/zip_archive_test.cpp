// zip_archive_test.cpp --
//
//     Archives written and read back: files and memory entries round trip
//     through our reader and are accepted by unzip -t and Python's
//     zipfile; archives made by zipfile read through ours; names are
//     exact; entry dates follow the files' times, clamped at 1980;
//     extraction and the rules of add_file.

#include "zip_fixtures.h"

#include <kiv/core/files.h>

#include <sys/resource.h>
#include <sys/time.h>

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <random>

using namespace kiv;
using namespace kiv_test;

namespace {

// Sets a file's modification time to a local date and time.
void set_local_mtime(const std::string& file, int year, int month, int day, int hour, int min, int sec) {
    struct tm t = {};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = min;
    t.tm_sec = sec;
    t.tm_isdst = -1;
    time_t when = mktime(&t);
    struct timeval times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimes(file.c_str(), times), 0);
}

void set_epoch_mtime(const std::string& file, time_t when) {
    struct timeval times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(utimes(file.c_str(), times), 0);
}

// The lines zip_check.py lists for an archive: name|size|ok|date|method.
std::vector<std::string> python_listing(const std::string& archive) {
    std::string out;
    EXPECT_EQ(zip_check("list " + shell_quoted(archive), &out), 0) << out;
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(out.substr(start, nl - start));
    return lines;
}

// In a process that may write only 100,000 bytes per file, writes three
// incompressible 60,000-byte entries to a new archive at `target`, then
// exits with 0.
void write_beyond_file_size_limit(i_zip_service* zip, const std::string& target) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {100000, 100000};
    setrlimit(RLIMIT_FSIZE, &limit);
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(target.c_str()));
        std::mt19937 noise(7);
        bytes data(60000);
        for (int i = 0; writer && i < 3; ++i) {
            for (uint8_t& b : data)
                b = uint8_t(noise());
            writer->write_binary_file(data.data(), unsigned(data.size()), ("e" + std::to_string(i)).c_str());
        }
    }
    _exit(0);
}

// Sorted names in a folder.
std::vector<std::string> folder_names(const std::string& dir) {
    std::vector<std::string> names;
    auto_ptr_t<i_object_col> all(kiv_scan_dir(dir.c_str(), "*", 0));
    for (unsigned i = 0; all && i < all->get_count(); ++i) {
        auto_ptr_t<i_object> item(all->get_item_by_pos(i));
        names.push_back(kiv_cast_i_string(item)->get_value());
    }
    return names;
}

}  // namespace

TEST_F(zip_session, files_and_memory_entries_round_trip_and_pass_independent_checks) {
    bytes big = sample_data(9 << 20, 7);  // more than one copy buffer
    bytes small = sample_data(1000, 3);
    put_file(path("big.bin"), big);
    put_file(path("notes.txt"), bytes_of("first line\nsecond line\n"));
    std::string archive = path("out.zip");
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(archive.c_str()));
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->add_file(path("big.bin").c_str(), "data/big.bin"));
        ASSERT_TRUE(writer->add_file(path("notes.txt").c_str(), "notes.txt"));
        ASSERT_TRUE(writer->write_binary_file(small.data(), unsigned(small.size()), "mem/small.bin"));
        ASSERT_TRUE(writer->write_text_file("Привет, карта", "mem/привет.txt"));
        ASSERT_TRUE(writer->write_binary_file("", 0, "mem/empty"));
    }

    auto_ptr_t<i_zip_reader> reader(zip->open_reader(archive.c_str()));
    ASSERT_TRUE(reader);
    auto_ptr_t<i_binary> got(reader->get_binary_file("data/big.bin"));
    ASSERT_TRUE(got);
    EXPECT_EQ(bytes_of(got), big);
    got.reset(reader->get_binary_file("mem/small.bin"));
    ASSERT_TRUE(got);
    EXPECT_EQ(bytes_of(got), small);
    got.reset(reader->get_binary_file("mem/empty"));
    ASSERT_TRUE(got);
    EXPECT_EQ(got->get_data_size(), 0u);
    heap_text text(reader->get_text_file("notes.txt"));
    EXPECT_STREQ(text.get(), "first line\nsecond line\n");
    text.reset(reader->get_text_file("mem/привет.txt"));
    EXPECT_STREQ(text.get(), "Привет, карта");
    ASSERT_TRUE(reader->extract_file("data/big.bin", path("copy.bin").c_str()));
    EXPECT_EQ(file_bytes(path("copy.bin")), big);

    EXPECT_EQ(zip_check("test " + shell_quoted(archive)), 0);
    std::vector<std::string> lines = python_listing(archive);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].substr(0, lines[0].find("|ok|")), "data/big.bin|" + std::to_string(big.size()));
    EXPECT_EQ(lines[0].substr(lines[0].rfind('|')), "|8");  // deflated
    EXPECT_EQ(lines[2].substr(0, lines[2].find("|ok|")), "mem/small.bin|1000");
    EXPECT_EQ(lines[3].substr(0, lines[3].find('|')), "mem/привет.txt");

    if (!have_tool("unzip"))
        GTEST_SKIP() << "unzip is not installed";
    std::string out;
    EXPECT_EQ(run_command("unzip -t " + shell_quoted(archive) + " 2>&1", &out), 0) << out;
}

TEST_F(zip_session, archives_made_by_pythons_zipfile_read_through_ours) {
    bytes a = sample_data(70000, 11);
    put_file(path("a.bin"), a);
    put_file(path("b.txt"), bytes_of("plain text entry"));
    for (const char* kind : {"make", "store"}) {
        std::string archive = path(std::string(kind) + ".zip");
        ASSERT_EQ(zip_check(std::string(kind) + " " + shell_quoted(archive) + " in/a.bin=" + shell_quoted(path("a.bin")) +
                            " b.txt=" + shell_quoted(path("b.txt"))),
                  0);
        auto_ptr_t<i_zip_reader> reader(zip->open_reader(archive.c_str()));
        ASSERT_TRUE(reader) << kind;
        auto_ptr_t<i_binary> got(reader->get_binary_file("in/a.bin"));
        ASSERT_TRUE(got) << kind;
        EXPECT_EQ(bytes_of(got), a);
        heap_text text(reader->get_text_file("b.txt"));
        EXPECT_STREQ(text.get(), "plain text entry");
    }
}

TEST_F(zip_session, entry_names_match_exactly) {
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("n.zip").c_str()));
        ASSERT_TRUE(writer->write_text_file("lower", "readme.txt"));
    }
    auto_ptr_t<i_zip_reader> reader(zip->open_reader(path("n.zip").c_str()));
    ASSERT_TRUE(reader);
    EXPECT_EQ(reader->get_text_file("README.TXT"), nullptr);
    EXPECT_EQ(reader->get_binary_file("Readme.txt"), nullptr);
    EXPECT_EQ(reader->get_text_file("readme"), nullptr);
    EXPECT_EQ(reader->get_text_file(nullptr), nullptr);
    EXPECT_FALSE(reader->extract_file("README.TXT", path("x").c_str()));
    EXPECT_FALSE(exists(path("x")));
    heap_text text(reader->get_text_file("readme.txt"));
    EXPECT_STREQ(text.get(), "lower");
}

TEST_F(zip_session, entries_carry_the_files_time_and_times_before_1980_are_clamped) {
    put_file(path("recent"), bytes_of("r"));
    set_local_mtime(path("recent"), 2021, 6, 15, 12, 34, 56);
    put_file(path("epoch"), bytes_of("e"));
    set_epoch_mtime(path("epoch"), 0);
    put_file(path("seventies"), bytes_of("s"));
    set_local_mtime(path("seventies"), 1975, 3, 4, 5, 6, 8);
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("t.zip").c_str()));
        ASSERT_TRUE(writer->add_file(path("recent").c_str(), "recent"));
        ASSERT_TRUE(writer->add_file(path("epoch").c_str(), "epoch"));
        ASSERT_TRUE(writer->add_file(path("seventies").c_str(), "seventies"));
        ASSERT_TRUE(writer->write_text_file("now", "now"));
    }
    std::vector<std::string> lines = python_listing(path("t.zip"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "recent|1|ok|2021-06-15 12:34:56|8");
    EXPECT_EQ(lines[1], "epoch|1|ok|1980-01-01 00:00:00|8");
    EXPECT_EQ(lines[2], "seventies|1|ok|1980-01-01 00:00:00|8");
    time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    EXPECT_EQ(lines[3].substr(0, 13), "now|3|ok|" + std::to_string(local.tm_year + 1900));
}

TEST_F(zip_session, add_file_needs_an_existing_file_and_an_archive_name) {
    put_file(path("f.txt"), bytes_of("content"));
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("r.zip").c_str()));
        ASSERT_TRUE(writer);
        EXPECT_FALSE(writer->add_file(path("f.txt").c_str(), ""));
        EXPECT_FALSE(writer->add_file(path("f.txt").c_str(), nullptr));
        EXPECT_FALSE(writer->add_file(path("missing.txt").c_str(), "m"));
        EXPECT_FALSE(writer->add_file(nullptr, "n"));
        EXPECT_FALSE(writer->add_file(session.root.path().c_str(), "folder"));
        // "-" is a file name under the root like any other.
        EXPECT_FALSE(writer->add_file("-", "dash"));
        put_file(path("-"), bytes_of("dash file"));
        EXPECT_TRUE(writer->add_file("-", "dash"));
        EXPECT_FALSE(writer->write_binary_file(nullptr, 3, "x"));
        EXPECT_FALSE(writer->write_binary_file("abc", 3, ""));
        EXPECT_FALSE(writer->write_text_file(nullptr, "x"));
        EXPECT_FALSE(writer->write_text_file("abc", nullptr));
    }
    // Only the one good entry went in.
    std::vector<std::string> lines = python_listing(path("r.zip"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, 12), "dash|9|ok|20");
}

TEST_F(zip_session, a_new_writer_replaces_an_existing_archive) {
    put_file(path("w.zip"), bytes_of("whatever was here"));
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("w.zip").c_str()));
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->write_text_file("fresh", "fresh.txt"));
    }
    std::vector<std::string> lines = python_listing(path("w.zip"));
    ASSERT_EQ(lines.size(), 1u);
}

TEST_F(zip_session, extraction_writes_the_entry_and_refuses_bad_arguments) {
    bytes data = sample_data(100000, 5);
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("e.zip").c_str()));
        ASSERT_TRUE(writer->write_binary_file(data.data(), unsigned(data.size()), "d.bin"));
    }
    auto_ptr_t<i_zip_reader> reader(zip->open_reader(path("e.zip").c_str()));
    ASSERT_TRUE(reader);
    put_file(path("out.bin"), bytes_of("previous"));
    ASSERT_TRUE(reader->extract_file("d.bin", path("out.bin").c_str()));
    EXPECT_EQ(file_bytes(path("out.bin")), data);
    ASSERT_TRUE(reader->extract_file("d.bin", "relative.bin"));
    EXPECT_EQ(file_bytes(path("relative.bin")), data);

    EXPECT_FALSE(reader->extract_file(nullptr, path("o1").c_str()));
    EXPECT_FALSE(reader->extract_file("", path("o2").c_str()));
    EXPECT_FALSE(reader->extract_file("d.bin", nullptr));
    EXPECT_FALSE(reader->extract_file("d.bin", path("no/such/folder/o3").c_str()));
    EXPECT_FALSE(exists(path("o1")));
    EXPECT_FALSE(exists(path("o2")));
}

TEST_F(zip_session, entries_are_marked_made_on_unix_with_their_file_mode) {
    put_file(path("mode.txt"), bytes_of("private"));
    ASSERT_EQ(chmod(path("mode.txt").c_str(), 0640), 0);
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("o.zip").c_str()));
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->add_file(path("mode.txt").c_str(), "mode.txt"));
        ASSERT_TRUE(writer->write_text_file("memory", "\xd0\xba\xd0\xb0\xd1\x80\xd1\x82\xd0\xb0.txt"));
    }
    std::string out;
    ASSERT_EQ(zip_check("origin " + shell_quoted(path("o.zip")), &out), 0) << out;
    EXPECT_EQ(out, "mode.txt|3|100640\n\xd0\xba\xd0\xb0\xd1\x80\xd1\x82\xd0\xb0.txt|3|100644\n");
}

TEST_F(zip_session, entry_names_that_could_climb_out_of_a_folder_are_refused) {
    struct {
        const char* name;
        bool accepted;
    } cases[] = {
        {"/etc/passwd", false}, {"\\windows\\x", false}, {"C:x.txt", false},  {"..", false},
        {"../up.txt", false},   {"a/../b.txt", false},   {"a\\..\\b", false}, {"a/..", false},
        {"a..b.txt", true},     {"..a/b.txt", true},     {"dir/b..", true},   {"dir/.hidden", true},
    };
    put_file(path("src.txt"), bytes_of("x"));
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("n.zip").c_str()));
        ASSERT_TRUE(writer);
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            EXPECT_EQ(writer->write_text_file("x", c.name), c.accepted);
            EXPECT_EQ(writer->add_file(path("src.txt").c_str(), c.name), c.accepted);
        }
    }
    std::vector<std::string> lines = python_listing(path("n.zip"));
    EXPECT_EQ(lines.size(), 8u);  // the four accepted names, each twice
}

TEST_F(zip_session, a_failed_close_leaves_the_old_archive_and_no_temporary_file) {
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("keep.zip").c_str()));
        ASSERT_TRUE(writer);
        ASSERT_TRUE(writer->write_text_file("old", "old.txt"));
    }
    bytes before = file_bytes(path("keep.zip"));
    // The new archive cannot be completed under the file size limit.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(write_beyond_file_size_limit(zip, path("keep.zip")), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(file_bytes(path("keep.zip")), before);

    // A folder came where the archive should go after the writer
    // opened: the rename fails.
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("folder.zip").c_str()));
        ASSERT_TRUE(writer);
        ASSERT_EQ(mkdir(path("folder.zip").c_str(), 0700), 0);
        ASSERT_TRUE(writer->write_text_file("new", "new.txt"));
    }
    EXPECT_TRUE(kiv_dir_exists(path("folder.zip").c_str()));
    EXPECT_EQ(folder_names(session.root.path()), (std::vector<std::string>{"folder.zip", "keep.zip"}));
}
