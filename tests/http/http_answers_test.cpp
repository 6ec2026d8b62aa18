// http_answers_test.cpp --
//
//     Answers that clients and caches can trust, asked through a real
//     socket of a server bound on 127.0.0.1: "100 Continue" before a
//     body, Vary on answers whose encoding follows the request, HEAD with
//     the head of GET, 304 without a length, lists of ranges, dates that
//     are not HTTP dates, the Host rules of HTTP/1.1 and absolute URLs,
//     strict chunk and header lines, script errors on the page's own
//     line, the session cookie, and the cap on live sessions.

#include <kiv/core/env.h>
#include <kiv/http/i_http_server.h>
#include <kiv/http/i_http_session.h>

#include "../core/net_peer.h"
#include "../core/test_util.h"
#include "http_site_requests.h"

#include <sys/socket.h>
#include <utime.h>

#include <string>
#include <vector>

using namespace kiv;
using namespace kiv_test;

namespace {

class http_answers_test : public http_site_requests {
protected:
    void SetUp() override {
        http_site_requests::SetUp();
        put("1k.txt", text(1024));
        put("1k.bin", text(1024));
        put("small.txt", text(100));
        put("p.html", text(600));
    }
    void TearDown() override {
        if (capped)
            http->unbind_server(capped, "127.0.0.1", capped_port);
        capped.reset();
        http_site_requests::TearDown();
    }
    // Binds the server "capped" on the site's folder, which keeps at most
    // `cap` live sessions, at `capped_port`; its page s.html makes a
    // session and prints the session's id.
    void bind_capped(unsigned cap) {
        put("s.html", "<? i_http_request_force_use_session $http_request\n"
                      "puts [i_named_object_get_name [i_http_request_get_session $http_request]] ?>");
        kiv_set_env("KIV_HTTP_MAX_SESSIONS", std::to_string(cap).c_str());
        capped.reset(http->create_server("capped", "www"));
        kiv_set_env("KIV_HTTP_MAX_SESSIONS", nullptr);
        ASSERT_TRUE(capped);
        capped_port = free_port();
        ASSERT_NE(capped_port, 0);
        ASSERT_TRUE(http->bind_server(capped, "127.0.0.1", capped_port));
    }

    auto_ptr_t<i_http_server> capped;  // from bind_capped; unbound by TearDown
    uint16_t capped_port = 0;
};

// Reads from `fd` until the bytes read end with a blank line or the peer
// closes. Returns: what came.
std::string read_head(int fd) {
    std::string all;
    char c;
    while (all.size() < 4 || all.compare(all.size() - 4, 4, "\r\n\r\n") != 0) {
        if (recv(fd, &c, 1, 0) != 1)
            return all;
        all += c;
    }
    return all;
}

// The Set-Cookie lines of a raw answer, in order.
std::vector<std::string> set_cookie_lines(const std::string& raw) {
    std::vector<std::string> lines;
    size_t pos = 0;
    while ((pos = raw.find("\r\nSet-Cookie: ", pos)) != std::string::npos) {
        pos += 14;
        lines.push_back(raw.substr(pos, raw.find("\r\n", pos) - pos));
    }
    return lines;
}

}  // namespace

TEST_F(http_answers_test, a_client_that_expects_100_continue_is_told_to_go_on_or_refused_at_once) {
    struct row {
        std::string head;
        std::string body;     // sent after the interim answer, or at once when none is due
        bool interim;         // "100 Continue" comes before the body is sent
        int status;
    };
    const row rows[] = {
        {"POST /1k.txt HTTP/1.1\r\nHost: site\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\n", "hello",
         true, 200},
        {"POST /1k.txt HTTP/1.1\r\nHost: site\r\nExpect: 100-Continue\r\nTransfer-Encoding: chunked\r\n\r\n",
         "5\r\nhello\r\n0\r\n\r\n", true, 200},
        // Too large: the refusal comes at once, without the body.
        {"POST /1k.txt HTTP/1.1\r\nHost: site\r\nExpect: 100-continue\r\nContent-Length: 50000000\r\n\r\n", "",
         false, 413},
        // No body, or HTTP/1.0 (which knows no interim answer): none.
        {"GET /1k.txt HTTP/1.1\r\nHost: site\r\nExpect: 100-continue\r\n\r\n", "", false, 200},
        {"POST /1k.txt HTTP/1.0\r\nExpect: 100-continue\r\nContent-Length: 5\r\n\r\n", "hello", false, 200},
    };
    for (const row& r : rows) {
        fd_holder fd(connect_tcp(port));
        ASSERT_GE(fd.get(), 0);
        if (r.interim) {
            ASSERT_TRUE(send_all(fd.get(), r.head));
            EXPECT_EQ(read_head(fd.get()), "HTTP/1.1 100 Continue\r\n\r\n") << r.head;
            ASSERT_TRUE(send_all(fd.get(), r.body));
        } else {
            ASSERT_TRUE(send_all(fd.get(), r.head + r.body));
        }
        response a = parse_response(read_until_closed(fd.get()));
        EXPECT_EQ(a.status, r.status) << r.head;
        EXPECT_EQ(a.status_line.compare(0, 9, "HTTP/1.0 "), 0) << a.raw.substr(0, 80);
    }
}

