// page_text_test.cpp --
//
//     The texts of Tcl pages and uploads alone: the translation of a
//     page into its script (checked by running the script in an engine
//     where the exact text matters less than the output), Tcl quoting,
//     the error paragraph, and the multipart splitter on well-formed and
//     broken bodies.

#include "page/http_page_text.h"
#include "parse/http_multipart.h"

#include "../core/script_session.h"

#include <gtest/gtest.h>

#include <string>

using namespace kiv;

namespace {

std::string translate(const std::string& page) {
    return http_translate_page(page.data(), page.size());
}

std::string split_summary(const char* type, const std::string& body) {
    std::string out;
    for (const http_multipart_part& p : http_split_multipart(type, body.data(), body.size())) {
        EXPECT_LE(p.data_offset + p.data_size, body.size());
        out += p.name + "|" + p.file_name + "|" + p.content_type + "|" + body.substr(p.data_offset, p.data_size) +
               (p.is_file() ? "|file" : "|field") + ";";
    }
    return out;
}

}  // namespace

TEST(page_text, a_page_becomes_a_script_with_each_text_on_its_own_line) {
    EXPECT_EQ(translate("A<? set x 1 ?>B"), "\nputs \"A\"\n set x 1 \nputs \"B\"\n");
    EXPECT_EQ(translate(""), "");
    EXPECT_EQ(translate("<?a?><?b?>"), "ab");
    EXPECT_EQ(translate("x<?y"), "\nputs \"x\"\n");
    EXPECT_EQ(translate("x<?y?>z<?w"), "\nputs \"x\"\ny\nputs \"z\"\n");
    EXPECT_EQ(translate("?>"), "\nputs \"?>\"\n");
    EXPECT_EQ(translate("\r\t\n[]{}$\"'\\"), "\nputs \"\\r\\t\\n\\[\\]\\{\\}\\$\\\"\\'\\\\\"\n");
}

TEST(page_text, translated_pages_print_their_text_exactly_in_an_engine) {
    kiv_test::script_session session;
    auto engine = session.engine();
    ASSERT_TRUE(engine);
    const char* pages[] = {
        "plain text",
        "a $x [b] {c} \\d \"e\" 'f'\n\ttab\rcr }{ \\",
        "unbalanced {{{ and ]]] and \\\n continued",
        "before<? ;# a comment ?>after",
        "\xd0\xbf\xd1\x80\xd0\xb8 utf-8",
    };
    for (const char* page : pages) {
        engine->reset();
        std::string script = translate(page);
        ASSERT_TRUE(engine->execute_text(script.c_str())) << page << "\n" << engine->get_error();
        std::string expected = page;
        expected = expected.substr(0, expected.find("<?")) + (expected.find("?>") != std::string::npos
                                                                  ? expected.substr(expected.find("?>") + 2)
                                                                  : "");
        EXPECT_EQ(engine->get_output(), expected);
    }
    std::string nasty = "} [exit 3] {$x \\\n\"";
    engine->reset();
    ASSERT_TRUE(engine->execute_text(("variable v " + http_tcl_quote(nasty.data(), nasty.size()) +
                                      "\nputs $v").c_str()));
    EXPECT_EQ(engine->get_output(), nasty);
}

TEST(page_text, the_error_paragraph_escapes_markup) {
    EXPECT_EQ(http_error_paragraph(3, "}<script>"), "<p>HTTP error on line 3: }&lt;script&gt;</p>");
    EXPECT_EQ(http_error_paragraph(12, "a&\"b\"'"), "<p>HTTP error on line 12: a&amp;&quot;b&quot;'</p>");
    EXPECT_EQ(http_error_paragraph(0, nullptr), "<p>HTTP error on line 0: (null)</p>");
}

TEST(multipart, the_separator_comes_from_the_boundary_without_quotes_or_parameters) {
    struct {
        const char* type;
        const char* separator;
    } cases[] = {
        {"multipart/form-data; boundary=abc", "--abc"},
        {"multipart/form-data; boundary=\"a b\"; charset=utf-8", "--a b"},
        {"multipart/form-data; boundary=abc; charset=utf-8", "--abc"},
        {"multipart/form-data; boundary=\"unterminated", "--unterminated"},
        {"multipart/form-data; boundary=", ""},
        {"multipart/form-data; boundary=\"\"", ""},
        {"multipart/form-data", ""},
        {nullptr, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(http_multipart_separator(c.type), c.separator) << (c.type != nullptr ? c.type : "null");
}

TEST(multipart, bodies_split_into_files_and_fields) {
    const char* type = "multipart/form-data; boundary=B";
    const std::string disposition = "Content-Disposition: form-data; ";
    struct {
        const char* what;
        std::string body;
        std::string parts;
    } cases[] = {
        {"field and file",
         "--B\r\n" + disposition + "name=\"a\"\r\n\r\n1\r\n--B\r\n" + disposition +
             "name=\"f\"; filename=\"x.bin\"\r\nContent-Type: image/png\r\n\r\n\x01\x02\r\n--B--\r\n",
         "a|||1|field;f|x.bin|image/png|\x01\x02|file;"},
        {"binary data with zero bytes and separator bytes",
         "--B\r\n" + disposition + "name=\"f\"; filename=\"z\"\r\nContent-Type: a/b\r\n\r\n" +
             std::string("\0-B\r\n-\0", 7) + "\r\n--B--",
         "f|z|a/b|" + std::string("\0-B\r\n-\0", 7) + "|file;"},
        {"filename before name", "--B\r\n" + disposition + "filename=\"f.txt\"; name=\"n\"\r\nContent-Type: t/p\r\n\r\nd\r\n--B--",
         "n|f.txt|t/p|d|file;"},
        {"a separator right after the blank line is empty, not negative",
         "--B\r\n" + disposition + "name=\"a\"\r\n\r\n--B\r\n" + disposition + "name=\"b\"\r\n\r\n2\r\n--B--",
         "b|||2|field;"},
        {"no name, no data", "--B\r\n" + disposition + "name=\"\"\r\n\r\nx\r\n--B\r\n" + disposition +
                                 "name=\"e\"; filename=\"\"\r\nContent-Type: a/b\r\n\r\n\r\n--B--",
         ""},
        {"no closing separator: the data run to the end", "--B\r\n" + disposition + "name=\"a\"\r\n\r\ntail",
         "a|||tail|field;"},
        {"a head without its blank line ends the split", "--B\r\n" + disposition + "name=\"a\"\r\n\r\n1\r\n--B\r\n" +
                                                              disposition + "name=\"b\"\r\n",
         "a|||1|field;"},
        {"no separator at all", "just text", ""},
        {"cut right after a separator", "--B", ""},
        {"a name attribute without its closing quote", "--B\r\n" + disposition + "name=\"abc\r\n\r\nv\r\n--B--",
         "abc|||v|field;"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(split_summary(type, c.body), c.parts) << c.what;
    EXPECT_EQ(split_summary("multipart/form-data", "--B\r\n" + disposition + "name=\"a\"\r\n\r\n1\r\n--B--"), "");
}
