// http_log_test.cpp --
//
//     The server's logs as http_serve keeps them, seen by real clients
//     over a socket: every answered request leaves one whole line, also
//     under many clients, after kill -9 and for an answer the stop cut
//     off; a log renamed, reopened on SIGHUP or whose folder appears only
//     later gets the lines that follow, and one that cannot be opened
//     again says so each time; pipes and devices take lines too; the
//     error log carries the texts of files that cannot be opened, invalid
//     gzip copies and request lines without a method or URL.

#include "../core/net_peer.h"
#include "../core/test_util.h"
#include "http_exchange.h"
#include "serve_process.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace kiv_test;

namespace {

const char* const body = "0123456789";

// Polls `done` every 10 ms until it holds.
void wait_for(const std::function<bool()>& done) {
    while (!done())
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

// Asks for the file "a.txt" with the query id=`id`. Returns: whether the
//     whole answer came.
bool get(uint16_t port, long id) {
    response r = ask(port, "GET /a.txt?id=" + std::to_string(id) + " HTTP/1.0\r\nHost: site\r\n\r\n");
    return r.status == 200 && r.body == body;
}

// Checks that every line of `lines` is one whole access-log line of a
// request made by get(). Returns: the ids of the lines, in order.
std::vector<long> ids_of(const std::vector<std::string>& lines) {
    static const std::regex whole(
        R"(127\.0\.0\.1 - - \[\d\d/[A-Z][a-z]{2}/\d{4}:\d\d:\d\d:\d\d \+0000\] "GET /a\.txt\?id=(\d+) HTTP/1\.0" 200 10 "" "")");
    std::vector<long> ids;
    size_t bad = 0;
    for (const std::string& line : lines) {
        std::smatch m;
        if (std::regex_match(line, m, whole))
            ids.push_back(std::stol(m[1]));
        else if (++bad <= 3)
            ADD_FAILURE() << "not one whole line: " << line;
    }
    EXPECT_EQ(bad, 0u);
    return ids;
}

// A site with the file a.txt, served by http_serve with its access log
// at `log` (relative to nothing: absolute) and its stderr in `err` (when
// given).
struct site {
    temp_dir root;
    uint16_t port = free_port();
    std::unique_ptr<server_process> server;
    explicit site(const std::string& log, const std::vector<std::string>& more = {}, const std::string& err = "") {
        std::ofstream(root.file("a.txt")) << body;
        std::vector<std::string> args = {"--access-log", log};
        args.insert(args.end(), more.begin(), more.end());
        server.reset(new server_process(root.path(), port, 0, args, "", err));
        EXPECT_EQ(server->first_line(), "listening on 127.0.0.1:" + std::to_string(port));
    }
};

// Returns: how often `text` occurs in the file `path`.
size_t count_in(const std::string& path, const std::string& text) {
    std::string all = read_all(path);
    size_t n = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size()))
        ++n;
    return n;
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Runs `clients` threads that each make get() requests with ids from
// their own range until `stop` is set or `each` requests were made.
// Returns: the ids answered whole.
std::set<long> run_clients(uint16_t port, int clients, long each, const std::atomic<bool>& stop,
                           std::atomic<long>* answered = nullptr) {
    std::vector<std::vector<long>> got(static_cast<size_t>(clients));
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&, c] {
            for (long k = 0; k < each && !stop.load(); ++k) {
                long id = c * 1000000L + k;
                if (get(port, id)) {
                    got[static_cast<size_t>(c)].push_back(id);
                    if (answered != nullptr)
                        answered->fetch_add(1);
                }
            }
        });
    for (std::thread& t : threads)
        t.join();
    std::set<long> all;
    for (const auto& ids : got)
        all.insert(ids.begin(), ids.end());
    return all;
}

}  // namespace

// 20,000 requests of 16 clients, and the same after kill -9: every
// answer has exactly one whole line, written before its connection
// closed.
TEST(http_log, every_answered_request_leaves_one_whole_line) {
    struct row {
        const char* name;
        long each;
        bool kill_9;
    };
    for (const row& r : {row{"sigterm", 1250, false}, row{"kill -9", 400, true}}) {
        SCOPED_TRACE(r.name);
        temp_dir logs;
        std::string log = logs.file("access.log");
        site s(log);
        std::atomic<bool> stop{false};
        std::set<long> answered = run_clients(s.port, 16, r.each, stop);
        EXPECT_EQ(answered.size(), static_cast<size_t>(16 * r.each));
        if (r.kill_9) {
            kill(s.server->pid(), SIGKILL);
            s.server->stop();
        } else {
            EXPECT_EQ(s.server->stop(), 0);
        }
        std::vector<std::string> lines = lines_of(log);
        std::vector<long> ids = ids_of(lines);
        EXPECT_EQ(lines.size(), answered.size());
        EXPECT_EQ(std::set<long>(ids.begin(), ids.end()), answered);
    }
}