TEST_F(http_answers_test, answers_that_may_be_gzipped_vary_on_accept_encoding) {
    put("vary.html", "<? i_http_request_send_header $http_request Vary Cookie ?>" + text(600));
    struct utimbuf times = {784111777, 784111777};  // Sun, 06 Nov 1994 08:49:37 GMT
    ASSERT_EQ(utime((root + "/1k.txt").c_str(), &times), 0);
    struct row {
        const char* page;
        std::string headers;
        const char* method;
        int status;
        const char* vary;      // "" for none
        const char* encoding;  // "" for none
    };
    const std::string gzip = "Accept-Encoding: gzip\r\n";
    const row rows[] = {
        {"/1k.txt", gzip, "GET", 200, "Accept-Encoding", "gzip"},
        {"/1k.txt", "", "GET", 200, "Accept-Encoding", ""},
        {"/1k.txt", gzip + "Range: bytes=0-9\r\n", "GET", 200, "Accept-Encoding", "gzip"},
        {"/1k.txt", "Range: bytes=0-9\r\n", "GET", 206, "Accept-Encoding", ""},
        {"/1k.txt", gzip, "HEAD", 200, "Accept-Encoding", "gzip"},
        {"/1k.txt", "If-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT\r\n", "GET", 304, "Accept-Encoding", ""},
        {"/p.html", gzip, "GET", 200, "Accept-Encoding", "gzip"},
        {"/p.html", "", "GET", 200, "Accept-Encoding", ""},
        {"/vary.html", gzip, "GET", 200, "Cookie, Accept-Encoding", "gzip"},
        // Never gzipped, whatever the client says.
        {"/small.txt", gzip, "GET", 200, "", ""},
        {"/1k.bin", gzip, "GET", 200, "", ""},
        {"/missing.txt", gzip, "GET", 404, "", ""},
    };
    for (const row& r : rows) {
        response a = get(r.page, r.headers, r.method);
        std::string what = std::string(r.method) + " " + r.page + " " + r.headers;
        EXPECT_EQ(a.status, r.status) << what;
        EXPECT_EQ(a.headers["vary"], r.vary) << what;
        EXPECT_EQ(a.headers["content-encoding"], r.encoding) << what;
    }
}

TEST_F(http_answers_test, head_answers_carry_the_head_get_would_send) {
    struct row {
        const char* page;
        std::string headers;
    };
    const std::string gzip = "Accept-Encoding: gzip\r\n";
    const row rows[] = {
        {"/1k.txt", gzip},
        {"/1k.txt", ""},
        {"/1k.bin", "Range: bytes=10-19\r\n"},
        {"/p.html", gzip},
        {"/p.html", ""},
        {"/missing.txt", gzip},
    };
    for (const row& r : rows) {
        response got = get(r.page, r.headers);
        response head = get(r.page, r.headers, "HEAD");
        std::string what = std::string(r.page) + " " + r.headers;
        EXPECT_EQ(head.status, got.status) << what;
        EXPECT_EQ(head.body, "") << what;
        EXPECT_EQ(head.headers["content-length"], std::to_string(got.body.size())) << what;
        // Every header but the times is the same.
        for (const char* name : {"content-length", "content-encoding", "content-type", "content-range", "vary",
                                 "last-modified", "accept-ranges", "cache-control"})
            EXPECT_EQ(head.headers[name], got.headers[name]) << what << name;
    }
}

