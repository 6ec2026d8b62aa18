// zip_interop_test.cpp --
//
//     Archives other programs make, read through a reader as a user
//     gets one from the service: entries compressed with methods the
//     reader cannot decode (Python's bzip2 and LZMA) are refused in every
//     read path with a reason rather than handed back raw; Info-ZIP's
//     zip64 archives (`zip -fz`), whose directory keeps the real sizes
//     only in the zip64 field, read and list whole; and every entry of a
//     large archive is found by name, the first of two equal names
//     winning.

#include "zip_fixtures.h"

#include <kiv/core/i_object_col.h>
#include <kiv/core/i_xml.h>

#include <gtest/gtest.h>

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
    EXPECT_EQ(reader->get_text_file("00007/entry"), nullptr);
    EXPECT_EQ(reader->get_text_file("/00007/entry.txt"), nullptr);
    EXPECT_EQ(listed(reader).size(), size_t(count) + 1);
}
