// zip_interop_test.cpp --
//
//     Archives other programs make, read through a reader as a user
//     gets one from the service: entries compressed with methods the
//     reader cannot decode (Python's bzip2 and LZMA) are refused in every
//     read path with a reason rather than handed back raw; Info-ZIP's
//     zip64 archives (`zip -fz`), whose directory keeps the real sizes
//     only in the zip64 field, read and list whole; and every entry of a
//     large archive is found by name, the first of two equal names
//     winning. Archives in every shape the usual writers give (stored or
//     deflated, data descriptors of every length, zip64 fields, folders,
//     empty files, a self-extracting stub in front, more entries than a
//     16-bit count holds) read byte for byte, so the checks on where each
//     entry lies refuse none of them.

#include "zip_fixtures.h"

#include <kiv/core/i_object_col.h>
#include <kiv/core/i_xml.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace kiv;
using namespace kiv_test;

namespace {

// The (name, size) pairs of a reader's listing.
std::vector<std::pair<std::string, std::string>> listed(i_zip_reader* reader) {
    std::vector<std::pair<std::string, std::string>> out;
    auto_ptr_t<i_xml_node> root(reader->get_contents());
    EXPECT_TRUE(root);
    if (!root)
        return out;
    auto_ptr_t<i_object_col> children(root->get_child_nodes());
    for (unsigned i = 0; i < children->get_count(); ++i) {
        auto_ptr_t<i_object> item(children->get_item_by_pos(i));
        i_xml_node* node = kiv_cast_i_xml_node(item);
        out.emplace_back(node->get_attribute("name"), node->get_attribute("size"));
    }
    return out;
}

bytes terminated(bytes b) {
    b.push_back(0);
    return b;
}

// Reads the entries "NNNNN/entry.txt" that zip_check.py's "many" writes,
// each holding its name ten times, from the last to the first.
void expect_numbered_entries(i_zip_reader* reader, int count) {
    for (int i = count - 1; i >= 0; --i) {
        char name[32];
        std::snprintf(name, sizeof name, "%05d/entry.txt", i);
        std::string expected;
        for (int k = 0; k < 10; ++k)
            expected += name;
        heap_text text(reader->get_text_file(name));
        ASSERT_TRUE(text) << name;
        ASSERT_EQ(std::string(text.get()), expected) << name;
    }
}

}  // namespace

TEST_F(zip_session, entries_of_methods_other_than_stored_and_deflate_are_refused_with_the_reason) {
    bytes data = sample_data(70000, 3);
    put_file(path("big.bin"), data);
    put_file(path("small.txt"), bytes_of("readable"));
    struct {
        const char* command;
        const char* method;
    } cases[] = {{"bzip2", "12"}, {"lzma", "14"}};
    for (const auto& c : cases) {
        std::string archive = path(std::string(c.command) + ".zip");
        std::string out;
        ASSERT_EQ(zip_check(std::string(c.command) + " " + shell_quoted(archive) + " big.bin=" +
                                shell_quoted(path("big.bin")),
                            &out),
                  0)
            << out;
        auto_ptr_t<i_zip_reader> reader(zip->open_reader(archive.c_str()));
        ASSERT_TRUE(reader) << c.command;
        trace_capture trace(path(std::string(c.command) + ".log"));
        EXPECT_EQ(reader->get_binary_file("big.bin"), nullptr) << c.command;
        EXPECT_EQ(reader->get_text_file("big.bin"), nullptr) << c.command;
        EXPECT_FALSE(reader->extract_file("big.bin", path("out.bin").c_str())) << c.command;
        EXPECT_FALSE(exists(path("out.bin"))) << c.command;
        // The listing still names the entry with its real size.
        EXPECT_EQ(listed(reader), (std::vector<std::pair<std::string, std::string>>{{"big.bin", "70000"}}));
        std::string text = trace.text();
        std::string reason = "entry 'big.bin' uses compression method " + std::string(c.method);
        size_t at = text.find(reason), count = 0;
        for (; at != std::string::npos; at = text.find(reason, at + 1))
            ++count;
        EXPECT_EQ(count, 3u) << text;
    }
}