TEST_F(http_answers_test, a_304_carries_no_length_and_lists_of_ranges_get_the_whole_file) {
    response first = get("/1k.bin");
    response again = get("/1k.bin", "If-Modified-Since: " + first.headers["last-modified"] + "\r\n");
    EXPECT_EQ(again.status, 304);
    EXPECT_EQ(again.headers.count("content-length"), 0u) << again.raw;
    EXPECT_EQ(again.body, "");
    struct row {
        const char* range;
        int status;
        size_t first, size;
    };
    const row rows[] = {
        {"bytes=0-9", 206, 0, 10},
        {"bytes=0-9,20-29", 200, 0, 1024},
        {"bytes=0-9, 5-14, 0-1023", 200, 0, 1024},
        {"bytes=2000-3000,5000-6000", 200, 0, 1024},
    };
    for (const row& r : rows) {
        response a = get("/1k.bin", std::string("Range: ") + r.range + "\r\n");
        EXPECT_EQ(a.status, r.status) << r.range;
        EXPECT_EQ(a.body, text(1024).substr(r.first, r.size)) << r.range;
        EXPECT_EQ(a.headers.count("content-range"), r.status == 206 ? 1u : 0u) << r.range;
    }
}

TEST_F(http_answers_test, a_range_under_if_range_is_honoured_only_for_the_version_it_names) {
    // A small file goes out of memory, a large one with sendfile: both
    // take the same decision.
    put("big.bin", text(100000));
    struct utimbuf times = {784111777, 784111777};  // Sun, 06 Nov 1994 08:49:37 GMT
    for (const char* name : {"1k.bin", "big.bin"})
        ASSERT_EQ(utime((root + "/" + name).c_str(), &times), 0);
    struct row {
        const char* if_range;  // nullptr: no If-Range
        int status;
    };
    const row rows[] = {
        {nullptr, 206},
        {"Sun, 06 Nov 1994 08:49:37 GMT", 206},
        {"Sunday, 06-Nov-94 08:49:37 GMT", 206},
        {"Sun, 06 Nov 1994 08:49:36 GMT", 200},
        {"Sat, 05 Nov 1994 08:49:37 GMT", 200},
        {"\"other-tag\"", 200},
        {"W/\"other-tag\"", 200},
        {"\"\"", 200},
        {"not a date", 200},
    };
    for (const char* name : {"/1k.bin", "/big.bin"}) {
        size_t size = std::string(name) == "/1k.bin" ? 1024 : 100000;
        for (const row& r : rows) {
            std::string headers = "Range: bytes=0-9\r\n";
            if (r.if_range != nullptr)
                headers += std::string("If-Range: ") + r.if_range + "\r\n";
            response a = get(name, headers);
            std::string what = std::string(name) + " " + (r.if_range != nullptr ? r.if_range : "-");
            EXPECT_EQ(a.status, r.status) << what;
            EXPECT_EQ(a.body, text(size).substr(0, r.status == 206 ? 10 : size)) << what;
            EXPECT_EQ(a.headers.count("content-range"), r.status == 206 ? 1u : 0u) << what;
        }
    }
    // Without a Range, If-Range changes nothing.
    response whole = get("/1k.bin", "If-Range: \"other-tag\"\r\n");
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body.size(), 1024u);
}