// A log renamed while clients run (as logrotate's "create" or a user's
// mv does), with and without SIGHUP: what was answered before is in the
// old file, what is asked once the new file has begun is in the new
// one, and no line is lost in between.
TEST(http_log, a_renamed_log_goes_on_in_a_new_file_at_its_path) {
    for (bool hangup : {false, true}) {
        SCOPED_TRACE(hangup ? "mv, then SIGHUP" : "mv");
        temp_dir logs;
        std::string log = logs.file("access.log"), old = logs.file("access.log.1");
        site s(log);
        std::atomic<bool> stop{false};
        std::atomic<long> answered{0};
        std::set<long> all;
        std::thread clients([&] { all = run_clients(s.port, 8, 1000000, stop, &answered); });
        wait_for([&] { return answered.load() >= 200; });
        long before = answered.load();
        ASSERT_EQ(rename(log.c_str(), old.c_str()), 0);
        if (hangup)
            kill(s.server->pid(), SIGHUP);
        auto moved = std::chrono::steady_clock::now();
        wait_for([&] { return !lines_of(log).empty(); });
        auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - moved);
        // Requests asked from now on find the new file open.
        long switched = answered.load();
        wait_for([&] { return answered.load() >= switched + 200; });
        stop.store(true);
        clients.join();
        RecordProperty(hangup ? "reopen_ms_sighup" : "reopen_ms", static_cast<int>(took.count()));
        std::vector<long> in_old = ids_of(lines_of(old)), in_new = ids_of(lines_of(log));
        EXPECT_GE(static_cast<long>(in_old.size()), before);
        EXPECT_GT(static_cast<long>(in_new.size()), 0);
        std::set<long> logged(in_old.begin(), in_old.end());
        logged.insert(in_new.begin(), in_new.end());
        EXPECT_EQ(in_old.size() + in_new.size(), all.size());
        EXPECT_EQ(logged, all);
        EXPECT_EQ(s.server->stop(), 0) << "the server did not outlive SIGHUP";
    }
}

// SIGHUP opens the logs again at once: a log renamed while no request
// runs (so no line looks at its path) is made anew at its path by the
// signal alone. A reopen that fails (the log's folder moved away) leaves
// the lines in the file open so far and is said on stderr, naming the
// file and the reason, each time the log goes from working to failing;
// http_serve says that not every log opened.
TEST(http_log, sighup_opens_the_logs_again_and_says_each_time_one_cannot_be) {
    temp_dir logs;
    std::string folder = logs.file("now"), log = folder + "/access.log", err = logs.file("stderr.txt");
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    site s(log, {}, err);
    ASSERT_TRUE(get(s.port, 1));
    ASSERT_EQ(rename(log.c_str(), (log + ".1").c_str()), 0);
    kill(s.server->pid(), SIGHUP);
    wait_for([&] { return exists(log); });  // made by the signal alone
    EXPECT_TRUE(get(s.port, 2));
    EXPECT_EQ(ids_of(lines_of(log + ".1")), std::vector<long>{1});
    EXPECT_EQ(ids_of(lines_of(log)), std::vector<long>{2});

    const std::string said = "kiv_http: cannot write the log " + log + ": No such file or directory; ";
    const std::string not_every = "http_serve: not every log could be opened again at its path";
    for (size_t round = 1; round <= 2; ++round) {
        SCOPED_TRACE("failure " + std::to_string(round));
        std::string moved = logs.file("moved" + std::to_string(round));
        ASSERT_EQ(rename(folder.c_str(), moved.c_str()), 0);
        kill(s.server->pid(), SIGHUP);
        wait_for([&] { return count_in(err, said) >= round && count_in(err, not_every) >= round; });
        EXPECT_EQ(count_in(err, said), round) << read_all(err);
        EXPECT_EQ(count_in(err, not_every), round) << read_all(err);
        long id = 10 + static_cast<long>(round);
        EXPECT_TRUE(get(s.port, id));
        // The file opened before: the first one's, or the one the last
        // reopen made.
        std::vector<long> kept = round == 1 ? std::vector<long>{2, id} : std::vector<long>{id};
        EXPECT_EQ(ids_of(lines_of(moved + "/access.log")), kept);
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        kill(s.server->pid(), SIGHUP);
        wait_for([&] { return exists(log); });
    }
    EXPECT_EQ(s.server->stop(), 0);
    EXPECT_EQ(count_in(err, said), 2u) << read_all(err);
}

