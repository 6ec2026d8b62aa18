// http_standards_test.cpp --
//
//     What real clients and RFC 9110 / RFC 9112 expect of the web
//     server, asked through a real socket of a server bound on
//     127.0.0.1: HEAD without a body, byte ranges, Accept-Encoding
//     weights, the request line (zero bytes, methods, versions, long
//     targets and queries), the limits of the head and the body, line
//     ends, header syntax, chunked request bodies for pages and uploads,
//     the obsolete date forms of conditional requests, redirects of
//     folders, heads that describe the body really sent, gzip copies of
//     files sent for deletion and log lines that stay lines.

#include <kiv/http/i_http_request.h>

#include "../core/net_peer.h"
#include "../core/test_util.h"
#include "http_site_requests.h"

#include <dirent.h>
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <cstdio>
#include <mutex>

using namespace kiv;
using namespace kiv_test;

namespace {

class http_standards_test : public http_site_requests {
protected:
    void SetUp() override {
        http_site_requests::SetUp();
        put("1k.txt", text(1024));
    }
};

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Returns: the names in a folder, without "." and "..".
std::vector<std::string> folder_names(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr)
        return names;
    while (dirent* entry = readdir(dir))
        if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
            names.push_back(entry->d_name);
    closedir(dir);
    return names;
}

}  // namespace

TEST_F(http_standards_test, head_answers_never_carry_a_body) {
    put("p.html", text(600));
    struct row {
        const char* page;
        int status;
        const char* length;  // the Content-Length GET would have
    };
    const row rows[] = {
        {"/p.html", 200, "600"},
        {"/1k.txt", 200, "1024"},
        {"/missing.txt", 404, "13"},
        {"/missing.html", 404, "13"},
    };
    for (const row& r : rows) {
        response head = get(r.page, "", "HEAD");
        EXPECT_EQ(head.status, r.status) << r.page;
        EXPECT_EQ(head.headers["content-length"], r.length) << r.page;
        EXPECT_EQ(head.body, "") << r.page;
        // What GET gets is what the length said.
        EXPECT_EQ(std::to_string(get(r.page).body.size()), r.length) << r.page;
    }
    // Refused requests too.
    response refused = ask(port, "HEAD /1k.txt HTTP/9.9\r\n\r\n");
    EXPECT_EQ(refused.status, 505);
    EXPECT_EQ(refused.body, "");
}

TEST_F(http_standards_test, ranges_are_clamped_ignored_or_refused_as_the_standard_says) {
    struct row {
        const char* range;
        int status;
        const char* content_range;  // "" for none
        size_t first, size;         // of the body, within the file
    };
    const row rows[] = {
        {"bytes=0-5000", 206, "bytes 0-1023/1024", 0, 1024},
        {"bytes=1000-", 206, "bytes 1000-1023/1024", 1000, 24},
        {"bytes=-24", 206, "bytes 1000-1023/1024", 1000, 24},
        {"bytes=-5000", 206, "bytes 0-1023/1024", 0, 1024},
        {"bytes=abc", 200, "", 0, 1024},
        {"bytes=1-x", 200, "", 0, 1024},
        {"items=0-5", 200, "", 0, 1024},
        {"bytes=-0", 416, "bytes */1024", 0, 0},
        {"bytes=1024-", 416, "bytes */1024", 0, 0},
        {"bytes=5-2", 416, "bytes */1024", 0, 0},
    };
    for (const row& r : rows) {
        response a = get("/1k.txt", std::string("Range: ") + r.range + "\r\n");
        EXPECT_EQ(a.status, r.status) << r.range;
        EXPECT_EQ(a.headers["content-range"], r.content_range) << r.range;
        if (r.status != 416) {
            EXPECT_EQ(a.body, text(1024).substr(r.first, r.size)) << r.range;
        }
        EXPECT_EQ(a.headers["content-length"], std::to_string(a.body.size())) << r.range;
    }
}