TEST_F(zip_session, info_zips_zip64_archives_read_and_list_their_real_sizes) {
    if (!have_tool("zip"))
        GTEST_SKIP() << "Info-ZIP's zip is not installed (scripts/setup installs it)";
    bytes big = sample_data(94565, 5);
    std::string small = "hello from zip -fz\n";
    put_file(path("big.bin"), big);
    put_file(path("small.txt"), bytes_of(small));
    // -fz writes zip64 fields for every entry; -0 stores instead of
    // deflating, so both methods meet the zip64 sizes.
    for (const char* level : {"-6", "-0"}) {
        std::string archive = path(std::string("z64") + level + ".zip");
        std::string out;
        ASSERT_EQ(run_command("cd " + shell_quoted(session.root.path()) + " && zip -q -X -fz " + level + " " +
                          shell_quoted(archive) + " big.bin small.txt 2>&1",
                      &out),
                  0)
            << out;
        auto_ptr_t<i_zip_reader> reader(zip->open_reader(archive.c_str()));
        ASSERT_TRUE(reader) << level;
        auto_ptr_t<i_binary> got(reader->get_binary_file("big.bin"));
        ASSERT_TRUE(got) << level;
        EXPECT_EQ(bytes_of(got), big) << level;
        heap_text text(reader->get_text_file("small.txt"));
        ASSERT_TRUE(text) << level;
        EXPECT_EQ(std::string(text.get()), small) << level;
        ASSERT_TRUE(reader->extract_file("big.bin", path("extracted.bin").c_str())) << level;
        EXPECT_EQ(file_bytes(path("extracted.bin")), big) << level;
        EXPECT_EQ(listed(reader), (std::vector<std::pair<std::string, std::string>>{
                                      {"big.bin", "94565"}, {"small.txt", std::to_string(small.size())}}))
            << level;
    }
}

TEST_F(zip_session, every_entry_of_a_large_archive_is_found_by_name_and_the_first_of_equal_names_wins) {
    const int count = 3000;
    std::string archive = path("many.zip");
    std::string out;
    ASSERT_EQ(zip_check("many " + shell_quoted(archive) + " " + std::to_string(count), &out), 0) << out;
    // A second entry of an existing name, appended behind the others.
    {
        put_file(path("again.txt"), bytes_of("the second of that name"));
        ASSERT_EQ(run_command("python3 -W ignore -c \"import sys, zipfile; zipfile.ZipFile(sys.argv[1], 'a').write(sys.argv[2], "
                      "'00007/entry.txt')\" " +
                          shell_quoted(archive) + " " + shell_quoted(path("again.txt")) + " 2>&1",
                      &out),
                  0)
            << out;
    }
    auto_ptr_t<i_zip_reader> reader(zip->open_reader(archive.c_str()));
    ASSERT_TRUE(reader);
    // Last first, so no order of the directory helps.
    ASSERT_NO_FATAL_FAILURE(expect_numbered_entries(reader, count));
    EXPECT_EQ(reader->get_text_file("00007/entry"), nullptr);
    EXPECT_EQ(reader->get_text_file("/00007/entry.txt"), nullptr);
    EXPECT_EQ(listed(reader).size(), size_t(count) + 1);
}

