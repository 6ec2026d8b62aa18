// zip_listing_test.cpp --
//
//     The archive listing as an XML tree: every entry in archive order
//     with its stored name and uncompressed size, from the first entry
//     whatever was read before, sizes past 2 GiB printed as they are, and
//     no listing without the XML service.

#include <kiv/core/i_object_col.h>
#include <kiv/core/i_xml.h>

#include "zip_fixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kiv;
using namespace kiv_test;

namespace {

struct listed {
    std::string name;
    std::string size;
    bool operator==(const listed& o) const { return name == o.name && size == o.size; }
};

std::ostream& operator<<(std::ostream& os, const listed& l) {
    return os << l.name << ":" << l.size;
}

// The "file" children of a listing, in order.
std::vector<listed> files_of(i_xml_node* root) {
    std::vector<listed> out;
    auto_ptr_t<i_object_col> children(root->get_child_nodes());
    for (unsigned i = 0; i < children->get_count(); ++i) {
        auto_ptr_t<i_object> item(children->get_item_by_pos(i));
        i_xml_node* node = kiv_cast_i_xml_node(item);
        EXPECT_STREQ(node->get_name(), "file");
        out.push_back(listed{node->get_attribute("name"), node->get_attribute("size")});
    }
    return out;
}

}  // namespace

TEST_F(zip_session, the_listing_names_every_entry_from_the_first_whatever_was_read_before) {
    bytes data = sample_data(12345);
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("l.zip").c_str()));
        ASSERT_TRUE(writer->write_text_file("first", "a/first.txt"));
        ASSERT_TRUE(writer->write_binary_file(data.data(), unsigned(data.size()), "b.bin"));
        ASSERT_TRUE(writer->write_binary_file("", 0, "empty"));
        ASSERT_TRUE(writer->write_text_file("last", "z/last.txt"));
    }
    auto_ptr_t<i_zip_reader> reader(zip->open_reader(path("l.zip").c_str()));
    ASSERT_TRUE(reader);
    heap_text last(reader->get_text_file("z/last.txt"));
    ASSERT_TRUE(last);
    auto_ptr_t<i_xml_node> root(reader->get_contents());
    ASSERT_TRUE(root);
    EXPECT_STREQ(root->get_name(), "zip_file");
    std::vector<listed> expected = {{"a/first.txt", "5"}, {"b.bin", "12345"}, {"empty", "0"}, {"z/last.txt", "4"}};
    EXPECT_EQ(files_of(root), expected);
    // A second listing is the same, and reading still works after it.
    auto_ptr_t<i_xml_node> again(reader->get_contents());
    EXPECT_EQ(files_of(again), expected);
    heap_text first(reader->get_text_file("a/first.txt"));
    EXPECT_STREQ(first.get(), "first");
    heap_text xml(root->get_xml(false));
    EXPECT_NE(std::string(xml.get()).find("<file name=\"b.bin\" size=\"12345\""), std::string::npos) << xml.get();
}

TEST_F(zip_session, sizes_past_two_gibibytes_are_listed_unsigned) {
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("big.zip").c_str()));
        ASSERT_TRUE(writer->write_text_file("small", "e"));
    }
    // Claim 0xFFFFFFF0 bytes in both headers; the listing shows the claim.
    bytes archive = file_bytes(path("big.zip"));
    auto patch = [&](size_t at) {
        archive[at] = 0xF0;
        archive[at + 1] = archive[at + 2] = archive[at + 3] = 0xFF;
    };
    patch(22);
    for (size_t at = 30; at + 4 <= archive.size(); ++at)
        if (archive[at] == 'P' && archive[at + 1] == 'K' && archive[at + 2] == 1 && archive[at + 3] == 2)
            patch(at + 24);
    put_file(path("big.zip"), archive);
    auto_ptr_t<i_zip_reader> reader(zip->open_reader(path("big.zip").c_str()));
    ASSERT_TRUE(reader);
    auto_ptr_t<i_xml_node> root(reader->get_contents());
    ASSERT_TRUE(root);
    EXPECT_EQ(files_of(root), (std::vector<listed>{{"e", "4294967280"}}));
}

TEST_F(zip_session, an_archive_made_elsewhere_lists_its_utf8_names) {
    put_file(path("x"), bytes_of("xyz"));
    ASSERT_EQ(zip_check("make " + shell_quoted(path("py.zip")) + " карта/x.txt=" + shell_quoted(path("x")) +
                        " y=" + shell_quoted(path("x"))),
              0);
    auto_ptr_t<i_zip_reader> reader(zip->open_reader(path("py.zip").c_str()));
    ASSERT_TRUE(reader);
    auto_ptr_t<i_xml_node> root(reader->get_contents());
    ASSERT_TRUE(root);
    EXPECT_EQ(files_of(root), (std::vector<listed>{{"карта/x.txt", "3"}, {"y", "3"}}));
}

TEST_F(zip_session, without_the_xml_service_there_is_no_listing) {
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(path("n.zip").c_str()));
        ASSERT_TRUE(writer->write_text_file("n", "n"));
    }
    auto_ptr_t<i_zip_reader> reader(zip->open_reader(path("n.zip").c_str()));
    ASSERT_TRUE(reader);
    ASSERT_TRUE(kiv_core()->unregister_service("svc_xml"));
    EXPECT_EQ(reader->get_contents(), nullptr);
    heap_text text(reader->get_text_file("n"));
    EXPECT_STREQ(text.get(), "n");
}
