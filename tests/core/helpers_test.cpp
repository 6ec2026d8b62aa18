// helpers_test.cpp --
//
//     The small shared helpers: prefix and suffix tests, the line-break
//     test, hexadecimal digits, ASCII lower-casing, the absolute path
//     as a std::string under a started core, and the one form of a path.

#include <kiv/core/ascii_case.h>
#include <kiv/core/absolute_path.h>
#include <kiv/core/path_form.h>
#include <kiv/core/text_checks.h>

#include <sys/stat.h>

#include "core_session.h"

#include <fstream>
#include <string>

TEST(helpers_text, prefixes_suffixes_and_line_breaks) {
    struct row {
        std::string text, part;
        bool starts, ends;
    };
    const row rows[] = {
        {"abc", "", true, true},         {"abc", "ab", true, false}, {"abc", "bc", false, true},
        {"abc", "abc", true, true},      {"ab", "abc", false, false}, {"", "a", false, false},
        {std::string("a\0b", 3), std::string("a\0", 2), true, false},
    };
    for (const row& r : rows) {
        EXPECT_EQ(kiv::starts_with(r.text, r.part), r.starts) << r.text << " / " << r.part;
        EXPECT_EQ(kiv::ends_with(r.text, r.part), r.ends) << r.text << " / " << r.part;
    }
    const std::pair<std::string, bool> breaks[] = {
        {"plain value", false}, {"", false},    {"a\rb", true},
        {"a\nb", true},         {std::string("a\0b", 3), true}, {"tab\there", false},
    };
    for (const auto& b : breaks)
        EXPECT_EQ(kiv::holds_line_break(b.first), b.second) << b.first;
}

TEST(helpers_text, hexadecimal_digits_and_ascii_lower_case) {
    const std::pair<unsigned char, int> digits[] = {
        {'0', 0}, {'9', 9}, {'a', 10}, {'f', 15}, {'A', 10}, {'F', 15},
        {'g', -1}, {'G', -1}, {' ', -1}, {'/', -1}, {':', -1}, {0x80, -1}, {0xC1, -1}, {0, -1},
    };
    for (const auto& d : digits)
        EXPECT_EQ(kiv::hex_digit_value(d.first), d.second) << int(d.first);
    EXPECT_EQ(kiv::ascii_lower("Kiv_Core-2 AZ@[`{"), "kiv_core-2 az@[`{");
    EXPECT_EQ(kiv::ascii_lower("\xD0\x9F\xC3\x89"), "\xD0\x9F\xC3\x89");  // UTF-8 stays as it is
}

TEST(helpers_path, absolute_path_matches_the_core_and_is_empty_where_it_fails) {
    EXPECT_EQ(kiv::absolute_path("maps"), "");  // no core yet
    kiv_test::core_session session(false);
    const std::string root = session.root.path();
    const std::pair<std::string, std::string> rows[] = {
        {"maps", root + "/maps"},
        {"a/../b", root + "/b"},
        {"/etc/x", "/etc/x"},
        {"${KIV_ROOT_PATH}/c", root + "/c"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(kiv::absolute_path(r.first), r.second) << r.first;
    EXPECT_EQ(kiv::absolute_path(static_cast<const char*>(nullptr)), "");
}

// The form names what the path names, also where that is nothing.
TEST(helpers_path, one_form_of_a_path_names_the_same_file) {
    kiv_test::temp_dir dir;
    std::ofstream(dir.file("f")) << "f";
    ASSERT_EQ(mkdir(dir.file("d").c_str(), 0755), 0);
    const std::string d = dir.path();
    const std::pair<std::string, std::string> rows[] = {
        {"", ""},           {".", "."},          {"./", "."},       {"/", "/"},         {"//", "/"},
        {"/.", "/"},        {"/./", "/"},        {"a", "a"},        {"./a", "a"},       {"a/", "a/"},
        {"a/.", "a/"},      {"a//b", "a/b"},     {"a/./b", "a/b"},  {"a/.//./b/", "a/b/"},
        {"//a/b", "/a/b"},  {"/a/../b", "/a/../b"}, {"a/.b/..c", "a/.b/..c"},
        {d + "//f", d + "/f"}, {d + "/./d/.", d + "/d/"}, {d + "/f/.", d + "/f/"}, {d + "/f/./", d + "/f/"},
        {d + "/./f//./", d + "/f/"}, {d + "//d//./f", d + "/d/f"},
    };
    for (const auto& r : rows) {
        std::string form = kiv::path_one_form(r.first);
        EXPECT_EQ(form, r.second) << r.first;
        struct stat a, b;
        bool names = stat(r.first.c_str(), &a) == 0;
        EXPECT_EQ(stat(form.c_str(), &b) == 0, names) << r.first;
        if (names) {
            EXPECT_EQ(a.st_ino, b.st_ino) << r.first;
        }
    }
}