TEST_F(http_standards_test, accept_encoding_is_read_per_coding_with_its_weight) {
    put("p.html", text(600));
    struct row {
        const char* accept;
        bool gzip;
    };
    const row rows[] = {
        {"gzip", true},
        {"gzip;q=0", false},
        {"gzip; q=0.000", false},
        {"gzip;q=0.001", true},
        {"deflate, gzip;q=0.5", true},
        {"identity, gzip;Q=0", false},
        {"*", true},
        {"*;q=0", false},
        {"gzip;q=0, *", false},
        {"br, *;q=0.2", true},
        {"br", false},
        {"gzipper", false},
        {"gzip;q=2", false},
    };
    for (const row& r : rows) {
        for (const char* page : {"/1k.txt", "/p.html"}) {
            response a = get(page, std::string("Accept-Encoding: ") + r.accept + "\r\n");
            EXPECT_EQ(a.status, 200) << r.accept << page;
            EXPECT_EQ(a.headers.count("content-encoding"), r.gzip ? 1u : 0u) << r.accept << page;
            EXPECT_EQ(a.body.compare(0, 2, "\x1f\x8b") == 0, r.gzip) << r.accept << page;
        }
    }
}

TEST_F(http_standards_test, request_lines_are_checked_whole) {
    struct row {
        std::string request;
        int status;
    };
    const std::string long_target = "/" + std::string(9000, 'x');
    const row rows[] = {
        {std::string("GET /1k.txt\0 HTTP/1.0\r\n\r\n", 25), 400},
        {std::string("GET /1k\0.txt HTTP/1.0\r\n\r\n", 25), 400},
        {"FOO /1k.txt HTTP/1.0\r\n\r\n", 501},
        {"DELETE /1k.txt HTTP/1.0\r\n\r\n", 501},
        {"TRACE /1k.txt HTTP/1.0\r\n\r\n", 501},
        {"OPTIONS * HTTP/1.1\r\nHost: site\r\n\r\n", 501},
        {"get /1k.txt HTTP/1.0\r\n\r\n", 501},
        {"GET /1k.txt HTTP/9.9\r\n\r\n", 505},
        {"GET /1k.txt HTTP/2.0\r\n\r\n", 505},
        {"GET /1k.txt HTTP/1.1\r\nHost: site\r\n\r\n", 200},
        {"GET /1k.txt HTTP/1.0\r\n\r\n", 200},
        {"GET /1k.txt HTTX/1.0\r\n\r\n", 400},
        {"GET /1k.txt\r\n\r\n", 400},
        {"GET /1k.txt HTTP/1.0 extra\r\n\r\n", 400},
        {"G(T /1k.txt HTTP/1.0\r\n\r\n", 400},
        {"GET /1k\x01.txt HTTP/1.0\r\n\r\n", 400},
        {"GET " + long_target + " HTTP/1.0\r\n\r\n", 414},
    };
    for (const row& r : rows) {
        response a = ask(port, r.request);
        EXPECT_EQ(a.status, r.status) << r.request.substr(0, 40);
        if (r.status != 200) {
            EXPECT_EQ(a.body, a.status_line.substr(9)) << r.request.substr(0, 40);
        }
    }
}

TEST_F(http_standards_test, long_queries_reach_the_page_whole) {
    put("q.html", "<? puts [string length [i_http_request_get_var_value $http_request q]] ?>");
    for (size_t length : {size_t(496), size_t(1000), size_t(8000)}) {
        response a = get("/q.html?q=" + std::string(length, 'v'));
        EXPECT_EQ(a.status, 200) << length;
        EXPECT_EQ(a.body, std::to_string(length));
    }
    // The access log keeps its short copy of the line.
    site->set_log_file("logs/site.log");
    folder("logs");
    get("/q.html?q=" + std::string(1000, 'v'));
    std::string log_path = session.root.file("logs/site.log");
    eventually([&] { return !read_all(log_path).empty(); });
    std::string log = read_all(log_path);
    EXPECT_NE(log.find("\"GET /q.html?q=vvv"), std::string::npos);
    EXPECT_EQ(log.find(std::string(1000, 'v')), std::string::npos);
}

