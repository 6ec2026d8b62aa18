// auto_string_test.cpp --
//
//     The owning text holders and the tokenizer: copies, comparisons with
//     null, formatting past the first buffer, and token walks with and
//     without runs of separators.

#include <kiv/core/auto_string.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

TEST(auto_string, copies_hold_their_own_text) {
    auto_string a(strdup("abc"));
    auto_string b(a);
    EXPECT_TRUE(b.is_ok());
    EXPECT_NE(static_cast<const char*>(a), static_cast<const char*>(b));
    EXPECT_TRUE(b == "abc");
    auto_string c(strdup("other"));
    c = a;
    EXPECT_TRUE(c == a);
    c = c;
    EXPECT_TRUE(c == "abc");
    auto_string none;
    c = none;
    EXPECT_FALSE(c.is_ok());
}

TEST(auto_string, comparisons_with_null) {
    auto_string none;
    auto_string other_none;
    auto_string text(strdup("x"));
    EXPECT_FALSE(none == "x");
    EXPECT_FALSE(text == static_cast<const char*>(nullptr));
    EXPECT_TRUE(none == other_none);
    EXPECT_FALSE(text == none);
    EXPECT_FALSE(none == text);
    EXPECT_FALSE(text == "y");
}

TEST(format_string, formats_short_texts) {
    format_string f("%s-%d", "id", 42);
    EXPECT_STREQ(f.to_charp(), "id-42");
}

TEST(format_string, null_empty_and_empty_results_hold_the_empty_text) {
    // Through variables: the compiler would rightly flag literal ones.
    const char* no_format = nullptr;
    const char* empty = "";
    format_string null_format(no_format);
    format_string empty_format(empty);
    format_string empty_result("%s", "");
    ASSERT_NE(null_format.to_charp(), nullptr);
    EXPECT_STREQ(null_format, "");
    EXPECT_STREQ(empty_format, "");
    EXPECT_STREQ(empty_result, "");
}

TEST(format_string, texts_longer_than_the_first_buffer_are_complete) {
    // Several arguments, so a retry that reused a consumed argument list
    // would print garbage after the first.
    for (size_t len : {1022u, 1023u, 1024u, 1025u, 5000u}) {
        std::string big(len, 'x');
        format_string f("%s|%d|%s", big.c_str(), 7, "end");
        EXPECT_EQ(std::string(f.to_charp()), big + "|7|end") << len;
    }
}

TEST(format_string, copies_and_assignments_hold_their_own_text) {
    format_string f("%d", 5);
    format_string g(f);
    EXPECT_NE(f.to_charp(), g.to_charp());
    EXPECT_STREQ(g, "5");
    g = "text";
    EXPECT_STREQ(g, "text");
    g = static_cast<const char*>(nullptr);
    EXPECT_EQ(g.to_charp(), nullptr);
    g = f;
    EXPECT_STREQ(g, "5");
}

namespace {
std::vector<std::string> tokens(const char* text, char sep, bool skip, unsigned buf_size = 64) {
    string_tokenizer tok(text, sep);
    std::vector<std::string> out;
    std::vector<char> buf(buf_size);
    while (tok.next(buf.data(), buf_size, skip))
        out.emplace_back(buf.data());
    return out;
}
using list = std::vector<std::string>;
}  // namespace

TEST(string_tokenizer, splits_with_and_without_runs) {
    EXPECT_EQ(tokens("a,,b", ',', false), (list{"a", "", "b"}));
    EXPECT_EQ(tokens("a,,b", ',', true), (list{"a", "b"}));
    EXPECT_EQ(tokens("a;b", ';', false), (list{"a", "b"}));
}

TEST(string_tokenizer, leading_and_trailing_separators_give_no_empty_token) {
    EXPECT_EQ(tokens(",a,", ',', false), (list{"a"}));
    EXPECT_EQ(tokens("", ',', false), list{});
    EXPECT_EQ(tokens(",", ',', false), list{});
    EXPECT_EQ(tokens(nullptr, ',', false), list{});
}

TEST(string_tokenizer, a_token_that_does_not_fit_stops_the_walk) {
    EXPECT_EQ(tokens("ab,abcd,x", ',', false, 4), (list{"ab"}));
    EXPECT_EQ(tokens("abc,x", ',', false, 4), (list{"abc", "x"}));
}

TEST(string_tokenizer, size_measures_and_end_clears_the_position) {
    string_tokenizer tok("ab,c", ',');
    EXPECT_EQ(tok.size(false), 2);
    char buf[8];
    EXPECT_TRUE(tok.next(buf, sizeof buf, false));
    EXPECT_STREQ(tok.ptr(), ",c");
    EXPECT_EQ(tok.size(false), 1);
    EXPECT_STREQ(tok.ptr(), "c");
    EXPECT_TRUE(tok.next(buf, sizeof buf, false));
    EXPECT_EQ(tok.size(false), -1);
    EXPECT_EQ(tok.ptr(), nullptr);
    EXPECT_FALSE(tok.next(buf, sizeof buf, false));
}

TEST(string_tokenizer, a_zero_separator_becomes_0x01) {
    EXPECT_EQ(tokens("a\x01" "b", '\0', false), (list{"a", "b"}));
}