TEST_F(zip_session, archives_in_the_shapes_other_writers_give_read_byte_exact) {
    if (!have_tool("zip"))
        GTEST_SKIP() << "Info-ZIP's zip is not installed (scripts/setup installs it)";
    bytes big = sample_data(94565, 7);
    std::string small = "small, with a folder and an empty file beside it\n";
    put_file(path("big.bin"), big);
    put_file(path("small.txt"), bytes_of(small));
    put_file(path("empty"), bytes());
    ASSERT_EQ(mkdir(path("dir").c_str(), 0700), 0);
    const std::vector<std::pair<std::string, bytes>> files = {
        {"big.bin", big}, {"small.txt", bytes_of(small)}, {"empty", bytes()}, {"dir/", bytes()}};
    const std::string inputs = "big.bin small.txt empty dir";
    const std::string pairs = "big.bin=big.bin small.txt=small.txt empty=empty dir/=";
    struct row {
        const char* what;
        std::string archive;
        std::string python;  // zip_check.py's command making it, or empty
        std::string shell;   // else the shell command, run in the root
        std::vector<std::pair<std::string, bytes>> entries;
    } rows[] = {
        {"zipfile, deflated", "py.zip", "write py.zip deflated " + pairs, "", files},
        {"zipfile, stored", "py0.zip", "write py0.zip stored " + pairs, "", files},
        {"zipfile streamed: 16-byte data descriptors", "pys.zip", "write pys.zip streamed " + pairs, "", files},
        {"zipfile streamed, stored", "pys0.zip", "write pys0.zip stored,streamed " + pairs, "", files},
        {"zipfile, force_zip64", "py64.zip", "write py64.zip zip64 " + pairs, "", files},
        {"zipfile streamed with force_zip64: 24-byte data descriptors", "pys64.zip",
         "write pys64.zip streamed,zip64 " + pairs, "", files},
        {"zipfile streamed, stored, force_zip64", "pys064.zip", "write pys064.zip stored,streamed,zip64 " + pairs,
         "", files},
        {"Info-ZIP", "iz.zip", "", "zip -q -X iz.zip " + inputs, files},
        {"Info-ZIP -fd: data descriptors", "izd.zip", "", "zip -q -X -fd izd.zip " + inputs, files},
        {"Info-ZIP into a pipe", "izp.zip", "", "zip -q -X - " + inputs + " | cat > izp.zip", files},
        {"Info-ZIP into a pipe, stored", "izp0.zip", "", "zip -q -X -0 - " + inputs + " | cat > izp0.zip", files},
        {"Info-ZIP from and into a pipe: zip64 data descriptor", "izs.zip", "",
         "cat big.bin | zip -q -X | cat > izs.zip", {{"-", big}}},
        {"a stub before zipfile's archive, offsets as they were", "sfx.zip", "", "(cat small.txt py.zip) > sfx.zip",
         files},
        {"a stub before Info-ZIP's archive, offsets adjusted by zip -A", "sfxa.zip", "",
         "(cat small.txt iz.zip) > sfxa.zip && zip -q -A sfxa.zip", files},
    };
    std::string python, out;
    for (const row& r : rows)
        if (!r.python.empty())
            python += (python.empty() ? "" : " ';' ") + r.python;
    ASSERT_EQ(run_command("cd " + shell_quoted(session.root.path()) + " && python3 " + shell_quoted(ZIP_CHECK_SCRIPT) +
                              " " + python + " 2>&1",
                          &out),
              0)
        << out;
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        if (!r.shell.empty()) {
            ASSERT_EQ(run_command("cd " + shell_quoted(session.root.path()) + " && " + r.shell + " 2>&1", &out), 0)
                << out;
        }
        auto_ptr_t<i_zip_reader> reader(zip->open_reader(path(r.archive).c_str()));
        ASSERT_TRUE(reader);
        std::vector<std::pair<std::string, std::string>> expected_listing;
        for (const auto& entry : r.entries) {
            const char* name = entry.first.c_str();
            auto_ptr_t<i_binary> got(reader->get_binary_file(name));
            ASSERT_TRUE(got) << name;
            ASSERT_EQ(bytes_of(got), entry.second) << name;
            // The same bytes, terminated (the data may hold zeros).
            heap_text text(reader->get_text_file(name));
            ASSERT_TRUE(text) << name;
            EXPECT_EQ(bytes(text.get(), text.get() + entry.second.size() + 1), terminated(entry.second)) << name;
            std::string target = path("extracted");
            ASSERT_TRUE(reader->extract_file(name, target.c_str())) << name;
            EXPECT_EQ(file_bytes(target), entry.second) << name;
            expected_listing.emplace_back(entry.first, std::to_string(entry.second.size()));
        }
        EXPECT_EQ(listed(reader), expected_listing);
    }
}

TEST_F(zip_session, an_archive_of_more_entries_than_a_16_bit_count_holds_reads_every_one) {
    // zipfile then writes zip64's end of the directory, and its 16-bit
    // count says 0xFFFF. Stored: zipfile takes long to deflate so many.
    const int count = 65600;
    std::string archive = path("count64.zip");
    std::string out;
    ASSERT_EQ(zip_check("many " + shell_quoted(archive) + " " + std::to_string(count) + " stored", &out), 0) << out;
    auto_ptr_t<i_zip_reader> reader(zip->open_reader(archive.c_str()));
    ASSERT_TRUE(reader);
    ASSERT_NO_FATAL_FAILURE(expect_numbered_entries(reader, count));
    EXPECT_EQ(listed(reader).size(), size_t(count));
}
