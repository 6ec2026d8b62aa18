// http_serve_test.cpp --
//
//     The http_serve tool as a separate process, driven by real clients
//     (curl and Python's http.client, skipped when not installed): it
//     starts, serves a folder, and shuts down cleanly on SIGTERM.

#include "../core/net_peer.h"
#include "../core/test_util.h"
#include "serve_process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

using kiv_test::server_process;

bool have(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command. Returns: its standard output.
std::string run(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr)
        return "<no shell>";
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    pclose(p);
    return out;
}

}  // namespace

TEST(http_serve, serves_a_folder_to_curl_and_python_and_stops_on_sigterm) {
    kiv_test::temp_dir root;
    std::ofstream(root.file("a.txt")) << std::string(100, 'a');
    std::ofstream(root.file("text.txt")) << std::string(5000, 't');
    uint16_t port = kiv_test::free_port();
    ASSERT_NE(port, 0);
    server_process server(root.path(), port);
    ASSERT_EQ(server.first_line(), "listening on 127.0.0.1:" + std::to_string(port));
    std::string base = "http://127.0.0.1:" + std::to_string(port);
    if (have("curl")) {
        EXPECT_EQ(run("curl -s " + base + "/a.txt"), std::string(100, 'a'));
        EXPECT_EQ(run("curl -s -o /dev/null -w '%{http_code} %{size_download}' -r 0-9 " + base + "/a.txt"), "206 10");
        EXPECT_EQ(run("curl -s --compressed " + base + "/text.txt"), std::string(5000, 't'));
        EXPECT_EQ(run("curl -s -o /dev/null -w '%{http_code}' " + base + "/missing"), "404");
    }
    if (have("python3")) {
        std::string script =
            "import http.client\n"
            "c = http.client.HTTPConnection('127.0.0.1', " + std::to_string(port) + ")\n"
            "c.request('HEAD', '/a.txt')\n"
            "r = c.getresponse()\n"
            "print(r.status, r.getheader('Content-Length'), len(r.read()))\n";
        std::ofstream(root.file("client.py")) << script;
        EXPECT_EQ(run("python3 " + root.file("client.py")), "200 100 0\n");
    }
    EXPECT_EQ(server.stop(), 0);
    kiv_test::fd_holder refused(kiv_test::connect_tcp(port));
    EXPECT_LT(refused.get(), 0);
}

TEST(http_serve, curl_gets_the_answers_the_http_standards_ask_for) {
    if (!have("curl"))
        GTEST_SKIP() << "curl is not installed";
    kiv_test::temp_dir root;
    std::ofstream(root.file("1k.txt")) << std::string(1024, 'k');
    std::system(("mkdir -p '" + root.file("sub") + "'").c_str());
    std::ofstream(root.file("body.txt")) << std::string(3000, 'b');
    uint16_t port = kiv_test::free_port();
    ASSERT_NE(port, 0);
    server_process server(root.path(), port);
    ASSERT_EQ(server.first_line(), "listening on 127.0.0.1:" + std::to_string(port));
    std::string base = "http://127.0.0.1:" + std::to_string(port);
    const std::string status = " -s -o /dev/null -w '%{http_code} %{size_download}' ";
    struct row {
        std::string options;
        std::string expected;
    };
    const row rows[] = {
        {status + "-r 0-5000 " + base + "/1k.txt", "206 1024"},
        {status + "-H 'Range: bytes=abc' " + base + "/1k.txt", "200 1024"},
        {status + "-H 'Range: items=0-5' " + base + "/1k.txt", "200 1024"},
        {status + "-H 'Range: bytes=-0' " + base + "/1k.txt", "416 35"},
        {status + "-X DELETE " + base + "/1k.txt", "501 19"},
        {status + "--http1.0 -H 'Accept-Encoding: gzip;q=0' " + base + "/body.txt", "200 3000"},
        {status + "-H 'Transfer-Encoding: chunked' --data-binary @" + root.file("body.txt") + " " + base + "/1k.txt",
         "200 1024"},
        {status + "-H 'X-Long: " + std::string(9000, 'l') + "' " + base + "/1k.txt", "431 35"},
        {status + base + "/" + std::string(9000, 'u'), "414 16"},
        {" -s -o /dev/null -w '%{http_code} %{redirect_url}' --path-as-is " + base + "//sub", "301 " + base + "/sub/"},
        {" -s -I -w '%{size_download}' " + base + "/missing -o /dev/null", "0"},
    };
    for (const row& r : rows)
        EXPECT_EQ(run("curl" + r.options), r.expected) << r.options.substr(0, 120);
    EXPECT_EQ(server.stop(), 0);
}