// A page still running on a worker when the server is told to stop gets
// its answer out, and what of it went out has its line: 16 MiB to a
// client that reads nothing while the server stops are cut off, and the
// line counts the body bytes that left, as many as the client reads
// afterwards. Shut-down waits for the page, or, when the page itself
// holds the service, lets the service go once the page's worker is done.
// The body follows "100 Continue", so that the service thread, not the
// connection's own worker, hands the request over. The page writes its
// answer first and then runs on until the test lets it go, which it does
// only once the server has stopped listening, that is, once the stop is
// under way. What is left for the worker then is a moment's work, far
// inside the time shut-down gives a page, however loaded the machine.
TEST(http_log, an_answer_cut_off_by_the_stop_keeps_its_line) {
    struct row {
        const char* name;
        const char* page_start;
    };
    const row rows[] = {
        {"a page that holds nothing of the server", ""},
        {"a page that holds the service", "set h [i_core_get_service [kiv_core] svc_http]; "},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        temp_dir logs;
        std::string log = logs.file("access.log"), running = logs.file("running"), go = logs.file("go");
        site s(log);
        const size_t size = 16u << 20;
        std::ofstream(s.root.file("slow.html"))
            << "<? " << r.page_start << "puts [string repeat x " << size << "]; close [open {" << running
            << "} w]; while {![file exists {" << go << "}]} { after 10 } ?>";
        // However the case ends, the page is let go, so the server stops.
        struct let_go {
            std::string path;
            ~let_go() { std::ofstream(path).close(); }
        } page_released{go};
        fd_holder fd(socket(AF_INET, SOCK_STREAM, 0));
        int small = 4096;
        ASSERT_EQ(setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small), 0);
        sockaddr_in to = loopback(s.port);
        ASSERT_EQ(connect(fd.get(), reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
        ASSERT_TRUE(send_all(fd.get(), "POST /slow.html HTTP/1.1\r\nHost: site\r\nExpect: 100-continue\r\n"
                                       "Content-Length: 3\r\n\r\n"));
        const std::string go_on = "HTTP/1.1 100 Continue\r\n\r\n";
        std::string interim(go_on.size(), '\0');
        ASSERT_EQ(recv(fd.get(), &interim[0], interim.size(), MSG_WAITALL), static_cast<ssize_t>(go_on.size()));
        ASSERT_EQ(interim, go_on);
        ASSERT_TRUE(send_all(fd.get(), "v=1"));
        wait_for([&] { return exists(running); });
        kill(s.server->pid(), SIGTERM);
        wait_for([&] {
            fd_holder probe(connect_tcp(s.port));
            return probe.get() < 0;
        });
        std::ofstream(go).close();
        EXPECT_EQ(s.server->stop(), 0);
        response answer = parse_response(read_until_closed(fd.get()));
        EXPECT_EQ(answer.status, 200);
        EXPECT_LT(answer.body.size(), size);
        std::vector<std::string> lines = lines_of(log);
        ASSERT_EQ(lines.size(), 1u) << "no line for an answer that went out";
        EXPECT_NE(lines[0].find("\"POST /slow.html HTTP/1.1\" 200 " + std::to_string(answer.body.size()) + " "),
                  std::string::npos)
            << lines[0];
    }
}

// A log that is a pipe (--access-log /dev/stdout with standard output a
// pipe, as containers and service managers collect logs) or a device
// takes the lines as a file does, and nothing is said on stderr.
TEST(http_log, a_pipe_or_a_device_takes_the_lines) {
    for (const char* path : {"/dev/stdout", "/dev/null"}) {
        SCOPED_TRACE(path);
        temp_dir logs;
        std::string err = logs.file("stderr.txt");
        site s(path, {}, err);
        for (long id = 0; id < 3; ++id)
            EXPECT_TRUE(get(s.port, id));
        if (std::string(path) == "/dev/stdout") {
            std::vector<std::string> lines(3);
            for (std::string& line : lines)
                EXPECT_TRUE(s.server->next_line(&line));
            EXPECT_EQ(ids_of(lines), (std::vector<long>{0, 1, 2}));
        }
        EXPECT_EQ(s.server->stop(), 0);
        EXPECT_EQ(count_in(err, "kiv_http: cannot write the log"), 0u) << read_all(err);
    }
}

// A log whose folder is made only after the server started: lines are
// lost (said once on stderr) until it exists, then the next tick opens
// the file.
TEST(http_log, a_log_folder_made_later_gets_the_lines_after_it) {
    temp_dir logs;
    std::string folder = logs.file("later"), log = folder + "/access.log";
    site s(log);
    EXPECT_TRUE(get(s.port, 1));
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    long id = 2;
    auto made = std::chrono::steady_clock::now();
    wait_for([&] {
        EXPECT_TRUE(get(s.port, id++));
        return !lines_of(log).empty();
    });
    RecordProperty("first_line_ms", static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                          std::chrono::steady_clock::now() - made)
                                                          .count()));
    EXPECT_TRUE(get(s.port, 0));
    std::vector<long> ids = ids_of(lines_of(log));
    ASSERT_FALSE(ids.empty());
    EXPECT_EQ(ids.back(), 0);
    EXPECT_EQ(s.server->stop(), 0);
}