TEST_F(http_answers_test, a_page_cannot_put_control_bytes_into_its_answers_head) {
    // The page echoes the request's variables n and v into a header and
    // prints whether send_header took them.
    put("echo.html", "<? puts [i_http_request_send_header $http_request "
                     "[i_http_request_get_var_value $http_request n] [i_http_request_get_var_value $http_request v]] ?>");
    struct row {
        const char* query;
        const char* taken;  // what send_header returned
        const char* line;   // the header line sent, "" for none
    };
    const row rows[] = {
        {"n=X-Echo&v=plain", "1", "X-Echo: plain"},
        {"n=X-Echo&v=a%09b", "1", "X-Echo: a\tb"},
        {"n=X-Echo&v=a%0Bb%01c%7Fd", "0", ""},
        {"n=X-Echo&v=a%0Bb", "0", ""},
        {"n=X-Echo&v=a%1Bb", "0", ""},
        {"n=X-Echo&v=a%7F", "0", ""},
        {"n=X-Echo&v=a%0Db", "0", ""},
        {"n=X-Echo&v=a%0Ab", "0", ""},
        {"n=X%01Echo&v=a", "0", ""},
        {"n=X%09Echo&v=a", "0", ""},
        {"n=X%7FEcho&v=a", "0", ""},
        {"n=X%20Echo&v=a", "0", ""},
        {"n=X%3AEcho&v=a", "0", ""},
        {"n=X(Echo&v=a", "0", ""},
        {"n=X%C3%A9&v=a", "0", ""},
        {"n=X-E.c_h~o&v=a%C3%A9", "1", "X-E.c_h~o: a\xc3\xa9"},
    };
    for (const row& r : rows) {
        response a = get(std::string("/echo.html?") + r.query);
        EXPECT_EQ(a.status, 200) << r.query;
        EXPECT_EQ(a.body, r.taken) << r.query;
        std::string head = a.raw.substr(0, a.raw.find("\r\n\r\n") + 2);
        if (*r.line != '\0') {
            EXPECT_NE(head.find(std::string("\r\n") + r.line + "\r\n"), std::string::npos) << r.query;
        }
        for (size_t i = 0; i < head.size(); ++i) {
            unsigned char c = static_cast<unsigned char>(head[i]);
            bool line_end = c == '\r' || (c == '\n' && i > 0 && head[i - 1] == '\r');
            EXPECT_TRUE(c == '\t' || line_end || (c >= 0x20 && c != 0x7f)) << r.query << " byte " << int(c);
        }
    }
    // The path of a folder that holds a control byte goes into Location
    // %-encoded, so the redirect still has one.
    folder("www/a\x0b" "b");
    response moved = get("/a%0Bb");
    EXPECT_EQ(moved.status, 301);
    EXPECT_EQ(moved.headers["location"], "/a%0Bb/");
}

TEST_F(http_answers_test, only_real_http_dates_make_a_304) {
    struct utimbuf times = {784111777, 784111777};  // Sun, 06 Nov 1994 08:49:37 GMT
    ASSERT_EQ(utime((root + "/1k.bin").c_str(), &times), 0);
    struct row {
        const char* date;
        int status;
    };
    const row rows[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 304},
        {"Sunday, 06-Nov-94 08:49:37 GMT", 304},
        {"Sun Nov  6 08:49:37 1994", 304},
        // The same numbers, but no HTTP date: another zone, another case,
        // digits missing, something after the zone.
        {"Sun, 06 Nov 1994 08:49:37 +0100", 200},
        {"Sun, 06 Nov 1994 08:49:37 +0000", 200},
        {"Sun, 06 Nov 1994 08:49:37 gmt", 200},
        {"Sun, 06 Nov 1994 08:49:37", 200},
        {"Sun, 6 Nov 1994 08:49:37 GMT", 200},
        {"Sun, 06 Nov 1994 8:49:37 GMT", 200},
        {"Sun, 06 Nov 1994 08:49:37 GMT x", 200},
        {"06 Nov 1994 08:49:37 GMT", 200},
        {"Sun, 06 nov 1994 08:49:37 GMT", 200},
        {"Sun Nov 6 08:49:37 1994", 200},
        {"Sun, 31 Feb 1994 08:49:37 GMT", 200},
    };
    for (const row& r : rows)
        EXPECT_EQ(get("/1k.bin", std::string("If-Modified-Since: ") + r.date + "\r\n").status, r.status) << r.date;
}

