// text_convert_test.cpp --
//
//     Trimming, the URL-style escape and unescape (malformed escapes
//     included), and transliteration of the whole Russian alphabet.

#include <kiv/core/auto_string.h>
#include <kiv/core/text_convert.h>

#include <gtest/gtest.h>

#include <string>

namespace {

std::string take(char* text) {
    auto_string owned(text);
    return owned.is_ok() ? std::string(owned) : "<null>";
}

std::string trim(const char* text) { return take(kiv_trim(text)); }
std::string encode(const char* text) { return take(kiv_text_encode(text)); }
std::string decode(const char* text) { return take(kiv_text_decode(text)); }
std::string translit(const char* text) { return take(kiv_do_translit(text)); }

}  // namespace

TEST(trim, drops_spaces_tabs_and_line_feeds_at_both_ends) {
    EXPECT_EQ(trim(" \tabc\n"), "abc");
    EXPECT_EQ(trim("a b"), "a b");
    EXPECT_EQ(trim(" \t\n "), "");
    EXPECT_EQ(trim(""), "");
    EXPECT_EQ(trim(nullptr), "<null>");
}

TEST(trim, keeps_a_carriage_return) {
    EXPECT_EQ(trim("abc\r"), "abc\r");
    EXPECT_EQ(trim(" abc\r\n"), "abc\r");
}

TEST(text_escape, keeps_digits_and_the_range_from_A_to_tilde) {
    EXPECT_EQ(encode("a b/c"), "a%20b%2Fc");
    EXPECT_EQ(encode("AZaz09[`{~"), "AZaz09[`{~");
    EXPECT_EQ(encode("ж"), "%D0%B6");
    EXPECT_EQ(encode("%+"), "%25%2B");
    EXPECT_EQ(encode(""), "");
    EXPECT_EQ(encode(nullptr), "<null>");
}

TEST(text_escape, decodes_plus_and_two_digit_escapes) {
    EXPECT_EQ(decode("a+b%41"), "a bA");
    EXPECT_EQ(decode("%d0%B6"), "ж");
    EXPECT_EQ(decode("%25%2B"), "%+");
    EXPECT_EQ(decode(nullptr), "<null>");
}

TEST(text_escape, a_percent_without_two_hex_digits_is_copied) {
    EXPECT_EQ(decode("100%"), "100%");
    EXPECT_EQ(decode("%4"), "%4");
    EXPECT_EQ(decode("%G1x"), "%G1x");   // no zero byte cutting the text
    EXPECT_EQ(decode("%-1"), "%-1");     // no 0xFF from a signed number
    EXPECT_EQ(decode("% 1"), "% 1");
    EXPECT_EQ(decode("%%41"), "%A");
}

TEST(text_escape, an_escaped_zero_byte_does_not_cut_the_text) {
    EXPECT_EQ(decode("page.tcl%00.png"), "page.tcl%00.png");
}

TEST(text_escape, every_byte_survives_encode_then_decode) {
    std::string all;
    for (int i = 1; i < 256; ++i)
        all.push_back(static_cast<char>(i));
    std::string encoded = encode(all.c_str());
    EXPECT_EQ(encoded.find(' '), std::string::npos);
    EXPECT_EQ(decode(encoded.c_str()), all);
}

TEST(translit, maps_the_whole_lower_case_alphabet) {
    EXPECT_EQ(translit("абвгдеёжзийклмнопрстуфхцчшщъыьэюя"),
              "abvgdeejzzijklmnoprstufhcchshsch'y'ehjuja");
}

TEST(translit, maps_the_whole_upper_case_alphabet) {
    EXPECT_EQ(translit("АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"),
              "ABVGDEEJZZIJKLMNOPRSTUFHCCHSHSCH'Y'EHJUJA");
}

TEST(translit, keeps_everything_else) {
    EXPECT_EQ(translit("Щука"), "SCHuka");
    EXPECT_EQ(translit("Москва 2024!"), "Moskva 2024!");
    EXPECT_EQ(translit("café €5 😀"), "café €5 😀");
    EXPECT_EQ(translit("Київ"), "Kiїv");  // Ukrainian ї is no Russian letter
}

TEST(translit, null_or_empty_gives_null) {
    EXPECT_EQ(translit(nullptr), "<null>");
    EXPECT_EQ(translit(""), "<null>");
}

TEST(translit, malformed_sequences_are_copied_byte_by_byte_up_to_the_terminator) {
    EXPECT_EQ(translit("a\xD0"), "a\xD0");
    EXPECT_EQ(translit("\xD0z\xD1"), "\xD0z\xD1");
    EXPECT_EQ(translit("\xB6\xD0\xB6"), "\xB6jz");
    EXPECT_EQ(translit("\xE2\x82"), "\xE2\x82");
    EXPECT_EQ(translit("\xE0\x80\xB6"), "\xE0\x80\xB6");
}