TEST_F(http_standards_test, heads_and_bodies_over_their_limits_get_an_answer) {
    std::string many_headers;
    for (int i = 0; i < 70; ++i)
        many_headers += "X-Filler-" + std::to_string(i) + ": " + std::string(1000, 'f') + "\r\n";
    struct row {
        std::string request;
        int status;
    };
    const row rows[] = {
        {"GET /1k.txt HTTP/1.0\r\nX-Long: " + std::string(8200, 'l') + "\r\n\r\n", 431},
        {"GET /1k.txt HTTP/1.0\r\nX-Long: " + std::string(8000, 'l') + "\r\n\r\n", 200},
        {"GET /1k.txt HTTP/1.0\r\n" + many_headers + "\r\n", 431},
        {"POST /1k.txt HTTP/1.0\r\nContent-Length: 50000000\r\n\r\n", 413},
        {"POST /1k.txt HTTP/1.0\r\nContent-Length: 8388608\r\n\r\n", 413},
        {"POST /1k.txt HTTP/1.1\r\nHost: site\r\nTransfer-Encoding: chunked\r\n\r\n800000\r\n", 413},
    };
    for (const row& r : rows) {
        response a = ask(port, r.request);
        EXPECT_EQ(a.status, r.status) << r.request.substr(0, 60);
        if (r.status == 413) {
            EXPECT_EQ(a.body, "413 Content Too Large");
        }
    }
}

TEST_F(http_standards_test, line_ends_follow_the_message_syntax) {
    struct row {
        const char* request;
        int status;
    };
    const row rows[] = {
        {"GET /1k.txt HTTP/1.0\nHost: site\n\n", 200},
        {"GET /1k.txt HTTP/1.0\r\nHost: site\n\r\n", 200},
        {"\r\nGET /1k.txt HTTP/1.0\r\n\r\n", 200},
        {"\r\n\n\r\nGET /1k.txt HTTP/1.0\r\n\r\n", 200},
        // A lone CR is refused at once, while the connection stays open.
        {"GET /1k.txt HTTP/1.0\rHost: site\r\n", 400},
        {"GET /1k.txt\r HTTP/1.0\r\n\r\n", 400},
    };
    for (const row& r : rows) {
        response a = ask(port, r.request);
        EXPECT_EQ(a.status, r.status) << r.request;
        if (r.status == 200) {
            EXPECT_EQ(a.body, text(1024));
        }
    }
}

