// utf8_test.cpp --
//
//     Characters of UTF-8 text: counting, indexing, case-insensitive
//     comparison over the whole Russian alphabet, the lenient decoder on
//     malformed bytes, and the ASCII-only folding of names.

#include <kiv/core/ascii_case.h>
#include <kiv/core/utf8.h>

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {
const char russian_lower[] = "абвгдеёжзийклмнопрстуфхцчшщъыьэюя";
const char russian_upper[] = "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ";
}  // namespace

TEST(utf8_count, cyrillic_letters_count_as_one_character_each) {
    EXPECT_EQ(kiv_strlen("ж1"), 2);
    EXPECT_EQ(kiv_strlen(russian_lower), 33);
    EXPECT_EQ(kiv_strlen(russian_upper), 33);
    EXPECT_EQ(kiv_strlen("€"), 1);
    EXPECT_EQ(kiv_strlen(nullptr), 0);
}

TEST(utf8_count, bytes_that_start_no_valid_sequence_count_one_each) {
    EXPECT_EQ(kiv_strlen("\x80\x80"), 2);
    EXPECT_EQ(kiv_strlen("a\xD0"), 2);      // cut before the terminator
    EXPECT_EQ(kiv_strlen("\xD0z"), 2);      // cut by an ASCII byte
}

TEST(utf8_index, finds_and_copies_the_character_at_an_index) {
    const char* text = "aжb";
    char buf[4] = {};
    unsigned size = sizeof buf;
    EXPECT_EQ(kiv_strat(text, 1, buf, &size), text + 1);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(std::string(buf, 2), "ж");
    EXPECT_EQ(kiv_strat(text, 2, nullptr, nullptr), text + 3);
}

TEST(utf8_index, copies_at_most_the_given_size) {
    char buf[4] = {};
    unsigned size = 1;
    ASSERT_NE(kiv_strat("ж", 0, buf, &size), nullptr);
    EXPECT_EQ(size, 1u);
    EXPECT_EQ(buf[0], "ж"[0]);
}

TEST(utf8_index, indexes_outside_the_text_give_null_and_copy_nothing) {
    char buf[4] = {'x', 'x', 'x', 'x'};
    unsigned size = sizeof buf;
    EXPECT_EQ(kiv_strat("ab", 2, buf, &size), nullptr);
    EXPECT_EQ(kiv_strat("ab", 1000, buf, &size), nullptr);
    EXPECT_EQ(kiv_strat("ab", -1, buf, &size), nullptr);
    EXPECT_EQ(kiv_strat(nullptr, 0, buf, &size), nullptr);
    EXPECT_EQ(size, 4u);
    EXPECT_EQ(buf[0], 'x');
}

TEST(utf8_case_fold, the_whole_russian_alphabet_matches_its_other_case) {
    EXPECT_EQ(kiv_strnicmp(russian_upper, russian_lower, 0), 1);
    EXPECT_EQ(kiv_strnicmp(russian_lower, russian_upper, 33), 1);
    EXPECT_EQ(kiv_strnicmp2(russian_upper, russian_lower, 0), 0);
    // Letter by letter, so one wrong table entry names itself.
    const char* u = russian_upper;
    const char* l = russian_lower;
    for (int i = 0; i < 33; ++i, u += 2, l += 2)
        EXPECT_EQ(kiv_strnicmp(u, l, 1), 1) << "letter " << i;
}

TEST(utf8_case_fold, different_letters_differ_and_order_by_lower_case) {
    EXPECT_EQ(kiv_strnicmp("Ёж", "еж", 0), 0);  // Ё and е are different letters
    EXPECT_LT(kiv_strnicmp2("А", "б", 1), 0);
    EXPECT_GT(kiv_strnicmp2("Я", "ю", 1), 0);
    EXPECT_EQ(kiv_strnicmp("ABC", "abd", 2), 1);
    EXPECT_EQ(kiv_strnicmp("ABC", "abd", 3), 0);
}

TEST(utf8_case_fold, count_zero_compares_the_length_of_the_first_text) {
    EXPECT_EQ(kiv_strnicmp("Ab", "abc", 0), 1);
    EXPECT_EQ(kiv_strnicmp("Abc", "ab", 0), 0);
}

TEST(utf8_case_fold, comparison_stops_at_the_terminators) {
    // Equal texts followed by different bytes behind their terminators.
    const char a[] = "ab\0XY";
    const char b[] = "AB\0XZ";
    EXPECT_EQ(kiv_strnicmp(a, b, 5), 1);
    EXPECT_EQ(kiv_strnicmp2(a, b, 100), 0);
    EXPECT_EQ(kiv_strnicmp("ab", "abc", 5), 0);
}

TEST(utf8_case_fold, null_texts_compare_as_zero) {
    EXPECT_EQ(kiv_strnicmp(nullptr, "a", 1), 0);
    EXPECT_EQ(kiv_strnicmp("a", nullptr, 1), 0);
    EXPECT_EQ(kiv_strnicmp2(nullptr, "a", 1), 0);
}

TEST(utf8_charlen, counts_the_bytes_of_one_character) {
    EXPECT_EQ(kiv_charlen("a"), 1u);
    EXPECT_EQ(kiv_charlen("жz"), 2u);
    EXPECT_EQ(kiv_charlen("€"), 3u);
    EXPECT_EQ(kiv_charlen(nullptr), 0u);
}

