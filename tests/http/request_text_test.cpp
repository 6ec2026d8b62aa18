// request_text_test.cpp --
//
//     Request texts taken apart (request line, page and query, variables
//     and cookies, forwarded addresses, ranges, conditional dates) and
//     answer texts put together (response head, log lines), including
//     hostile input: traversal attempts, encoded separators, huge
//     numbers and line breaks in headers.

#include "parse/http_request_text.h"

#include <gtest/gtest.h>

#include <string>

using namespace kiv;

TEST(request_text, request_lines_need_a_method_and_a_url) {
    std::string method, url;
    EXPECT_TRUE(http_split_request_line("GET /a/b?x=1 HTTP/1.1", &method, &url));
    EXPECT_EQ(method, "GET");
    EXPECT_EQ(url, "/a/b?x=1");
    EXPECT_TRUE(http_split_request_line("  HEAD   /  ", &method, &url));
    EXPECT_EQ(method, "HEAD");
    EXPECT_EQ(url, "/");
    EXPECT_FALSE(http_split_request_line("GET", &method, &url));
    EXPECT_FALSE(http_split_request_line("   ", &method, &url));
    EXPECT_FALSE(http_split_request_line("", &method, &url));
    EXPECT_FALSE(http_split_request_line(nullptr, &method, &url));
}

TEST(request_text, urls_split_before_decoding) {
    struct row {
        const char* url;
        http_target_result result;
        const char* page;
        http_pairs query;
    };
    const row rows[] = {
        {"/a%20b.txt", http_target_result::ok, "/a b.txt", {}},
        {"/a+b.txt", http_target_result::ok, "/a b.txt", {}},
        {"/s?q=%26", http_target_result::ok, "/s", {{"q", "&"}}},
        {"/s?q=%2B&r=a+b", http_target_result::ok, "/s", {{"q", "+"}, {"r", "a b"}}},
        {"/s?a=1&a=2&&b=&=3&c", http_target_result::ok, "/s", {{"a", "1"}, {"a", "2"}}},
        {"/s?k%3Dx=v%3D", http_target_result::ok, "/s", {{"k=x", "v="}}},
        {"/what%3Fnot.txt?x=1", http_target_result::ok, "/what?not.txt", {{"x", "1"}}},
        {"/p#frag?x=1", http_target_result::ok, "/p", {}},
        {"/p?x=1#frag", http_target_result::ok, "/p", {{"x", "1"}}},
        {"/x%00y", http_target_result::ok, "/x%00y", {}},
        {".bak/x", http_target_result::bad_request, "", {}},
        {"x", http_target_result::bad_request, "", {}},
        {"", http_target_result::bad_request, "", {}},
        {"?x=1", http_target_result::bad_request, "", {}},
        {"/../secret", http_target_result::bad_request, "", {}},
        {"/%2e%2e/secret", http_target_result::bad_request, "", {}},
        {"/a/%2E%2E%2Fb", http_target_result::bad_request, "", {}},
        {"/$x", http_target_result::bad_request, "", {}},
        {"/%24x", http_target_result::bad_request, "", {}},
        {"/ok?path=../up", http_target_result::ok, "/ok", {{"path", "../up"}}},
    };
    for (const row& r : rows) {
        http_target target;
        EXPECT_EQ(http_parse_target(r.url, &target), r.result) << r.url;
        if (r.result == http_target_result::ok) {
            EXPECT_EQ(target.page, r.page) << r.url;
            EXPECT_EQ(target.query, r.query) << r.url;
        }
    }
    http_target target;
    EXPECT_EQ(http_parse_target(nullptr, &target), http_target_result::bad_request);
}

TEST(request_text, cookies_and_forms_split_into_decoded_pairs) {
    EXPECT_EQ(http_split_variables("a=1; b=2;c=%41", "; "), (http_pairs{{"a", "1"}, {"b", "2"}, {"c", "A"}}));
    EXPECT_EQ(http_split_variables("name=J%C3%BCrgen&x=a%2Bb", "&"),
              (http_pairs{{"name", "J\xC3\xBCrgen"}, {"x", "a+b"}}));
    EXPECT_EQ(http_split_variables("", "&"), http_pairs{});
    EXPECT_EQ(http_split_variables(nullptr, "&"), http_pairs{});
    EXPECT_EQ(http_split_variables("a==b", "&"), (http_pairs{{"a", "=b"}}));
}

