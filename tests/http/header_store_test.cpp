// header_store_test.cpp --
//
//     The cookie and header stores: letter case, replacement rules,
//     listings, and the parser of received header blocks (line ends,
//     blanks, incomplete heads and bodies, hostile Content-Length).

#include <kiv/core/auto_ptr.h>
#include <kiv/core/object.h>

#include "parse/cookie_manager.h"
#include "parse/http_header_map.h"

#include "../core/test_util.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace kiv;

namespace {

// A reference-counted cookie store, as the request and the client are.
class counted_cookies : public object, public cookie_manager {};

// A receive buffer: the message and one spare byte, with guard bytes
// around it that the parser must never touch.
struct guarded_buffer {
    explicit guarded_buffer(const std::string& text) : bytes(text.size() + 1 + 2 * guard, '#') {
        std::memcpy(data(), text.data(), text.size());
        data()[text.size()] = '~';
        length = static_cast<uint32_t>(text.size());
    }
    char* data() { return &bytes[guard]; }
    bool guards_intact() const {
        for (size_t i = 0; i < guard; ++i)
            if (bytes[i] != '#' || bytes[bytes.size() - 1 - i] != '#')
                return false;
        return true;
    }
    static const size_t guard = 16;
    std::vector<char> bytes;
    uint32_t length;
};

}  // namespace

TEST(cookie_manager, names_ignore_letter_case_and_keep_the_last_spelling) {
    counted_cookies jar;
    jar.set_cookie("Sid", "one", 0);
    EXPECT_STREQ(jar.get_cookie("sid"), "one");
    EXPECT_STREQ(jar.get_cookie("SID"), "one");
    jar.set_cookie("SID", "two", 60);
    auto list = jar.get_cookie_list();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "SID");
    EXPECT_EQ(list[0].value, "two");
    EXPECT_EQ(list[0].lifetime, 60u);
    EXPECT_STREQ(jar.get_cookie("sId"), "two");
}

TEST(cookie_manager, absent_and_null_names_and_values) {
    counted_cookies jar;
    EXPECT_STREQ(jar.get_cookie("none"), "");
    EXPECT_EQ(jar.get_cookie(nullptr), nullptr);
    jar.set_cookie(nullptr, "v", 0);
    jar.set_cookie("n", nullptr, 0);
    EXPECT_TRUE(jar.get_cookie_list().empty());
}

TEST(cookie_manager, the_store_keeps_its_own_copies) {
    counted_cookies jar;
    char name[] = "lang";
    char value[] = "ru";
    jar.set_cookie(name, value, cookie_from_request);
    std::strcpy(name, "xxxx");
    std::strcpy(value, "en");
    EXPECT_STREQ(jar.get_cookie("lang"), "ru");
    EXPECT_EQ(jar.get_cookie_list()[0].lifetime, cookie_from_request);
}

TEST(cookie_manager, listing_gives_named_strings_in_case_insensitive_order) {
    counted_cookies jar;
    auto_ptr_t<i_object_col> empty(jar.get_cookies());
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->get_count(), 0u);
    jar.set_cookie("beta", "2", 0);
    jar.set_cookie("Alpha", "1", 0);
    jar.set_cookie("gamma", "3", 0);
    auto_ptr_t<i_object_col> col(jar.get_cookies());
    EXPECT_EQ(kiv_test::entries(col), (std::vector<std::string>{"Alpha=1", "beta=2", "gamma=3"}));
    jar.clear_cookies();
    EXPECT_STREQ(jar.get_cookie("beta"), "");
}

TEST(http_header_map, replace_rules_and_lookups) {
    http_header_map map;
    map.set("Accept", "a", false);
    map.set("ACCEPT", "b", false);
    EXPECT_STREQ(map.find("accept"), "a");
    map.set("accept", "c", true);
    EXPECT_STREQ(map.find("Accept"), "c");
    // The entry keeps its first name.
    EXPECT_EQ(map.get_list()[0].first, "Accept");
    // Setting the same value hands out the same text.
    const char* before = map.find("Accept");
    map.set("accept", "c", true);
    EXPECT_EQ(map.find("Accept"), before);
    EXPECT_STREQ(map.find("missing"), "");
    EXPECT_EQ(map.find("missing", true), nullptr);
    EXPECT_EQ(map.find(nullptr), nullptr);
    map.set(nullptr, "x", true);
    map.set("x", nullptr, true);
    EXPECT_EQ(map.size(), 1u);
    map.clear();
    EXPECT_EQ(map.size(), 0u);
}

