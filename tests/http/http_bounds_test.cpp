// http_bounds_test.cpp --
//
//     What a client can make http_serve keep or write, tried as a client
//     would over a socket: the spellings of a file's path share its one
//     gzip copy, its one compiled page and its one pack file; a request
//     of too many variables is refused before they are kept; and a
//     client's texts cannot make a log line longer than its cap.

#include "../core/net_peer.h"
#include "../core/test_util.h"
#include "http_exchange.h"
#include "serve_process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace kiv_test;

namespace {

// Returns: the files under `dir` whose names end in `suffix`.
size_t files_ending_in(const std::string& dir, const std::string& suffix) {
    size_t count = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, ec)) {
        std::string name = entry.path().filename().string();
        if (entry.is_regular_file() && name.size() >= suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            ++count;
    }
    return count;
}

// http_serve on a folder of the test, with a TMPDIR of its own (where
// its gzip copies and pack files go).
struct served_site {
    temp_dir root;
    temp_dir tmp;
    uint16_t port = free_port();
    std::unique_ptr<server_process> server;

    void start() {
        server.reset(new server_process(root.path(), port, 0, {}, "", "", tmp.path()));
        ASSERT_EQ(server->first_line(), "listening on 127.0.0.1:" + std::to_string(port));
    }
    void put(const std::string& name, const std::string& text) {
        std::ofstream(root.file(name), std::ios::binary) << text;
    }
    response get(const std::string& target, const std::string& headers = "") {
        return ask(port, "GET " + target + " HTTP/1.0\r\nHost: a\r\n" + headers + "\r\n");
    }
    std::string error_log() const { return server->log_dir() + "/http_error.log"; }
    std::string access_log() const { return server->log_dir() + "/access.log"; }
};

// Text that gzip cannot shrink below the size of a held copy.
std::string noisy_text(size_t lines) {
    std::string text;
    for (unsigned i = 0, x = 7; i < lines; ++i) {
        x = x * 1103515245u + 12345u;
        text += std::to_string(x) + "\n";
    }
    return text;
}

}  // namespace

TEST(http_bounds, spellings_of_a_file_share_its_one_gzip_copy_and_a_page_sees_one_form) {
    served_site s;
    const std::string text = noisy_text(20000);
    s.put("big.txt", text);
    ASSERT_EQ(symlink("big.txt", s.root.file("link.txt").c_str()), 0);
    ASSERT_EQ(mkdir(s.root.file("sub").c_str(), 0755), 0);
    s.put("sub/index.html", "index");
    s.put("me.html", "<? puts [i_http_request_get_request_page $http_request] ?>");
    ASSERT_NO_FATAL_FAILURE(s.start());
    const std::string gzip = "Accept-Encoding: gzip\r\n";
    for (const char* spelling : {"/big.txt", "//big.txt", "/./big.txt", "/.//big.txt", "///./big.txt",
                                 "/%2F/big.txt", "/.%2Fbig.txt", "/link.txt", "//.//link.txt"}) {
        response r = s.get(spelling, gzip);
        EXPECT_EQ(r.status, 200) << spelling;
        EXPECT_EQ(gunzip(r.body), text) << spelling;
    }
    EXPECT_EQ(files_ending_in(s.tmp.path(), ".gz"), 1u);

    struct row {
        const char* target;
        int status;
        std::string seen;  // the body, or the Location of a redirection
    };
    const row rows[] = {
        {"/me.html", 200, "/me.html"},          {"//me.html", 200, "/me.html"},
        {"/./me.html", 200, "/me.html"},        {"/.//./me.html?x=1", 200, "/me.html"},
        {"//sub", 301, "/sub/"},                {"/./sub", 301, "/sub/"},
        {"/sub/.", 200, "index"},               {"/sub/./", 200, "index"},
        {"/sub/../big.txt", 400, "400 Bad Request"},
    };
    for (const row& r : rows) {
        response a = s.get(r.target);
        EXPECT_EQ(a.status, r.status) << r.target;
        EXPECT_EQ(a.status == 301 ? a.headers["location"] : a.body, r.seen) << r.target;
    }
}

// The page includes one file under three spellings, and between the
// first and the others rewrites it in place under its old size and
// times: only a second cache entry would read the new text.
TEST(http_bounds, a_page_included_under_many_spellings_is_compiled_once) {
    served_site s;
    s.put("part.html", "A");
    s.put("main.html",
          "<? include $http_doc_root/part.html\n"
          "set path $http_doc_root/part.html\n"
          "set f [open $path r+]\n"
          "::puts -nonewline $f B\n"
          "close $f\n"
          "file mtime $path 1000000000\n"
          "include $http_doc_root//part.html\n"
          "include $http_doc_root/./part.html\n"
          "include $http_doc_root/.//./part.html ?>");
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, s.root.file("part.html").c_str(), times, 0), 0);
    ASSERT_NO_FATAL_FAILURE(s.start());
    EXPECT_EQ(s.get("/main.html").body, "AAAA");
}

