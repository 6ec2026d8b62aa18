// wildcard_test.cpp --
//
//     Wildcard matching: tables of patterns against texts for the
//     byte-wise and the case-insensitive UTF-8 forms, inversion, comma
//     lists, and patterns built to make a naive matcher explode.

#include <kiv/core/wildcard.h>

#include <gtest/gtest.h>

#include <string>

namespace {

struct wild_case {
    const char* pattern;
    const char* text;
    bool cmp;   // expected from kiv_wildcmp
    bool icmp;  // expected from kiv_wildicmp
};

const wild_case cases[] = {
    {"*.tcl", "start.tcl", true, true},
    {"*.tcl", "start.TCL", false, true},
    {"*.tcl", "start.tc", false, false},
    {"!*.tmp", "a.txt", true, true},
    {"!*.tmp", "a.tmp", false, false},
    {"a?c", "abc", true, true},
    {"a?c", "ac", false, false},
    {"a*", "a", true, true},
    {"", "", true, true},
    {"", "a", false, false},
    {"**", "", true, true},
    {"*", "anything at all", true, true},
    {"?", "", false, false},
    {"*a*b*c", "xxaxxbxxc", true, true},
    {"*a*b*c", "xxaxxbxxcx", false, false},
    {"a*b", "aXbXb", true, true},
    {"a*bc", "abcbcXbc", true, true},
    {"*?", "x", true, true},
    {"!", "x", true, true},
    {"!", "", false, false},
    {"КАРТА*", "карта.ozm", false, true},
    {"*ёж*", "ЁЖИК", false, true},
    {"?", "ж", false, true},   // one character, two bytes
    {"??", "ж", true, false},
    {"*.OZM", "Map.ozm", false, true},
};

}  // namespace

TEST(wildcard, table_of_patterns_and_texts) {
    for (const wild_case& c : cases) {
        EXPECT_EQ(kiv_wildcmp(c.pattern, c.text), c.cmp) << "wildcmp '" << c.pattern << "' '" << c.text << "'";
        EXPECT_EQ(kiv_wildicmp(c.pattern, c.text), c.icmp) << "wildicmp '" << c.pattern << "' '" << c.text << "'";
    }
}

TEST(wildcard, null_pattern_or_text_never_matches_even_inverted) {
    EXPECT_FALSE(kiv_wildcmp(nullptr, "a"));
    EXPECT_FALSE(kiv_wildcmp("*", nullptr));
    EXPECT_FALSE(kiv_wildicmp(nullptr, "a"));
    EXPECT_FALSE(kiv_wildicmp("!x", nullptr));
}

TEST(wildcard, the_whole_russian_alphabet_matches_without_regard_to_case) {
    const char lower[] = "абвгдеёжзийклмнопрстуфхцчшщъыьэюя";
    const char upper[] = "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ";
    EXPECT_TRUE(kiv_wildicmp(upper, lower));
    EXPECT_TRUE(kiv_wildicmp(lower, upper));
    EXPECT_FALSE(kiv_wildcmp(upper, lower));
    EXPECT_TRUE(kiv_wildicmp(std::string(33, '?').c_str(), lower));
}

TEST(wildcard, malformed_utf8_is_matched_byte_for_byte_and_never_overrun) {
    EXPECT_TRUE(kiv_wildicmp("\xD0?", "\xD0" "A"));
    EXPECT_FALSE(kiv_wildicmp("\xD0" "A", "\xD0" "B"));  // the lead byte does not swallow "A"
    EXPECT_TRUE(kiv_wildicmp("*\xD0", "x\xD0"));
    EXPECT_TRUE(kiv_wildicmp("??", "\xE2\x82"));         // a cut sequence is two characters
    EXPECT_FALSE(kiv_wildicmp("?", "\xE2\x82"));
    EXPECT_TRUE(kiv_wildicmp("???", "\xE2\x82" "a"));
    // An overlong form of "." is three bytes, not a dot.
    EXPECT_FALSE(kiv_wildicmp("*.tcl", "x\xE0\x80\xAEtcl"));
    EXPECT_FALSE(kiv_wildicmp("?tcl", "\xE0\x80\xAEtcl"));
}

TEST(wildcard, many_stars_against_a_long_text_finish) {
    std::string text(20000, 'a');
    EXPECT_FALSE(kiv_wildcmp("*a*a*a*a*a*a*a*a*b", text.c_str()));
    EXPECT_FALSE(kiv_wildicmp("*a*a*a*a*a*a*a*a*b", text.c_str()));
    text += "b";
    EXPECT_TRUE(kiv_wildcmp("*a*a*a*a*a*a*a*a*b", text.c_str()));
}

TEST(wildcard_list, matches_when_any_entry_matches) {
    EXPECT_TRUE(kiv_wildcmp_list("*.js,*.css", "x.css"));
    EXPECT_FALSE(kiv_wildcmp_list("*.js,*.css", "x.html"));
    EXPECT_FALSE(kiv_wildcmp_list("*.js,*.css", "x.CSS"));
    EXPECT_TRUE(kiv_wildicmp_list("*.js,*.css", "x.CSS"));
    EXPECT_TRUE(kiv_wildcmp_list(",,proxy?,", "proxy1"));
}

TEST(wildcard_list, an_empty_or_null_list_matches_everything) {
    EXPECT_TRUE(kiv_wildcmp_list("", "anything"));
    EXPECT_TRUE(kiv_wildcmp_list(nullptr, "anything"));
    EXPECT_TRUE(kiv_wildcmp_list("*.js", nullptr));
    EXPECT_TRUE(kiv_wildicmp_list("", "x"));
    // A list of empty entries is not empty and holds no pattern.
    EXPECT_FALSE(kiv_wildcmp_list(",,", "x"));
}

TEST(wildcard_list, entries_of_1024_bytes_or_more_still_match) {
    std::string long_entry = std::string(2000, 'x') + "*";
    std::string list = "a," + long_entry + ",b";
    EXPECT_TRUE(kiv_wildcmp_list(list.c_str(), (std::string(2000, 'x') + "tail").c_str()));
    EXPECT_TRUE(kiv_wildcmp_list(list.c_str(), "b"));
    EXPECT_FALSE(kiv_wildcmp_list(list.c_str(), "c"));
}