TEST_F(http_standards_test, header_lines_follow_the_field_syntax) {
    struct row {
        const char* request;
        int status;
    };
    const row rows[] = {
        {"POST /1k.txt HTTP/1.0\r\nContent-Length : 5\r\n\r\nhello", 400},
        {"POST /1k.txt HTTP/1.1\r\nHost: site\r\nTransfer-Encoding :chunked\r\n\r\n0\r\n\r\n", 400},
        {"GET /1k.txt HTTP/1.0\r\nX-Name\t: v\r\n\r\n", 400},
        {"GET /1k.txt HTTP/1.0\r\nX-A: 1\r\n folded\r\n\r\n", 400},
        {"GET /1k.txt HTTP/1.0\r\n: empty name\r\n\r\n", 400},
        {"POST /1k.txt HTTP/1.1\r\nHost: site\r\nTransfer-Encoding: gzip, chunked\r\n\r\n0\r\n\r\n", 501},
        {"POST /1k.txt HTTP/1.0\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 400},
        {"POST /1k.txt HTTP/1.1\r\nHost: site\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", 400},
        {"POST /1k.txt HTTP/1.1\r\nHost: site\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcd\r\n", 400},
        {"POST /1k.txt HTTP/1.1\r\nHost: site\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n", 200},
        {"GET /1k.txt HTTP/1.0\r\nX-Value-With-Colons: a:b:c\r\n\r\n", 200},
    };
    for (const row& r : rows)
        EXPECT_EQ(ask(port, r.request).status, r.status) << r.request;
}

TEST_F(http_standards_test, chunked_bodies_reach_pages_and_uploads) {
    put("form.html", "<? puts [i_http_request_get_var_value $http_request a]/[i_http_request_get_var_value "
                     "$http_request b] ?>");
    put("up.html", "<? set f [i_http_request_get_file $http_request f]\n"
                   "puts [i_http_file_data_get_file_name $f]:[i_http_file_data_get_text_contents $f] ?>");
    struct row {
        const char* page;
        const char* type;
        std::string chunks;
        const char* body;
    };
    std::string multipart =
        "--XB\r\nContent-Disposition: form-data; name=\"f\"; filename=\"n.txt\"\r\nContent-Type: text/plain\r\n\r\n"
        "file text\r\n--XB--\r\n";
    char size_hex[16];
    std::snprintf(size_hex, sizeof size_hex, "%zx", multipart.size() - 10);
    const row rows[] = {
        {"/form.html", "application/x-www-form-urlencoded", "3\r\na=1\r\n4;ext=1\r\n&b=2\r\n0\r\n\r\n", "1/2"},
        {"/form.html", "application/x-www-form-urlencoded", "3\r\na=1\r\n4\r\n&b=2\r\n0\r\nX-Trailer: t\r\n\r\n",
         "1/2"},
        {"/up.html", "multipart/form-data; boundary=XB",
         std::string(size_hex) + "\r\n" + multipart.substr(0, multipart.size() - 10) + "\r\nA\r\n" +
             multipart.substr(multipart.size() - 10) + "\r\n0\r\n\r\n",
         "n.txt:file text"},
    };
    for (const row& r : rows) {
        response a = ask(port, std::string("POST ") + r.page + " HTTP/1.1\r\nHost: site\r\nContent-Type: " + r.type +
                                   "\r\nTransfer-Encoding: chunked\r\n\r\n" + r.chunks);
        EXPECT_EQ(a.status, 200) << r.chunks;
        EXPECT_EQ(a.body, r.body) << r.chunks;
    }
}

TEST_F(http_standards_test, if_modified_since_is_read_in_all_three_date_forms) {
    std::string path = root + "/1k.txt";
    struct utimbuf times = {784111777, 784111777};  // Sun, 06 Nov 1994 08:49:37 GMT
    ASSERT_EQ(utime(path.c_str(), &times), 0);
    struct row {
        const char* date;
        int status;
    };
    const row rows[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 304},
        {"Sunday, 06-Nov-94 08:49:37 GMT", 304},
        {"Sun Nov  6 08:49:37 1994", 304},
        {"Sunday, 06-Nov-94 08:49:38 GMT", 200},
        {"Sun Nov  6 08:49:36 1994", 200},
    };
    for (const row& r : rows) {
        response a = get("/1k.txt", std::string("If-Modified-Since: ") + r.date + "\r\n");
        EXPECT_EQ(a.status, r.status) << r.date;
    }
}

TEST_F(http_standards_test, folders_redirect_to_one_path_with_single_slashes) {
    folder("www/sub");
    folder("www/sub/deeper");
    struct row {
        const char* page;
        const char* location;
    };
    const row rows[] = {
        {"/sub", "/sub/"},
        {"//sub", "/sub/"},
        {"///sub//deeper", "/sub/deeper/"},
    };
    for (const row& r : rows) {
        response a = get(r.page);
        EXPECT_EQ(a.status, 301) << r.page;
        EXPECT_EQ(a.headers["location"], r.location) << r.page;
    }
}

TEST_F(http_standards_test, the_head_describes_the_body_really_sent) {
    struct row {
        const char* page;
        int status;
        const char* body;
    };
    const row rows[] = {
        {"<? i_http_request_set_response_code $http_request {404 Not Found}\n"
         "i_http_request_send_text $http_request hello 0\ni_http_request_send_text $http_request { world} 0\n"
         "i_http_request_stop $http_request ?>",
         404, "hello world"},
        {"<? i_http_request_send_text $http_request streamed 0\ni_http_request_stop $http_request ?>", 200,
         "streamed"},
        {"<? i_http_request_send_header $http_request Content-Length 99\n"
         "i_http_request_send_text $http_request short 1 ?>",
         200, "short"},
        {"<? i_http_request_set_response_code $http_request {302 Found}\ni_http_request_stop $http_request ?>",
         302, ""},
    };
    for (const row& r : rows) {
        put("s.html", r.page);
        response a = get("/s.html");
        EXPECT_EQ(a.status, r.status) << r.page;
        EXPECT_EQ(a.body, r.body) << r.page;
        EXPECT_EQ(a.headers["content-length"], std::to_string(a.body.size())) << r.page;
    }
}