TEST(utf8_charlen, a_cut_sequence_never_counts_the_terminator) {
    EXPECT_EQ(kiv_charlen("\xD0"), 1u);
    EXPECT_EQ(kiv_charlen("\xE2\x82"), 2u);
}

TEST(utf8_decode, decodes_two_and_three_byte_sequences) {
    uint32_t cp = 0;
    const char* next = nullptr;
    const char zh[] = "\xD0\xB6!";
    EXPECT_TRUE(kiv_get_unicode_char(zh, &cp, &next));
    EXPECT_EQ(cp, 0x436u);
    EXPECT_EQ(next, zh + 2);
    const char euro[] = "\xE2\x82\xAC";
    EXPECT_TRUE(kiv_get_unicode_char(euro, &cp, &next));
    EXPECT_EQ(cp, 0x20ACu);
    EXPECT_EQ(next, euro + 3);
}

TEST(utf8_decode, stops_with_false_at_the_terminator) {
    uint32_t cp = 7;
    const char cut[] = "\xC3";
    const char* next = nullptr;
    EXPECT_FALSE(kiv_get_unicode_char(cut, &cp, &next));
    EXPECT_EQ(cp, 0u);
    EXPECT_EQ(next, cut);
    EXPECT_FALSE(kiv_get_unicode_char("", &cp, &next));
    EXPECT_FALSE(kiv_get_unicode_char(nullptr, &cp, &next));
}

TEST(utf8_decode, malformed_bytes_give_defined_results) {
    uint32_t cp = 0;
    const char* next = nullptr;
    const char stray[] = "\x80x";
    EXPECT_TRUE(kiv_get_unicode_char(stray, &cp, &next));  // stray continuation
    EXPECT_EQ(cp, 0u);
    EXPECT_EQ(next, stray + 1);
    const char cut_by_ascii[] = "\xD0z";
    EXPECT_TRUE(kiv_get_unicode_char(cut_by_ascii, &cp, &next));
    EXPECT_EQ(cp, static_cast<uint32_t>('z'));
    EXPECT_EQ(next, cut_by_ascii + 2);
    const char skipped[] = "\xF8\xFFq";
    EXPECT_TRUE(kiv_get_unicode_char(skipped, &cp, &next));
    EXPECT_EQ(cp, static_cast<uint32_t>('q'));
    EXPECT_EQ(next, skipped + 3);
}

TEST(utf8_decode, walks_a_whole_text_to_its_code_points) {
    const char* p = "Ёж€";
    uint32_t cp = 0;
    std::vector<uint32_t> got;
    while (kiv_get_unicode_char(p, &cp, &p))
        got.push_back(cp);
    EXPECT_EQ(got, (std::vector<uint32_t>{0x401, 0x436, 0x20AC}));
}

TEST(ascii_case, folds_ascii_letters_only) {
    EXPECT_EQ(kiv::ascii_stricmp("Content-Type", "content-type"), 0);
    EXPECT_NE(kiv::ascii_stricmp("Ж", "ж"), 0);
    EXPECT_NE(kiv::ascii_stricmp("\xC9", "\xE9"), 0);  // Latin-1 É, é
    EXPECT_LT(kiv::ascii_stricmp("a", "B"), 0);
    EXPECT_LT(kiv::ascii_stricmp("ab", "ABC"), 0);
    EXPECT_EQ(kiv::ascii_strnicmp("abX", "ABY", 2), 0);
    EXPECT_EQ(kiv::ascii_stricmp(nullptr, nullptr), 0);
    EXPECT_LT(kiv::ascii_stricmp(nullptr, ""), 0);
}

TEST(ascii_case, does_not_depend_on_the_locale) {
    // Under a Turkish locale tolower('I') is a dotless i; names must not
    // notice. Without that locale installed the C.UTF-8 run still checks
    // the same expectations.
    std::string old = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "tr_TR.UTF-8") == nullptr)
        std::setlocale(LC_ALL, "C.UTF-8");
    EXPECT_EQ(kiv::ascii_stricmp("TITLE", "title"), 0);
    EXPECT_EQ(kiv::ascii_stricmp("I", "i"), 0);
    std::setlocale(LC_ALL, old.c_str());
}

TEST(ascii_case, orders_map_keys_without_regard_to_case) {
    std::map<std::string, int, kiv::ascii_iless> m;
    m["b"] = 1;
    m["A"] = 2;
    m["B"] = 3;
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m.begin()->first, "A");
    EXPECT_EQ(m["b"], 3);
}

TEST(utf8_index, characters_outside_the_basic_plane_index_like_they_count) {
    // Tcl counts such a character as two; every index below the count
    // must find a character, and the count itself none.
    const char text[] = "a\xF0\x9F\x98\x80" "b";
    int n = kiv_strlen(text);
    for (int i = 0; i < n; ++i)
        EXPECT_NE(kiv_strat(text, i, nullptr, nullptr), nullptr) << i;
    EXPECT_EQ(kiv_strat(text, n, nullptr, nullptr), nullptr);
    EXPECT_STREQ(kiv_strat(text, n - 1, nullptr, nullptr), "b");
}