TEST_F(http_answers_test, hosts_absolute_urls_chunk_lines_and_header_lines_follow_the_message_syntax) {
    ASSERT_NO_FATAL_FAILURE(bind_other());
    struct row {
        std::string request;
        int status;
        const char* body;  // checked for 200
    };
    const row rows[] = {
        {"GET /who.txt HTTP/1.1\r\n\r\n", 400, ""},
        {"GET /who.txt HTTP/1.1\r\nHost: other\r\nHost: site\r\n\r\n", 400, ""},
        {"GET /who.txt HTTP/1.0\r\n\r\n", 200, "site"},
        {"GET /who.txt HTTP/1.1\r\nHost: other\r\n\r\n", 200, "other"},
        // The host of an absolute URL wins over the Host header, which
        // HTTP/1.1 still asks for.
        {"GET http://other/who.txt HTTP/1.1\r\nHost: site\r\n\r\n", 200, "other"},
        {"GET http://other/who.txt HTTP/1.1\r\n\r\n", 400, ""},
        {"GET HTTP://other:8080/who.txt?x=1 HTTP/1.1\r\nHost: other\r\n\r\n", 200, "other"},
        {"GET http://site/who.txt HTTP/1.0\r\n\r\n", 200, "site"},
        {"GET https://site/who.txt HTTP/1.1\r\nHost: other\r\n\r\n", 200, "site"},
        {"GET http://user@other/who.txt HTTP/1.1\r\nHost: other\r\n\r\n", 400, ""},
        {"GET http:///who.txt HTTP/1.1\r\nHost: other\r\n\r\n", 400, ""},
        {"GET ftp://other/who.txt HTTP/1.1\r\nHost: other\r\n\r\n", 400, ""},
        {"GET http://other/../who.txt HTTP/1.1\r\nHost: other\r\n\r\n", 400, ""},
        // Lines of a chunked body end with CR LF, header lines hold ":".
        {"POST /who.txt HTTP/1.1\r\nHost: site\r\nTransfer-Encoding: chunked\r\n\r\n3\na=1\r\n0\r\n\r\n", 400, ""},
        {"POST /who.txt HTTP/1.1\r\nHost: site\r\nTransfer-Encoding: chunked\r\n\r\n3\r\na=1\n0\r\n\r\n", 400, ""},
        {"POST /who.txt HTTP/1.1\r\nHost: site\r\nTransfer-Encoding: chunked\r\n\r\n3\r\na=1\r\n0\n\n", 400, ""},
        {"POST /who.txt HTTP/1.1\r\nHost: site\r\nTransfer-Encoding: chunked\r\n\r\n3\r\na=1\r\n0\r\n\r\n", 200,
         "site"},
        {"GET /who.txt HTTP/1.0\r\nHost site\r\n\r\n", 400, ""},
        {"GET /who.txt HTTP/1.0\r\nX-A: 1\r\nno colon here\r\n\r\n", 400, ""},
    };
    for (const row& r : rows) {
        response a = ask(port, r.request);
        EXPECT_EQ(a.status, r.status) << r.request;
        if (r.status == 200) {
            EXPECT_EQ(a.body, r.body) << r.request;
        }
    }
}

TEST_F(http_answers_test, script_errors_name_the_line_of_the_page_they_are_on) {
    struct row {
        const char* name;
        std::string page;
        std::string body;
    };
    const row rows[] = {
        {"lines.html", "a\nb\nc\nd\n<? set x 1\nerror boom ?>tail", "a\nb\nc\nd\n<p>HTTP error on line 6: boom</p>"},
        {"first.html", "<? error first ?>", "<p>HTTP error on line 1: first</p>"},
        {"after.html", "<? set a 1 ?>\n\n<? set b 2 ?>x\ny\n<?\n\n error late ?>",
         "\n\nx\ny\n<p>HTTP error on line 7: late</p>"},
        // An included page counts its own lines; the page that includes
        // it counts on after the include.
        {"outer.html", "1\n2\n<? include $http_doc_root/inner.html ?>\n4\n<? error outer ?>",
         "1\n2\nI\n<p>HTTP error on line 2: inner</p>\n4\n<p>HTTP error on line 5: outer</p>"},
    };
    put("inner.html", "I\n<? error inner ?>never");
    for (const row& r : rows) {
        put(r.name, r.page);
        response a = get(std::string("/") + r.name);
        EXPECT_EQ(a.status, 200) << r.page;
        EXPECT_EQ(a.body, r.body) << r.page;
    }
}

TEST_F(http_answers_test, cookie_lines_end_cleanly_and_the_session_cookie_is_http_only) {
    put("c.html", "<? i_http_request_force_use_session $http_request\n"
                  "i_http_cookie_manager_set_cookie $http_request theme dark 3600\n"
                  "i_http_cookie_manager_set_cookie $http_request lang en 0\n"
                  "puts ok[i_named_object_get_name [i_http_request_get_session $http_request]] ?>");
    response a = get("/c.html");
    ASSERT_EQ(a.status, 200);
    std::vector<std::string> lines = set_cookie_lines(a.raw);
    ASSERT_EQ(lines.size(), 3u) << a.raw;
    EXPECT_EQ(lines[0], "lang=en; path=/");
    EXPECT_EQ(lines[1], "sid=" + a.body.substr(2) + "; path=/; HttpOnly; SameSite=Lax");
    // "theme=dark; path=/; expires=" and an RFC 1123 date, nothing after.
    EXPECT_EQ(lines[2].size(), 28u + 29u) << lines[2];
    EXPECT_EQ(lines[2].substr(0, 28), "theme=dark; path=/; expires=");
    EXPECT_EQ(lines[2].substr(lines[2].size() - 4), " GMT") << lines[2];
}

