// http_head_test.cpp --
//
//     The framing of received requests alone: the end of the head found
//     in bytes that arrive one at a time as in one piece, the checks of
//     the request line and header lines, chunked bodies split anywhere,
//     Accept-Encoding weights and log escaping. The same behaviour
//     through a live server is in http_standards_test.cpp.

#include "parse/http_head.h"

#include <gtest/gtest.h>

#include <string>

using namespace kiv;

namespace {

// Scans `text` whole and again one byte more per call.
// Returns: the result of the whole scan; both must agree.
http_head_scanner::result_t scan_both_ways(const std::string& text, size_t* start, size_t* end) {
    http_head_scanner whole;
    http_head_scanner::result_t result = whole.scan(text.data(), text.size());
    http_head_scanner bytewise;
    http_head_scanner::result_t last = http_head_scanner::need_more;
    for (size_t i = 1; i <= text.size(); ++i)
        last = bytewise.scan(text.data(), i);
    EXPECT_EQ(last, result) << text.substr(0, 40);
    EXPECT_EQ(bytewise.head_start(), whole.head_start());
    EXPECT_EQ(bytewise.head_end(), whole.head_end());
    *start = whole.head_start();
    *end = whole.head_end();
    return result;
}

}  // namespace

TEST(http_head, the_end_of_the_head_is_found_in_new_bytes_with_any_line_end) {
    struct row {
        std::string text;
        http_head_scanner::result_t result;
        size_t start, end;
    };
    const row rows[] = {
        {"GET / HTTP/1.0\r\n\r\nbody", http_head_scanner::complete, 0, 18},
        {"GET / HTTP/1.0\n\nbody", http_head_scanner::complete, 0, 16},
        {"GET / HTTP/1.0\r\nA: b\n\r\n", http_head_scanner::complete, 0, 23},
        {"\r\n\nGET / HTTP/1.0\r\n\r\n", http_head_scanner::complete, 3, 21},
        {"GET / HTTP/1.0\r\nA: b\r\n", http_head_scanner::need_more, 0, 0},
        {"GET / HTTP/1.0\r", http_head_scanner::need_more, 0, 0},
        {"GET / HTTP/1.0\rA", http_head_scanner::bad, 0, 0},
        {std::string("GET /\0 HTTP/1.0\r\n\r\n", 20), http_head_scanner::bad, 0, 0},
        {std::string(7000, '\r'), http_head_scanner::bad, 0, 0},
        {"GET /" + std::string(8200, 'x'), http_head_scanner::line_too_long, 0, 0},
        {"GET / HTTP/1.0\r\nA: " + std::string(8200, 'x'), http_head_scanner::head_too_large, 0, 0},
        {std::string(70000, '\n'), http_head_scanner::head_too_large, 0, 0},
    };
    for (const row& r : rows) {
        size_t start = 0, end = 0;
        EXPECT_EQ(scan_both_ways(r.text, &start, &end), r.result) << r.text.substr(0, 40);
        if (r.result == http_head_scanner::complete) {
            EXPECT_EQ(start, r.start) << r.text;
            EXPECT_EQ(end, r.end) << r.text;
        }
    }
}

TEST(http_head, request_lines_and_header_lines_are_checked) {
    struct row {
        std::string head;
        int status;
        bool chunked;
        uint64_t length;
    };
    const row rows[] = {
        {"GET /a HTTP/1.1\r\nHost: x\r\n\r\n", 0, false, 0},
        {"POST /a HTTP/1.0\nContent-Length: 12\n\n", 0, false, 12},
        {"POST /a HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: Chunked\r\n\r\n", 0, true, 0},
        {"POST /a HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked, chunked\r\n\r\n", 400, false, 0},
        {"POST /a HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: gzip\r\n\r\n", 501, false, 0},
        {"POST /a HTTP/1.1\r\nHost: x\r\nTransfer-Encoding:\r\n\r\n", 400, false, 0},
        {"POST /a HTTP/1.1\r\nHost: x\r\nContent-Length: 8388607\r\n\r\n", 0, false, 8388607},
        {"POST /a HTTP/1.1\r\nHost: x\r\nContent-Length: 8388608\r\n\r\n", 413, false, 8388608},
        {"POST /a HTTP/1.1\r\nHost: x\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\n", 400, false, 0},
        {"POST /a HTTP/1.1\r\nHost: x\r\nContent-Length: +1\r\n\r\n", 400, false, 0},
        {"POST /a HTTP/1.1\r\nHost: x\r\nContent-Length: 99999999999999999999\r\n\r\n", 400, false, 0},
        {"GET /a HTTP/1.1\r\nHost : x\r\n\r\n", 400, false, 0},
        {"GET /a HTTP/1.1\r\nHost: x\r\nA: 1\r\n\tfolded\r\n\r\n", 400, false, 0},
        {"PUT /a HTTP/1.1\r\n\r\n", 501, false, 0},
        {"GET /a HTTP/3.0\r\n\r\n", 505, false, 0},
        {"GET /a HTTP/1.10\r\n\r\n", 400, false, 0},
        {"GET  /a  HTTP/1.1\r\nHost: x\r\n\r\n", 0, false, 0},
        // HTTP/1.1 names its host once; HTTP/1.0 may leave it out.
        {"GET /a HTTP/1.1\r\n\r\n", 400, false, 0},
        {"GET /a HTTP/1.1\r\nHost: x\r\nhost: y\r\n\r\n", 400, false, 0},
        {"GET /a HTTP/1.0\r\n\r\n", 0, false, 0},
        // A line that is no field.
        {"GET /a HTTP/1.0\r\nNoColon\r\n\r\n", 400, false, 0},
    };
    for (const row& r : rows) {
        http_head_info info = http_check_head(r.head.data(), r.head.size());
        EXPECT_EQ(info.status, r.status) << r.head;
        if (info.status == 0) {
            EXPECT_EQ(info.chunked, r.chunked) << r.head;
            EXPECT_EQ(info.content_length, r.length) << r.head;
            EXPECT_EQ(info.head.substr(info.head.size() - 4), "\r\n\r\n") << r.head;
        }
    }
}