TEST(http_bounds, spellings_of_a_pack_configuration_share_one_pack_file_and_copy) {
    served_site s;
    std::string script;
    for (int i = 0; i < 200; ++i)
        script += "function f" + std::to_string(i) + "(a) { return a + " + std::to_string(i) + "; }\n";
    s.put("app.js", script);
    s.put("app.pack-js.cfg", "app.js\n");
    // A link that leads back to its own folder gives the configuration
    // endless names.
    ASSERT_EQ(symlink(".", s.root.file("loop").c_str()), 0);
    ASSERT_NO_FATAL_FAILURE(s.start());
    for (const char* c : {"app", "./app", ".//app", "/app", "//./app", "././/app", "%2F%2Fapp", "loop/app",
                          "loop/loop/./app"}) {
        response r = s.get(std::string("/pack.js?u=1&c=") + c, "Accept-Encoding: gzip\r\n");
        EXPECT_EQ(r.status, 200) << c;
        EXPECT_EQ(gunzip(r.body), script) << c;
    }
    EXPECT_EQ(files_ending_in(s.tmp.path(), ".cfg"), 1u);
    EXPECT_EQ(files_ending_in(s.tmp.path(), ".gz"), 1u);
}

// Query, urlencoded body and multipart fields count together; 10,000
// pass, one more is refused with 413 and one error-log line.
TEST(http_bounds, a_request_of_too_many_variables_is_refused_before_they_are_kept) {
    served_site s;
    s.put("vars.html", "<? puts [i_http_request_get_var_value $http_request q0][i_http_request_get_var_value "
                       "$http_request last] ?>");
    s.put("vars.txt", "vars");
    ASSERT_NO_FATAL_FAILURE(s.start());
    auto pairs = [](const char* prefix, int n, const char* separator) {
        std::string text;
        for (int i = 0; i < n; ++i)
            text += std::string(i > 0 ? separator : "") + prefix + std::to_string(i) + "=1";
        return text;
    };
    auto multipart = [](int n) {
        std::string body;
        for (int i = 0; i < n; ++i)
            body += "--B\r\nContent-Disposition: form-data; name=\"" + (i + 1 < n ? "m" + std::to_string(i) : "last") +
                    "\"\r\n\r\nok\r\n";
        return body + "--B--\r\n";
    };
    struct row {
        int query;          // variables in the query
        int form;           // urlencoded variables in the body, "last" among them
        int fields;         // multipart fields, "last" among them
        int status;
    };
    const row rows[] = {
        {0, 10000, 0, 200}, {0, 10001, 0, 413}, {900, 9100, 0, 200}, {900, 9101, 0, 413},
        {0, 0, 10000, 200}, {0, 0, 10001, 413}, {900, 0, 9100, 200}, {900, 0, 9101, 413},
    };
    size_t refusals = 0;
    for (const row& r : rows) {
        SCOPED_TRACE(std::to_string(r.query) + " " + std::to_string(r.form) + " " + std::to_string(r.fields));
        std::string target = "/vars.html" + (r.query > 0 ? "?" + pairs("q", r.query, "&") : "");
        std::string body, type;
        if (r.form > 0) {
            body = pairs("f", r.form - 1, "&") + (r.form > 1 ? "&" : "") + "last=ok";
            type = "application/x-www-form-urlencoded";
        } else {
            body = multipart(r.fields);
            type = "multipart/form-data; boundary=B";
        }
        response a = ask(s.port, "POST " + target + " HTTP/1.0\r\nHost: a\r\nContent-Type: " + type +
                                     "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
        EXPECT_EQ(a.status, r.status);
        if (r.status == 200)
            EXPECT_EQ(a.body, std::string(r.query > 0 ? "1" : "") + "ok");
        else
            ++refusals;
    }
    // A static file is refused alike.
    std::string body = pairs("f", 10001, "&");
    EXPECT_EQ(ask(s.port, "POST /vars.txt HTTP/1.0\r\nContent-Type: application/x-www-form-urlencoded\r\n"
                          "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body)
                  .status,
              413);
    ++refusals;
    size_t lines = 0;
    for (const std::string& line : lines_of(s.error_log()))
        lines += line.find("; process error: more than 10000 variables") != std::string::npos ? 1 : 0;
    EXPECT_EQ(lines, refusals);
}

// Every byte of these texts is escaped as four in the logs.
TEST(http_bounds, a_client_cannot_make_a_log_line_longer_than_its_cap) {
    served_site s;
    ASSERT_NO_FATAL_FAILURE(s.start());
    const std::string quotes(8000, '"');
    response a = ask(s.port, "GET /" + quotes + " HTTP/1.0\r\nUser-Agent: " + quotes + "\r\nReferer: " + quotes +
                                 "\r\n\r\n");
    EXPECT_EQ(a.status, 404);
    // A plain line stays whole.
    EXPECT_EQ(s.get("/none.txt").status, 404);
    EXPECT_EQ(s.server->stop(), 0);
    struct row {
        std::string log;
        size_t max;  // with the line feed
    };
    for (const row& r : {row{s.error_log(), 2048}, row{s.access_log(), 4096}}) {
        std::vector<std::string> lines = lines_of(r.log);
        ASSERT_EQ(lines.size(), 2u) << r.log;
        EXPECT_LE(lines[0].size() + 1, r.max) << r.log;
        EXPECT_GT(lines[0].size() + 1, r.max / 2) << r.log;
        EXPECT_NE(lines[0].find("\\x22[...]"), std::string::npos) << r.log;
        EXPECT_EQ(lines[1].find("[...]"), std::string::npos) << lines[1];
        EXPECT_NE(lines[1].find("GET /none.txt HTTP/1.0"), std::string::npos) << lines[1];
    }
    EXPECT_NE(lines_of(s.error_log())[1].find("File not found - " + s.root.file("none.txt")), std::string::npos);
}