TEST(request_text, forwarded_addresses_take_the_last_token) {
    EXPECT_EQ(http_forwarded_host("192.0.2.1 198.51.100.7"), "198.51.100.7");
    EXPECT_EQ(http_forwarded_host("  203.0.113.9  "), "203.0.113.9");
    EXPECT_EQ(http_forwarded_host(""), "");
    EXPECT_EQ(http_forwarded_host(nullptr), "");
    std::string huge = "10.0.0.1 " + std::string(200, 'x') + " 10.0.0.2";
    EXPECT_EQ(http_forwarded_host(huge.c_str()), "10.0.0.1");
}

TEST(request_text, the_first_byte_range_counts) {
    struct row {
        const char* value;
        uint64_t size;
        http_range_result result;
        uint64_t first, last;
    };
    const uint64_t big = 5ull << 30;  // files past 4 GiB
    const row rows[] = {
        {"bytes=0-9", 100, http_range_result::partial, 0, 9},
        {"bytes=-10", 100, http_range_result::partial, 90, 99},
        {"bytes=90-", 100, http_range_result::partial, 90, 99},
        {"bytes=99-99", 100, http_range_result::partial, 99, 99},
        {"bytes=100-", 100, http_range_result::unsatisfiable, 0, 0},
        {"bytes=5-2", 100, http_range_result::unsatisfiable, 0, 0},
        {"bytes=0-100", 100, http_range_result::partial, 0, 99},
        {"bytes=0-5000", 100, http_range_result::partial, 0, 99},
        {"bytes=-0", 100, http_range_result::unsatisfiable, 0, 0},
        {"bytes=abc", 100, http_range_result::whole, 0, 0},
        {"bytes=1-2x", 100, http_range_result::whole, 0, 0},
        {"bytes=0-5,x", 100, http_range_result::whole, 0, 0},
        {"items=0-5", 100, http_range_result::whole, 0, 0},
        {"BYTES=0-5", 100, http_range_result::partial, 0, 5},
        {"bytes=-", 100, http_range_result::whole, 0, 0},
        // Several ranges: the whole file.
        {"bytes=0-5, 7-9", 100, http_range_result::whole, 0, 0},
        {"bytes=0-5,0-5", 100, http_range_result::whole, 0, 0},
        {"bytes=-200", 100, http_range_result::partial, 0, 99},
        {"bytes=99999999999999999999-", 100, http_range_result::unsatisfiable, 0, 0},
        {"bytes=0-99999999999999999999", 100, http_range_result::partial, 0, 99},
        {"bytes=5000000000-5000000009", big, http_range_result::partial, 5000000000ull, 5000000009ull},
        {"bytes=-1", big, http_range_result::partial, big - 1, big - 1},
        {"bytes=", 100, http_range_result::whole, 0, 0},
        {"bytes=0-9", 0, http_range_result::whole, 0, 0},
    };
    for (const row& r : rows) {
        uint64_t first = 77, last = 77;
        EXPECT_EQ(http_parse_range(r.value, r.size, &first, &last), r.result) << r.value;
        if (r.result == http_range_result::partial) {
            EXPECT_EQ(first, r.first) << r.value;
            EXPECT_EQ(last, r.last) << r.value;
        }
    }
    uint64_t first = 0, last = 0;
    EXPECT_EQ(http_parse_range(nullptr, 100, &first, &last), http_range_result::whole);
}