TEST(http_head, chunked_bodies_decode_the_same_in_any_pieces) {
    struct row {
        std::string chunks;
        http_chunked_decoder::result_t result;
        std::string body;
    };
    const row rows[] = {
        {"5\r\nhello\r\n0\r\n\r\n", http_chunked_decoder::complete, "hello"},
        {"5;a=b\r\nhello\r\nA\r\n0123456789\r\n0\r\nT: 1\r\n\r\nnext", http_chunked_decoder::complete,
         "hello0123456789"},
        // Every line of the framing ends with CR LF.
        {"5\nhello\r\n0\r\n\r\n", http_chunked_decoder::bad, ""},
        {"5\r\nhello\n0\r\n\r\n", http_chunked_decoder::bad, "hello"},
        {"5;x\nhello\r\n", http_chunked_decoder::bad, ""},
        {"0\r\nT: 1\n\r\n", http_chunked_decoder::bad, ""},
        {"0\r\n\n", http_chunked_decoder::bad, ""},
        {"5\r\nhello\r\n", http_chunked_decoder::need_more, "hello"},
        {"5\r\nhelloX\r\n", http_chunked_decoder::bad, "hello"},
        {"\r\n", http_chunked_decoder::bad, ""},
        {"-1\r\n", http_chunked_decoder::bad, ""},
        {"1ffffffffffffffff\r\n", http_chunked_decoder::bad, ""},
        {"1001\r\n", http_chunked_decoder::too_large, ""},
        {"800\r\n" + std::string(2048, 'a') + "\r\n801\r\n", http_chunked_decoder::too_large, std::string(2048, 'a')},
        {"1;" + std::string(9000, 'e') + "\r\n", http_chunked_decoder::bad, ""},
    };
    for (const row& r : rows) {
        http_chunked_decoder whole(4096);
        std::string body;
        EXPECT_EQ(whole.feed(r.chunks.data(), r.chunks.size(), &body), r.result) << r.chunks.substr(0, 30);
        EXPECT_EQ(body, r.body) << r.chunks.substr(0, 30);
        http_chunked_decoder bytewise(4096);
        std::string pieces;
        http_chunked_decoder::result_t last = http_chunked_decoder::need_more;
        for (char c : r.chunks)
            last = bytewise.feed(&c, 1, &pieces);
        EXPECT_EQ(last, r.result) << r.chunks.substr(0, 30);
        EXPECT_EQ(pieces, r.body) << r.chunks.substr(0, 30);
    }
}

TEST(http_head, small_texts_of_answers_and_logs) {
    EXPECT_TRUE(http_accepts_gzip("gzip"));
    EXPECT_TRUE(http_accepts_gzip("x-gzip;q=1.0"));
    EXPECT_FALSE(http_accepts_gzip("gzip;q=0"));
    EXPECT_FALSE(http_accepts_gzip("GZIP"));
    EXPECT_FALSE(http_accepts_gzip(nullptr));
    EXPECT_FALSE(http_accepts_gzip("gzip;q=1.0001"));
    EXPECT_EQ(http_location_path("//a///b/"), "/a/b/");
    EXPECT_EQ(http_location_path("/a\x0b\x7f b//"), "/a%0B%7F b/");
    EXPECT_EQ(http_log_escape("a\nb\r\"\\\x7f\x01 ok"), "a\\x0Ab\\x0D\\x22\\x5C\\x7F\\x01 ok");
    EXPECT_STREQ(http_status_text(431), "431 Request Header Fields Too Large");
}

// A cut log text keeps whole escapes and whole UTF-8 characters, with
// the mark inside its bound.
TEST(http_head, log_texts_are_cut_to_their_bound_between_characters) {
    struct row {
        std::string text;
        size_t max;
        std::string out;
    };
    const row rows[] = {
        {"abcdef", 6, "abcdef"},
        {"abcdefg", 6, "a[...]"},
        {"ab\"", 6, "ab\\x22"},
        {"ab\"cd", 7, "ab[...]"},
        {"ab\"cdefgh", 11, "ab\\x22[...]"},
        {"a\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9z", 8, "a\xC3\xA9[...]"},
        {"a\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9z", 9, "a\xC3\xA9[...]"},
        {"\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xACz", 9, "\xE2\x82\xAC[...]"},
        {"abc", 2, ""},
    };
    for (const row& r : rows) {
        std::string out = "<";
        http_append_log_escaped(&out, r.text, r.max);
        EXPECT_EQ(out, "<" + r.out) << r.text << " " << r.max;
        EXPECT_LE(out.size() - 1, r.max) << r.text;
    }
}