TEST_F(http_standards_test, gzip_copies_of_files_sent_for_deletion_are_not_kept) {
    put("send.html", "<? i_http_request_send_file $http_request $http_doc_root/gen.txt 1 ?>");
    std::string copies = temp.path() + "/http";
    size_t before = folder_names(copies).size();
    for (int i = 0; i < 3; ++i) {
        put("gen.txt", text(2000));
        response a = get("/send.html", "Accept-Encoding: gzip\r\n");
        EXPECT_EQ(a.status, 200);
        EXPECT_EQ(a.headers["content-encoding"], "gzip");
        eventually([&] { return !exists(root + "/gen.txt"); });
        eventually([&] { return folder_names(copies).size() == before; });
    }
}

TEST_F(http_standards_test, control_characters_never_break_a_log_line) {
    site->set_log_file("logs/site.log");
    folder("logs");
    get("/1k.txt", "User-Agent: evil\x1b[31m\x01\"agent\\\r\nReferer: a\x7f\"b\r\n");
    ask(port, "GET /a\x01\x1b" "b HTTP/1.0\r\n\r\n");
    std::string access = session.root.file("logs/site.log");
    std::string errors = session.root.file("logs/http_error.log");
    eventually([&] { return !read_all(access).empty(); });
    eventually([&] { return read_all(errors).find("process error") != std::string::npos; });
    std::string line = read_all(access);
    EXPECT_EQ(std::count(line.begin(), line.end(), '\n'), 1) << line;
    EXPECT_NE(line.find("\"a\\x7F\\x22b\" \"evil\\x1B[31m\\x01\\x22agent\\x5C\""), std::string::npos) << line;
    std::string error = read_all(errors);
    EXPECT_NE(error.find("URL: 'GET /a\\x01\\x1Bb HTTP/1.0'"), std::string::npos) << error;
    for (char c : error)
        EXPECT_TRUE(c == '\n' || (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)) << int(c);
}

namespace {

// Answers "/bg" with what bg_task says while the request is processed,
// and keeps the request for the test.
class bg_handler : public kiv::object {
public:
    explicit bg_handler(kiv::i_http_service* http) : http_(http) {
        kiv_install_handler("KIV_EVT_HTTP_PAGE_REQUEST", 0, this,
                            static_cast<kiv::kiv_event_function>(&bg_handler::on_page));
    }
    ~bg_handler() override {
        kiv_uninstall_handler("KIV_EVT_HTTP_PAGE_REQUEST", 0, this,
                              static_cast<kiv::kiv_event_function>(&bg_handler::on_page));
    }
    bool on_page(kiv::i_event* event) {
        auto_ptr_t<kiv::i_object> payload(event->get_event_object());
        kiv::i_http_request* r = kiv_cast_i_http_request(payload);
        if (r == nullptr || std::string(r->get_request_page()) != "/bg")
            return true;
        std::string text = std::to_string(r->bg_task(nullptr)) + " " + std::to_string(r->bg_task(http_));
        std::lock_guard<std::mutex> hold(lock_);
        kept_ = payload;
        r->send_text(text.c_str(), true);
        return true;
    }
    auto_ptr_t<kiv::i_object> kept() {
        std::lock_guard<std::mutex> hold(lock_);
        return kept_;
    }

private:
    kiv::i_http_service* http_;
    std::mutex lock_;
    auto_ptr_t<kiv::i_object> kept_;
};

}  // namespace

TEST_F(http_standards_test, bg_task_steps_a_connection_and_reports_its_end) {
    folder("logs");
    auto_ptr_t<bg_handler> handler(new bg_handler(http));
    handler->addref();
    // While processing nothing happens: a null service is refused.
    EXPECT_EQ(get("/bg").body, "0 1");
    auto_ptr_t<kiv::i_object> kept = handler->kept();
    kiv::i_http_request* request = kiv_cast_i_http_request(kept);
    ASSERT_NE(request, nullptr);
    eventually([&] { return !request->is_connected(); });
    EXPECT_FALSE(request->bg_task(http));
    EXPECT_NE(read_all(session.root.file("logs/http_error.log")).find("'GET /bg HTTP/1.1'; unknown mode error"),
              std::string::npos);
}
