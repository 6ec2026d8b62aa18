// http_text_test.cpp --
//
//     The script-string escaping and the HTTP date format.

#include <kiv/http/http_text.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::string escaped(const char* src, bool skip_update) {
    char* out = kiv_http_get_printable_jscript(src, skip_update);
    std::string text = out != nullptr ? out : "<null>";
    std::free(out);
    return text;
}

std::string date(int64_t t, size_t size = 64) {
    char buf[64] = "unchanged";
    kiv_http_print_time(buf, size, t);
    return buf;
}

}  // namespace

TEST(http_text, escaping_for_script_strings) {
    EXPECT_EQ(escaped(nullptr, false), "<null>");
    EXPECT_EQ(escaped("plain text", true), "<null>");
    EXPECT_EQ(escaped("plain text", false), "plain text");
    EXPECT_EQ(escaped("", false), "");
    EXPECT_EQ(escaped("\n\n\n", true), "\\n\\n\\n");
    // Other control characters as \u00XX (valid in JSON and scripts);
    // "</" never closes the script element the text is placed in.
    EXPECT_EQ(escaped("a\"b\\c\rd\ne\t\x01", true), "a\\\"b\\\\c\\rd\\ne\\u0009\\u0001");
    EXPECT_EQ(escaped("</script><!-- a/b /", true), "<\\/script><!-- a/b /");
    EXPECT_EQ(escaped("x</", false), "x<\\/");
    EXPECT_EQ(escaped("\xD0\x9C\xD0\xB8\xD1\x80 \"x\"", true), "\xD0\x9C\xD0\xB8\xD1\x80 \\\"x\\\"");
}

TEST(http_text, dates_in_the_http_format) {
    EXPECT_EQ(date(0), "Thu, 01 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(date(3 * 86400), "Sun, 04 Jan 1970 00:00:00 GMT");
    EXPECT_EQ(date(4 * 86400 + 3661), "Mon, 05 Jan 1970 01:01:01 GMT");
    EXPECT_EQ(date(2147483647), "Tue, 19 Jan 2038 03:14:07 GMT");
    // After 2038, where a 32-bit time would wrap to 1901.
    EXPECT_EQ(date(2147483648LL + 3600), "Tue, 19 Jan 2038 04:14:08 GMT");
    EXPECT_EQ(date(4102444800LL), "Fri, 01 Jan 2100 00:00:00 GMT");
    EXPECT_EQ(date(0).size(), 29u);
}

TEST(http_text, dates_are_cut_to_the_buffer) {
    EXPECT_EQ(date(0, 4), "Thu");
    EXPECT_EQ(date(0, 1), "");
    char untouched[4] = "abc";
    kiv_http_print_time(untouched, 0, 0);
    EXPECT_STREQ(untouched, "abc");
    kiv_http_print_time(nullptr, 10, 0);
}
