// http_log_test.cpp --
//
//     The server's logs as http_serve keeps them, seen by real clients
//     over a socket: every answered request leaves one whole line, also
//     under many clients and after kill -9; a log renamed, reopened on
//     SIGHUP or whose folder appears only later gets the lines that
//     follow; the error log carries the texts of files that cannot be
//     opened, invalid gzip copies and request lines without a method or
//     URL.

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

// Returns: the lines of the file `path` ("" for a last line without its
//     line feed, which a torn write would leave).
std::vector<std::string> lines_of(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = read_all(path), line;
    std::istringstream in(text);
    while (std::getline(in, line))
        lines.push_back(line);
    if (!text.empty() && text.back() != '\n')
        lines.push_back("");
    return lines;
}

// Polls `done` every 10 ms for at most `seconds`. Returns: whether it
//     became true.
bool wait_for(const std::function<bool()>& done, int seconds = 30) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
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
// at `log` (relative to nothing: absolute).
struct site {
    temp_dir root;
    uint16_t port = free_port();
    std::unique_ptr<server_process> server;
    explicit site(const std::string& log, const std::vector<std::string>& more = {}) {
        std::ofstream(root.file("a.txt")) << body;
        std::vector<std::string> args = {"--access-log", log};
        args.insert(args.end(), more.begin(), more.end());
        server.reset(new server_process(root.path(), port, 0, args));
        EXPECT_EQ(server->first_line(), "listening on 127.0.0.1:" + std::to_string(port));
    }
};

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
        ASSERT_TRUE(wait_for([&] { return answered.load() >= 200; }));
        long before = answered.load();
        ASSERT_EQ(rename(log.c_str(), old.c_str()), 0);
        if (hangup)
            kill(s.server->pid(), SIGHUP);
        auto moved = std::chrono::steady_clock::now();
        bool started = wait_for([&] { return !lines_of(log).empty(); });
        auto took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - moved);
        // Requests asked from now on find the new file open.
        long switched = answered.load();
        EXPECT_TRUE(wait_for([&] { return answered.load() >= switched + 200; }));
        stop.store(true);
        clients.join();
        EXPECT_TRUE(started) << "no line in a new file at the path within 30 s";
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
    bool written = wait_for([&] {
        EXPECT_TRUE(get(s.port, id++));
        return !lines_of(log).empty();
    });
    EXPECT_TRUE(written) << "no line within 30 s of the folder being made";
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
    auto gzip_copy = [&] {
        std::string found;
        std::string dir = state.file("tmp/http");
        std::unique_ptr<FILE, int (*)(FILE*)> p(popen(("ls " + dir + "/*.gz 2>/dev/null").c_str(), "r"), pclose);
        char name[4096];
        if (p && std::fgets(name, sizeof name, p.get()) != nullptr)
            found = std::string(name).substr(0, std::strlen(name) - 1);
        return found;
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