TEST(request_text, dates_are_read_in_all_three_forms) {
    EXPECT_EQ(http_parse_date("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
    EXPECT_EQ(http_parse_date("Thu, 01 Jan 1970 00:00:01 GMT"), 1);
    // The two obsolete forms; a two-digit year never lies more than 50
    // years ahead.
    const int64_t in_2026 = 1796000000;
    EXPECT_EQ(http_parse_date("Sunday, 06-Nov-94 08:49:37 GMT", in_2026), 784111777);
    EXPECT_EQ(http_parse_date("Sun Nov  6 08:49:37 1994"), 784111777);
    EXPECT_EQ(http_parse_date("Saturday, 01-Jan-77 00:00:01 GMT", in_2026), 220924801);
    EXPECT_EQ(http_parse_date("Friday, 01-Jan-27 00:00:00 GMT", in_2026), 1798761600);
    EXPECT_EQ(http_parse_date("Sun Xyz  6 08:49:37 1994"), -1);
    EXPECT_EQ(http_parse_date("Sun, 06 Xyz 1994 08:49:37 GMT"), -1);
    EXPECT_EQ(http_parse_date("Sun, 99999999999999999999 Nov 1994 08:49:37 GMT"), -1);
    EXPECT_EQ(http_parse_date(""), -1);
    EXPECT_EQ(http_parse_date(nullptr), -1);
}

TEST(request_text, log_lines) {
    EXPECT_EQ(http_log_time(0), "01/Jan/1970:00:00:00 +0000");
    EXPECT_EQ(http_log_time(1796682542), "07/Dec/2026:22:29:02 +0000");
    std::string line;
    http_append_access_log_line(&line, "10.0.0.5", 0, "GET /a HTTP/1.0", 200, 13, "", "curl/7.88");
    EXPECT_EQ(line, "10.0.0.5 - - [01/Jan/1970:00:00:00 +0000] \"GET /a HTTP/1.0\" 200 13 \"\" \"curl/7.88\"\n");
}

TEST(request_text, heads_list_headers_then_cookies_of_ok_answers) {
    http_pairs headers = {{"Accept-Ranges", "bytes"}, {"Connection", "Close"}, {"Content-Length", "13"}};
    std::vector<cookie_manager::cookie> cookies = {
        {"sid", "abc", 0},
        {"theme", "dark blue-x", 3600},
        {"came", "in", cookie_from_request},
    };
    std::string head;
    ASSERT_TRUE(http_build_head("200 OK", headers, cookies, 2147483648LL, &head));
    EXPECT_EQ(head,
              "HTTP/1.0 200 OK\r\n"
              "Accept-Ranges: bytes\r\n"
              "Connection: Close\r\n"
              "Content-Length: 13\r\n"
              "Set-Cookie: sid=abc; path=/; HttpOnly; SameSite=Lax\r\n"
              "Set-Cookie: theme=dark%20blue%2Dx; path=/; expires=Tue, 19 Jan 2038 04:14:08 GMT\r\n"
              "\r\n");
    ASSERT_TRUE(http_build_head("404 Not Found", headers, cookies, 0, &head));
    EXPECT_EQ(head.find("Set-Cookie"), std::string::npos);
    std::string long_value(10000, 'v');
    ASSERT_TRUE(http_build_head("200 OK", {{"X-Long", long_value}}, {}, 0, &head));
    EXPECT_NE(head.find(long_value + "\r\n\r\n"), std::string::npos);
}

TEST(request_text, heads_refuse_line_breaks) {
    std::string head = "unchanged";
    const http_pairs bad[] = {
        {{"X-Injected", "a\r\nSet-Cookie: evil=1"}},
        {{"X-Injected", "a\nb"}},
        {{"Bad\r\nName", "v"}},
        {{"", "v"}},
        {{"A:B", "v"}},
        {{"X-Zero", std::string("a\0b", 3)}},
    };
    for (const http_pairs& headers : bad)
        EXPECT_FALSE(http_build_head("200 OK", headers, {}, 0, &head)) << headers[0].first;
    EXPECT_FALSE(http_build_head("200 OK\r\nX: y", {}, {}, 0, &head));
    EXPECT_EQ(head, "unchanged");
}

TEST(request_text, callback_names_are_plain_identifiers) {
    for (const char* good : {"cb", "app.on_data", "$jq_1"})
        EXPECT_TRUE(http_is_callback_name(good)) << good;
    for (const char* bad : {"", "alert(1);x", "a b", "a\"", "f\n", "a-b"})
        EXPECT_FALSE(http_is_callback_name(bad)) << bad;
    EXPECT_FALSE(http_is_callback_name(nullptr));
}