TEST(http_header_map, parsing_splits_lines_and_blanks) {
    guarded_buffer buf(
        "GET / HTTP/1.0\r\n"
        "Host: example\r\n"
        "X-Tight:value\r\n"
        "X-Two:  two\r\n"
        "no colon line\r\n"
        ": empty name\r\n"
        "X-Empty:\r\n"
        "X-Empty-Blank: \r\n"
        "host: again\r\n"
        "\r\n");
    http_header_map map;
    char* body = nullptr;
    EXPECT_EQ(http_header_map::parse(buf.data(), buf.length, &body, map), http_header_map::complete);
    EXPECT_EQ(body, buf.data() + buf.length);
    auto list = map.get_list();
    std::vector<std::string> seen;
    for (const auto& h : list)
        seen.push_back(h.first + "=" + h.second);
    EXPECT_EQ(seen, (std::vector<std::string>{"Host=again", "X-Tight=value", "X-Two= two"}));
    // The request line stays in the buffer, cut at its line end.
    EXPECT_STREQ(buf.data(), "GET / HTTP/1.0");
    EXPECT_TRUE(buf.guards_intact());
}

TEST(http_header_map, heads_and_bodies_complete_only_when_all_bytes_are_there) {
    struct row {
        const char* what;
        std::string message;
        http_header_map::parse_result expected;
        std::string body;  // when complete
    };
    const row rows[] = {
        {"no empty line yet", "GET / HTTP/1.0\r\nHost: a\r\n", http_header_map::need_more, ""},
        {"bare LF lines never end the head", "GET / HTTP/1.0\nHost: a\n\n", http_header_map::need_more, ""},
        {"CRLF head without body", "GET / HTTP/1.0\r\nHost: a\r\n\r\n", http_header_map::complete, ""},
        {"leading CRLF is skipped", "\r\nGET / HTTP/1.0\r\nA: b\r\n\r\n", http_header_map::complete, ""},
        {"body cut short", "POST / HTTP/1.0\r\nContent-Length: 10\r\n\r\n12345", http_header_map::need_more, ""},
        {"whole body", "POST / HTTP/1.0\r\ncontent-length: 5\r\n\r\n12345", http_header_map::complete, "12345"},
        {"bytes beyond the body", "POST / HTTP/1.0\r\nContent-Length: 3\r\n\r\n12345", http_header_map::complete,
         "123"},
        {"length with blanks", "POST / HTTP/1.0\r\nContent-Length:  2 \r\n\r\nab", http_header_map::complete, "ab"},
        {"zero length", "POST / HTTP/1.0\r\nContent-Length: 0\r\n\r\n", http_header_map::complete, ""},
        {"negative length", "POST / HTTP/1.0\r\nContent-Length: -5\r\n\r\n12345", http_header_map::bad_request,
         ""},
        {"not a number", "POST / HTTP/1.0\r\nContent-Length: 5x\r\n\r\n12345", http_header_map::bad_request, ""},
        {"hexadecimal", "POST / HTTP/1.0\r\nContent-Length: 0x5\r\n\r\n12345", http_header_map::bad_request, ""},
        {"over 32 bits", "POST / HTTP/1.0\r\nContent-Length: 4294967296\r\n\r\n1", http_header_map::bad_request,
         ""},
        {"far over 64 bits", "POST / HTTP/1.0\r\nContent-Length: 99999999999999999999999\r\n\r\n1",
         http_header_map::bad_request, ""},
        {"largest 32-bit length waits", "POST / HTTP/1.0\r\nContent-Length: 4294967295\r\n\r\n1",
         http_header_map::need_more, ""},
        {"empty buffer", "", http_header_map::need_more, ""},
        {"only a line feed", "\n", http_header_map::need_more, ""},
    };
    for (const row& r : rows) {
        guarded_buffer buf(r.message);
        http_header_map map;
        char* body = nullptr;
        EXPECT_EQ(http_header_map::parse(buf.data(), buf.length, &body, map), r.expected) << r.what;
        if (r.expected == http_header_map::complete) {
            ASSERT_NE(body, nullptr) << r.what;
            // An empty body is not terminated: it starts where the data ends.
            if (r.body.empty())
                EXPECT_EQ(body, buf.data() + buf.length) << r.what;
            else
                EXPECT_EQ(std::string(body), r.body) << r.what;
        } else {
            EXPECT_EQ(body, nullptr) << r.what;
        }
        EXPECT_TRUE(buf.guards_intact()) << r.what;
    }
}

TEST(http_header_map, a_body_ending_at_the_buffer_end_is_terminated_in_the_spare_byte) {
    guarded_buffer buf("POST / HTTP/1.0\r\nContent-Length: 4\r\n\r\nabcd");
    http_header_map map;
    char* body = nullptr;
    ASSERT_EQ(http_header_map::parse(buf.data(), buf.length, &body, map), http_header_map::complete);
    EXPECT_EQ(buf.data()[buf.length], '\0');
    EXPECT_STREQ(body, "abcd");
    EXPECT_TRUE(buf.guards_intact());
}
