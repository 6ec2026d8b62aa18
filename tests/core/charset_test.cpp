// charset_test.cpp --
//
//     Conversions between CP1251, UTF-8 and UTF-16: round trips, characters
//     the target cannot hold, malformed input, and empty texts.

#include <kiv/core/charset.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

namespace {

struct freer {
    void operator()(void* p) const { free(p); }
};
using text = std::unique_ptr<char, freer>;
using wide = std::unique_ptr<char16_t, freer>;

}  // namespace

TEST(charset, cp1251_round_trips_through_utf8) {
    const char cp1251[] = "\xCF\xF0\xE8\xE2\xE5\xF2";  // "Привет"
    text utf8(kiv_iconv_to_int(cp1251));
    ASSERT_TRUE(utf8);
    EXPECT_STREQ(utf8.get(), "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");
    text back(kiv_iconv_to_ext(utf8.get()));
    ASSERT_TRUE(back);
    EXPECT_STREQ(back.get(), cp1251);
}

TEST(charset, unmappable_and_malformed_characters_become_question_marks) {
    // A Chinese character, an invalid lead byte and a cut-off sequence.
    text out(kiv_iconv_to_ext("a\xE4\xB8\xADz\xFFq\xD0"));
    ASSERT_TRUE(out);
    EXPECT_STREQ(out.get(), "a?z?q?");
    // 0x98 is the one byte CP1251 leaves undefined.
    text in(kiv_iconv_to_int("x\x98y"));
    ASSERT_TRUE(in);
    EXPECT_STREQ(in.get(), "x?y");
}

TEST(charset, utf16_is_little_endian_with_a_terminating_unit) {
    wide w(kiv_iconv_to_utf16("A\xD0\x96\xF0\x9F\x98\x80"));  // A, Ж, an emoji
    ASSERT_TRUE(w);
    EXPECT_EQ(w.get()[0], u'A');
    EXPECT_EQ(w.get()[1], u'\u0416');
    EXPECT_EQ(w.get()[2], 0xD83D);
    EXPECT_EQ(w.get()[3], 0xDE00);
    EXPECT_EQ(w.get()[4], 0);
    text back(kiv_iconv_from_utf16(w.get()));
    ASSERT_TRUE(back);
    EXPECT_STREQ(back.get(), "A\xD0\x96\xF0\x9F\x98\x80");
    const char16_t lone_surrogate[] = {u'a', 0xD800, u'b', 0};
    text fixed(kiv_iconv_from_utf16(lone_surrogate));
    ASSERT_TRUE(fixed);
    EXPECT_EQ(std::string(fixed.get()).front(), 'a');
    EXPECT_EQ(std::string(fixed.get()).back(), 'b');
}

TEST(charset, empty_and_null_inputs) {
    text empty(kiv_iconv_to_int(""));
    ASSERT_TRUE(empty);
    EXPECT_STREQ(empty.get(), "");
    EXPECT_EQ(kiv_iconv_to_int(nullptr), nullptr);
    EXPECT_EQ(kiv_iconv_to_utf16(nullptr), nullptr);
    EXPECT_EQ(kiv_iconv_from_utf16(nullptr), nullptr);
    EXPECT_EQ(kiv_iconv_impl(0, 99999, "x"), nullptr);
    wide w(kiv_iconv_to_utf16(""));
    ASSERT_TRUE(w);
    EXPECT_EQ(w.get()[0], 0);
}
