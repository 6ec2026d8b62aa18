// http_serve_test.cpp --
//
//     The http_serve tool as a separate process, driven by real clients
//     (curl and Python's http.client, skipped when not installed): it
//     starts (or says why it cannot), serves a folder, keeps its logs,
//     and shuts down cleanly on SIGTERM.

#include "../core/net_peer.h"
#include "../core/test_util.h"
#include "http_exchange.h"
#include "serve_process.h"

#include <gtest/gtest.h>
#include <kiv_test/run_command.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>
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
        EXPECT_EQ(run("python3 " + kiv_test::shell_quoted(root.file("client.py"))), "200 100 0\n");
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
    std::system(("mkdir -p " + kiv_test::shell_quoted(root.file("sub"))).c_str());
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
        {status + "-H 'Transfer-Encoding: chunked' --data-binary @" + kiv_test::shell_quoted(root.file("body.txt")) + " " + base + "/1k.txt",
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

TEST(http_serve, curl_is_told_to_go_on_gets_gzip_heads_and_whole_answers_to_range_lists) {
    if (!have("curl"))
        GTEST_SKIP() << "curl is not installed";
    kiv_test::temp_dir root;
    std::ofstream(root.file("a.txt")) << std::string(100, 'a');
    std::ofstream(root.file("text.txt")) << std::string(5000, 't');
    std::ofstream(root.file("up.bin")) << std::string(2 << 20, 'u');
    std::ofstream(root.file("big.bin")) << std::string(9 << 20, 'b');
    uint16_t port = kiv_test::free_port();
    ASSERT_NE(port, 0);
    server_process server(root.path(), port);
    ASSERT_EQ(server.first_line(), "listening on 127.0.0.1:" + std::to_string(port));
    std::string base = "http://127.0.0.1:" + std::to_string(port);
    // curl waits for "100 Continue" as long as it is told to: the upload
    // goes once the server says so, a refused one never goes.
    const std::string expect = " -H 'Expect: 100-continue' --expect100-timeout 120 ";
    std::string trace = run("curl -sv -o /dev/null" + expect + "--data-binary @" + kiv_test::shell_quoted(root.file("up.bin")) + " " + base +
                            "/a.txt 2>&1");
    EXPECT_NE(trace.find("< HTTP/1.1 100 Continue"), std::string::npos) << trace;
    EXPECT_NE(trace.find("< HTTP/1.0 200 OK"), std::string::npos) << trace;
    EXPECT_EQ(run("curl -s -o /dev/null -w '%{http_code} %{size_upload}'" + expect + "--data-binary @" +
                  kiv_test::shell_quoted(root.file("big.bin")) + " " + base + "/a.txt"),
              "413 0");
    // HEAD shows what GET would send: gzip and the gzipped length.
    std::string gzip_length =
        run("curl -s -o /dev/null -w '%{size_download}' -H 'Accept-Encoding: gzip' " + base + "/text.txt");
    std::string head = run("curl -sI -H 'Accept-Encoding: gzip' " + base + "/text.txt");
    EXPECT_NE(head.find("Content-Encoding: gzip\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("Content-Length: " + gzip_length + "\r\n"), std::string::npos) << gzip_length << head;
    EXPECT_NE(head.find("Vary: Accept-Encoding\r\n"), std::string::npos) << head;
    EXPECT_EQ(run("curl -s -o /dev/null -w '%{http_code} %{size_download}' -r 0-9,20-29 " + base + "/a.txt"),
              "200 100");
    EXPECT_EQ(server.stop(), 0);
}

TEST(http_serve, keeps_its_logs_in_its_state_folder) {
    kiv_test::temp_dir root;
    std::ofstream(root.file("a.txt")) << std::string(100, 'a');
    uint16_t port = kiv_test::free_port();
    ASSERT_NE(port, 0);
    server_process server(root.path(), port);
    ASSERT_EQ(server.first_line(), "listening on 127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(kiv_test::ask(port, "GET /a.txt HTTP/1.0\r\n\r\n").status, 200);
    EXPECT_EQ(kiv_test::ask(port, "GET /none.txt HTTP/1.0\r\n\r\n").status, 404);
    EXPECT_EQ(server.stop(), 0);
    // They stay after the server ended.
    std::string access = kiv_test::read_all(server.log_dir() + "/access.log");
    EXPECT_NE(access.find("\"GET /a.txt HTTP/1.0\" 200 100"), std::string::npos) << access;
    EXPECT_NE(access.find("\"GET /none.txt HTTP/1.0\" 404 13"), std::string::npos) << access;
    std::string errors = kiv_test::read_all(server.log_dir() + "/http_error.log");
    EXPECT_NE(errors.find("'GET /none.txt HTTP/1.0'; File not found - "), std::string::npos) << errors;
}

TEST(http_serve, relative_state_and_log_paths_are_taken_from_the_folder_it_starts_in) {
    kiv_test::temp_dir root;
    std::ofstream(root.file("a.txt")) << "a";
    uint16_t port = kiv_test::free_port();
    ASSERT_NE(port, 0);
    server_process server(root.path(), port, 0, {"--state", "st", "--access-log", "mine.log"}, root.path());
    ASSERT_EQ(server.first_line(), "listening on 127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(kiv_test::ask(port, "GET /a.txt HTTP/1.0\r\n\r\n").status, 200);
    EXPECT_EQ(kiv_test::ask(port, "GET /none.txt HTTP/1.0\r\n\r\n").status, 404);
    EXPECT_EQ(server.stop(), 0);
    std::string access = kiv_test::read_all(root.file("mine.log"));
    EXPECT_NE(access.find("\"GET /a.txt HTTP/1.0\" 200 1"), std::string::npos) << access;
    std::string errors = kiv_test::read_all(root.file("st/logs/http_error.log"));
    EXPECT_NE(errors.find("'GET /none.txt HTTP/1.0'; File not found - "), std::string::npos) << errors;
}

TEST(http_serve, a_log_it_cannot_write_is_said_once_on_stderr) {
    kiv_test::temp_dir root;
    std::ofstream(root.file("a.txt")) << "a";
    // A file where the state folder should be: no log can be written.
    std::ofstream(root.file("state")) << "not a folder";
    uint16_t port = kiv_test::free_port();
    ASSERT_NE(port, 0);
    std::string err = root.file("stderr.txt");
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t pid = fork();
    if (pid == 0) {
        int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(err_fd, 2);
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        std::string port_text = std::to_string(port);
        execl(KIV_BIN_DIR "/http_serve", "http_serve", "--root", root.path().c_str(), "--port", port_text.c_str(),
              "--state", root.file("state").c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string first_line;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        first_line += c;
    close(out[0]);
    ASSERT_EQ(first_line, "listening on 127.0.0.1:" + std::to_string(port));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(kiv_test::ask(port, "GET /a.txt HTTP/1.0\r\n\r\n").status, 200);
        EXPECT_EQ(kiv_test::ask(port, "GET /none.txt HTTP/1.0\r\n\r\n").status, 404);
    }
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    std::string said = kiv_test::read_all(err);
    std::string logs = root.file("state") + "/logs";
    EXPECT_NE(said.find("http_serve: cannot make the log folder " + logs), std::string::npos) << said;
    for (const std::string& log : {logs + "/http_error.log", logs + "/access.log"}) {
        std::string line = "kiv_http: cannot write the log " + log + ": ";
        size_t first = said.find(line);
        EXPECT_NE(first, std::string::npos) << said;
        EXPECT_EQ(said.find(line, first + 1), std::string::npos) << said;
    }
}

// --help prints the usage on stdout and ends with 0; a wrong command
// line gets it on stderr with 2; a start that fails says why, as a port
// another program holds does with the system's reason.
TEST(http_serve, says_its_usage_and_why_a_start_failed) {
    kiv_test::temp_dir root;
    uint16_t port = kiv_test::free_port();
    ASSERT_NE(port, 0);
    kiv_test::fd_holder holder(kiv_test::listen_tcp(port, 1));
    ASSERT_GE(holder.get(), 0);
    std::string held_port = std::to_string(port);
    const std::string usage = "usage: http_serve --root DIR --port N";
    struct row {
        std::string args;
        int status;
        std::string out;     // what stdout begins with
        std::string err;     // what stderr holds
        std::string tmpdir;  // its TMPDIR ("": the test's own)
    };
    const std::string no_folder = root.file("none");
    const std::string root_args = "--root " + kiv_test::shell_quoted(root.path());
    const row rows[] = {
        {"--help", 0, usage, "", ""},
        {root_args, 2, "", usage, ""},
        // Its work folder goes under TMPDIR, made before the port is
        // taken.
        {root_args + " --port " + held_port, 1, "",
         "http_serve: cannot make a folder in " + no_folder + ": " + std::strerror(ENOENT) + "\n", no_folder},
        {root_args + " --port " + held_port, 1, "",
         "http_serve: cannot serve " + root.path() + " on 127.0.0.1:" + held_port + ": ", ""},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.args);
        std::string err = root.file("stderr.txt");
        std::string out;
        std::string tmpdir = r.tmpdir.empty() ? "" : "TMPDIR=" + kiv_test::shell_quoted(r.tmpdir) + " ";
        int status = kiv_test::run_command(tmpdir + "XDG_STATE_HOME=" + kiv_test::shell_quoted(root.file("state")) +
                                               " " + kiv_test::shell_quoted(KIV_BIN_DIR "/http_serve") + " " + r.args +
                                               " 2>" + kiv_test::shell_quoted(err),
                                           &out);
        std::string said = kiv_test::read_all(err);
        EXPECT_EQ(status, r.status) << said;
        EXPECT_EQ(out.compare(0, r.out.size(), r.out), 0) << out;
        if (r.err.empty())
            EXPECT_EQ(said, "");
        else
            EXPECT_NE(said.find(r.err), std::string::npos) << said;
    }
    // The reason is the system's own.
    std::string said = kiv_test::read_all(root.file("stderr.txt"));
    EXPECT_NE(said.find(std::strerror(EADDRINUSE)), std::string::npos) << said;
}

// The configuration it loads its libraries by is written to a folder of
// its own under TMPDIR and removed as soon as it is read: a server that
// serves has none, so one killed then leaves nothing there but the
// framework's own folder of the account (kiv-UID).
TEST(http_serve, its_work_folder_is_gone_once_it_serves_so_a_killed_server_leaves_none) {
    kiv_test::temp_dir root;
    kiv_test::temp_dir tmp;
    std::ofstream(root.file("a.txt")) << "a";
    uint16_t port = kiv_test::free_port();
    ASSERT_NE(port, 0);
    server_process server(root.path(), port, 0, {}, "", "", tmp.path());
    ASSERT_EQ(server.first_line(), "listening on 127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(kiv_test::ask(port, "GET /a.txt HTTP/1.0\r\n\r\n").status, 200);
    const std::set<std::string> own = {"kiv-" + std::to_string(geteuid())};
    EXPECT_EQ(kiv_test::names_in(tmp.path()), own);
    ASSERT_EQ(kill(server.pid(), SIGKILL), 0);
    EXPECT_EQ(server.stop(), 128 + SIGKILL);
    EXPECT_EQ(kiv_test::names_in(tmp.path()), own);
}
