// zip_layout_test.cpp --
//
//     Archives whose directory lies about where entries are: many
//     directory entries pointing at one local entry (under other names or
//     the same one), entries whose data quote the next entry's header and
//     data, local headers naming other files, data running past the
//     archive, and a bomb behind a self-extracting stub. The service is
//     reached as a program reaches it, through the core's loader. Every
//     such entry is refused by every read and by extraction, each time
//     with a line naming the entry and the cause; the honest entry beside
//     them reads, the listing still shows the whole directory, and
//     Debian's unzip -t refuses the archive too where it checks that.
//     A directory of more entries or name bytes than the index holds is
//     read up to its caps, and says so.

#include "zip_fixtures.h"

#include <kiv/core/i_object_col.h>
#include <kiv/core/i_xml.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kiv;
using namespace kiv_test;

namespace {

// Runs zip_hostile.py with the given arguments. Returns: its exit status,
//     its output in *out.
int zip_hostile(const std::string& args, std::string* out) {
    return run_command("python3 " + shell_quoted(ZIP_HOSTILE_SCRIPT) + " " + args + " 2>&1", out);
}

// The text of the honest entry every hostile archive starts with.
std::string own_text() {
    std::string text;
    for (int i = 0; i < 20; ++i)
        text += "an entry of its own\n";
    return text;
}

// How many times `needle` occurs in `text`.
size_t occurrences(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

std::vector<std::string> numbered(const char* format, int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, format, i);
        names.push_back(name);
    }
    return names;
}

// Lowers the reader's index caps for the guard's life.
class index_caps_guard {
public:
    index_caps_guard(uint64_t entries, uint64_t name_bytes) { kiv_zip_test_index_caps(entries, name_bytes); }
    ~index_caps_guard() { kiv_zip_test_index_caps(0, 0); }
    index_caps_guard(const index_caps_guard&) = delete;
    index_caps_guard& operator=(const index_caps_guard&) = delete;
};

// "svc_zip" as the core's loader registers it.
class zip_layout : public zip_session {
protected:
    zip_layout() : zip_session(true) {}
};

}  // namespace

TEST_F(zip_layout, entries_whose_bytes_are_not_their_own_are_refused_with_the_cause) {
    struct row {
        const char* what;
        const char* archive;               // as zip_hostile.py's "all" names it, less ".zip"
        std::vector<std::string> refused;  // every name the directory offers but own.txt
        std::vector<std::string> causes;   // what each refusal says after "entry 'NAME' "
        unsigned listed;                   // directory entries, own.txt included
        bool unzip_refuses;
    } rows[] = {
        {"many directory entries on one local entry", "shared", numbered("entry-%04d", 12),
         std::vector<std::string>(12, "overlaps entry 'entry-"), 13, true},
        // Equal names find only the first, which shares its bytes with the
        // other three: none of them is more genuine, so none reads.
        {"one name listed four times on one local entry", "same", {"kernel.bin"},
         {"overlaps entry 'kernel.bin'"}, 5, true},
        {"each entry's data quote the next entry", "quoted", numbered("q-%04d", 6),
         std::vector<std::string>(6, "overlaps entry 'q-"), 7, true},
        {"local headers naming other files", "renamed", {"b.txt", "c.txt"},
         {"is refused: its local header names 'x.txt'",
          "is refused: its local header cannot be read or does not match its directory entry"},
         3, true},
        // unzip trusts the deflate stream's end over the sizes.
        {"data claimed past the archive's end", "runaway", {"runaway.bin"},
         {"is refused: its data run past the end of the archive"}, 2, false},
    };
    std::string out;
    ASSERT_EQ(zip_hostile("all " + shell_quoted(session.root.path()), &out), 0) << out;
    for (const row& r : rows) {
        SCOPED_TRACE(r.what);
        for (const char* prefix : {"", "stub-"}) {
            SCOPED_TRACE(*prefix != '\0' ? "behind a stub" : "as made");
            std::string file = path(prefix + std::string(r.archive) + ".zip");
            auto_ptr_t<i_zip_reader> reader(zip->open_reader(file.c_str()));
            ASSERT_TRUE(reader);
            trace_capture trace(path(prefix + std::string(r.archive) + ".log"));
            for (const std::string& name : r.refused) {
                EXPECT_FALSE(auto_ptr_t<i_binary>(reader->get_binary_file(name.c_str()))) << name;
                EXPECT_FALSE(heap_text(reader->get_text_file(name.c_str()))) << name;
                std::string target = path(prefix + std::string(r.archive) + "-" + name + ".out");
                EXPECT_FALSE(reader->extract_file(name.c_str(), target.c_str())) << name;
                EXPECT_FALSE(exists(target)) << name;
            }
            heap_text own(reader->get_text_file("own.txt"));
            ASSERT_TRUE(own);
            EXPECT_EQ(std::string(own.get()), own_text());
            std::string text = trace.text();
            for (size_t i = 0; i < r.refused.size(); ++i)
                EXPECT_EQ(occurrences(text, "entry '" + r.refused[i] + "' " + r.causes[i]), 3u)
                    << r.refused[i] << "\n" << text;
            EXPECT_EQ(occurrences(text, "own.txt"), 0u) << text;
            // The listing shows the directory as it stands.
            auto_ptr_t<i_xml_node> root(reader->get_contents());
            ASSERT_TRUE(root);
            auto_ptr_t<i_object_col> children(root->get_child_nodes());
            EXPECT_EQ(children->get_count(), r.listed);
            if (r.unzip_refuses && have_tool("unzip")) {
                EXPECT_NE(run_command("unzip -tqq " + shell_quoted(file) + " >/dev/null 2>&1"), 0);
            }
        }
    }
}

TEST_F(zip_layout, a_directory_past_the_index_caps_is_read_up_to_them_and_says_so) {
    // Ten entries "entry-N" (7 bytes of name each), made by our writer.
    std::string archive = path("ten.zip");
    {
        auto_ptr_t<i_zip_writer> writer(zip->open_writer(archive.c_str()));
        ASSERT_TRUE(writer);
        for (const std::string& name : numbered("entry-%d", 10))
            ASSERT_TRUE(writer->write_text_file(name.c_str(), name.c_str()));
    }
    struct {
        uint64_t entries, name_bytes;
        unsigned indexed;
    } rows[] = {{4, 0, 4}, {0, 7 * 3 + 6, 3}, {0, 0, 10}};
    for (const auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.entries) + " entries, " + std::to_string(r.name_bytes) + " name bytes");
        index_caps_guard caps(r.entries, r.name_bytes);
        auto_ptr_t<i_zip_reader> reader(zip->open_reader(archive.c_str()));
        ASSERT_TRUE(reader);
        trace_capture trace(path("caps-" + std::to_string(r.indexed) + ".log"));
        auto_ptr_t<i_xml_node> root(reader->get_contents());
        ASSERT_TRUE(root);
        auto_ptr_t<i_object_col> children(root->get_child_nodes());
        EXPECT_EQ(children->get_count(), r.indexed);
        std::vector<std::string> names = numbered("entry-%d", 10);
        for (unsigned i = 0; i < names.size(); ++i) {
            heap_text text(reader->get_text_file(names[i].c_str()));
            EXPECT_EQ(bool(text), i < r.indexed) << names[i];
            if (text) {
                EXPECT_EQ(std::string(text.get()), names[i]);
            }
        }
        EXPECT_EQ(occurrences(trace.text(), "entries after the first " + std::to_string(r.indexed) + " are ignored"),
                  r.indexed < names.size() ? 1u : 0u)
            << trace.text();
    }
}