// The error log's texts of conditions a live server meets.
TEST(http_log, error_log_names_what_went_wrong) {
    temp_dir state;
    ASSERT_EQ(mkdir(state.file("tmp").c_str(), 0700), 0);  // the framework's temp folder, gzip copies in it
    temp_dir logs;
    site s(logs.file("access.log"), {"--state", state.path()});
    // A file whose status can be taken but that cannot be opened: as
    // root only a write-only file of the kernel's settings is such.
    std::string locked = s.root.file("locked.txt");
    if (geteuid() == 0) {
        ASSERT_EQ(symlink("/proc/sys/vm/drop_caches", locked.c_str()), 0);
    } else {
        std::ofstream(locked) << "x";
        chmod(locked.c_str(), 0);
    }
    // Text too random to shrink below the size a copy is held in memory,
    // so every answer reads the copy from disk.
    std::string text;
    for (unsigned i = 0, x = 12345; i < 40000; ++i) {
        x = x * 1103515245u + 12345u;
        text += std::to_string(x) + "\n";
    }
    std::ofstream(s.root.file("big.txt")) << text;
    // The path of the first gzip copy by name, "" when there is none.
    auto gzip_copy = [&] {
        std::string dir = state.file("tmp/http");
        for (const std::string& name : kiv_test::names_in(dir))
            if (name.size() > 3 && name.compare(name.size() - 3, 3, ".gz") == 0)
                return dir + "/" + name;
        return std::string();
    };
    const std::string gzip = "Accept-Encoding: gzip\r\n";
    response first = ask(s.port, "GET /big.txt HTTP/1.0\r\nHost: a\r\n" + gzip + "\r\n");
    ASSERT_EQ(gunzip(first.body), text);
    std::string copy = gzip_copy();
    ASSERT_FALSE(copy.empty());

    struct row {
        const char* name;
        std::function<void()> before;
        std::string request;
        int status;
        std::string text;
    };
    const row rows[] = {
        {"a file that cannot be opened", [] {}, "GET /locked.txt HTTP/1.0\r\nHost: a\r\n\r\n", 404,
         "File not found(4) - " + locked},
        {"a gzip copy overwritten", [&] { std::ofstream(copy, std::ios::trunc) << std::string(500, 'j'); },
         "GET /big.txt HTTP/1.0\r\nHost: a\r\n" + gzip + "\r\n", 200, "Invalid GZip archive"},
        {"a gzip copy cut short", [&] { ASSERT_EQ(truncate(gzip_copy().c_str(), 1000), 0); },
         "GET /big.txt HTTP/1.0\r\nHost: a\r\n" + gzip + "\r\n", 200, "Invalid GZip archive"},
        {"no method", [] {}, "   \r\nHost: a\r\n\r\n", 400, "process error: 1"},
        {"no URL", [] {}, "GET\r\nHost: a\r\n\r\n", 400, "process error: 2"},
    };
    std::string error_log = state.file("logs/http_error.log");
    for (const row& r : rows) {
        SCOPED_TRACE(r.name);
        r.before();
        size_t known = lines_of(error_log).size();
        response answer = ask(s.port, r.request);
        EXPECT_EQ(answer.status, r.status);
        if (r.status == 200) {
            EXPECT_EQ(gunzip(answer.body), text);  // made anew, whole
        }
        std::vector<std::string> lines = lines_of(error_log);
        ASSERT_EQ(lines.size(), known + 1);
        EXPECT_NE(lines.back().find("; " + r.text), std::string::npos) << lines.back();
    }
    EXPECT_EQ(s.server->stop(), 0);
}