TEST_F(http_answers_test, live_sessions_are_capped_and_the_longest_idle_goes_first) {
    folder("logs");
    ASSERT_NO_FATAL_FAILURE(bind_capped(4));
    event_counter expired("KIV_EVT_HTTP_SESSION_EXPIRED");
    auto new_session = [&](const std::string& cookie) {
        return ask(capped_port, "GET /s.html HTTP/1.0\r\n" + cookie + "\r\n").body;
    };
    uint32_t t = settle_driven_clock();
    std::vector<std::string> ids;
    for (int i = 0; i < 4; ++i) {
        ids.push_back(new_session(""));
        ASSERT_EQ(ids.back().size(), 32u) << ids.back();
        advance_clock_to(t + i + 1, 1);
    }
    // The first is used again: the second is now the longest idle.
    EXPECT_EQ(new_session("Cookie: sid=" + ids[0] + "\r\n"), ids[0]);
    advance_clock_to(t + 5, 1);
    ids.push_back(new_session(""));
    ASSERT_EQ(ids.back().size(), 32u);
    auto_ptr_t<i_object_col> all(capped->get_sessions());
    EXPECT_EQ(all->get_count(), 4u);
    for (size_t i = 0; i < ids.size(); ++i) {
        auto_ptr_t<i_http_session> found(capped->find_session(ids[i].c_str(), false, nullptr));
        EXPECT_EQ(bool(found), i != 1) << i;
    }
    eventually([&] { return expired.count() == 1; });
    EXPECT_EQ(expired.names()[0], ids[1]);
    std::string log = read_all(session.root.file("logs/http_error.log"));
    EXPECT_NE(log.find("http_server 'capped': 4 live sessions, the cap; the 1 idle longest were ended"),
              std::string::npos)
        << log;
}

TEST_F(http_answers_test, a_flood_of_new_clients_ends_the_sessions_no_one_came_back_to_first) {
    ASSERT_NO_FATAL_FAILURE(bind_capped(16));
    auto visit = [&](const std::string& sid) {
        return ask(capped_port, "GET /s.html HTTP/1.0\r\n" + (sid.empty() ? "" : "Cookie: sid=" + sid + "\r\n") +
                                    "\r\n").body;
    };
    uint32_t t = settle_driven_clock();
    // Two users who came back, then made idle longest of all.
    std::vector<std::string> users = {visit(""), visit("")};
    for (const std::string& id : users) {
        ASSERT_EQ(id.size(), 32u);
        ASSERT_EQ(visit(id), id);
    }
    advance_clock_to(t + 1, 1);
    // Ten times the cap of clients without a cookie, each seen once.
    for (int i = 0; i < 160; ++i)
        ASSERT_EQ(visit("").size(), 32u) << i;
    for (const std::string& id : users)
        EXPECT_EQ(visit(id), id) << "a session its owner came back to was ended by the flood";
    auto_ptr_t<i_object_col> all(capped->get_sessions());
    EXPECT_LE(all->get_count(), 16u);
    // With nothing but sessions someone came back to, those go too, the
    // idle longest first.
    std::vector<std::string> returning;
    for (int i = 0; i < 16; ++i) {
        advance_clock_to(t + 2 + i, 1);
        returning.push_back(visit(""));
        ASSERT_EQ(visit(returning.back()), returning.back());
    }
    advance_clock_to(t + 18, 1);
    std::string newcomer = visit("");
    auto_ptr_t<i_http_session> first(capped->find_session(returning[0].c_str(), false, nullptr));
    auto_ptr_t<i_http_session> last(capped->find_session(returning.back().c_str(), false, nullptr));
    EXPECT_FALSE(first);
    EXPECT_TRUE(last);
}
