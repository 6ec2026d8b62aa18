// env_thread_test.cpp --
//
//     The process environment written on one thread while others read it
//     through the C library and Tcl: a thread rewrites a watched
//     environment file and applies it again and again (the watcher
//     applies it too, on its own worker), while other threads make new
//     script engines (a new interpreter copies the environment), resolve
//     host names and open charset converters. Run under TSan, this must
//     end without a report; everywhere, every value read back is one
//     that was written, and the last one written wins. And glibc's getenv
//     on many threads, which takes no lock of ours, while one thread
//     changes values, adds variables and takes them out of the middle:
//     a variable that stays set is found every time, with its text.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/charset.h>
#include <kiv/core/config.h>
#include <kiv/core/env.h>
#include <kiv/core/i_script.h>
#include <kiv/core/i_socket_service.h>

#include "script_session.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// How often the environment is rewritten; the readers go on while it
// is, and each makes at least one round however late it starts.
const int writes = 400;

// A TCP port on 127.0.0.1 that nobody listens on: connecting is refused
// at once, after the host name was resolved.
unsigned short closed_port() {
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    unsigned short port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(s);
    return port;
}

// Writes the environment file for step `n`, with a modification time of
// its own so the watcher sees every step as a change.
void write_env(const std::string& path, int n) {
    std::string tmp = path + ".new";
    {
        std::ofstream out(tmp);
        out << "KIV_ENV_TEST_STEP=" << n << "\n"
            << "KIV_ENV_TEST_PAD=" << std::string(static_cast<size_t>(64 + n % 200), 'x') << "\n";
        if (n % 3 == 0)
            out << "KIV_ENV_TEST_SOMETIMES=" << n << "\n";
        else
            out << "KIV_ENV_TEST_SOMETIMES=\n";  // empty: unset
    }
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = 1000000 + n;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ::utimensat(AT_FDCWD, tmp.c_str(), times, 0);
    ::rename(tmp.c_str(), path.c_str());
}

}  // namespace

TEST(env_threads, rewriting_the_environment_while_engines_are_made_and_names_resolved) {
    kiv_test::script_session session;
    std::string env_file = session.root.file("app.env");
    write_env(env_file, 0);
    ASSERT_TRUE(kiv_load_environment(env_file.c_str()));
    unsigned short port = closed_port();
    ASSERT_NE(port, 0);

    std::atomic<bool> writing{true};
    std::atomic<int> last_written{0};
    std::atomic<int> engines{0}, converted{0}, bad_values{0};
    std::vector<std::thread> threads;
    auto start = [&](std::function<void()> body) { threads.emplace_back(std::move(body)); };
    start([&] {
        for (int n = 1; n <= writes; ++n) {
            write_env(env_file, n);
            kiv_load_environment(env_file.c_str());  // applies it here too
            last_written = n;
        }
        writing = false;
    });
    for (int i = 0; i < 2; ++i) {
        start([&] {
            do {
                // An engine per short-lived thread: every round makes a new
                // interpreter, and the thread's end destroys it.
                std::thread maker([&] {
                    auto_ptr_t<kiv::i_script_engine> engine(session.service->get_script_engine());
                    if (engine && engine->execute_text("set x 1"))
                        ++engines;
                });
                maker.join();
            } while (writing.load());
        });
    }
    start([&] {
        do {
            int s = kiv_net_tcp_open("localhost", port, 1);
            EXPECT_EQ(s, -1);  // refused, but "localhost" was resolved first
            if (s >= 0)
                ::close(s);
        } while (writing.load());
    });
    start([&] {
        do {
            char* text = kiv_iconv_to_int("text");
            if (text != nullptr && std::strcmp(text, "text") == 0)
                ++converted;
            std::free(text);
            std::string step;
            if (kiv_get_env("KIV_ENV_TEST_STEP", step) && (step.empty() || std::atoi(step.c_str()) < 0))
                ++bad_values;
        } while (writing.load());
    });

    for (std::thread& t : threads)
        t.join();
    EXPECT_GT(engines.load(), 0);
    EXPECT_GT(converted.load(), 0);
    EXPECT_EQ(bad_values.load(), 0);
    // A pass of the watcher that read the file before its last rewrite
    // may still be applying it; applied again here, the last write stands.
    std::string last = std::to_string(last_written.load());
    kiv_test::eventually([&] {
        return kiv_load_environment(env_file.c_str()) && kiv_get_env("KIV_ENV_TEST_STEP") == last;
    });
    EXPECT_EQ(kiv_get_env("KIV_ENV_TEST_SOMETIMES"),
              last_written.load() % 3 == 0 ? std::to_string(last_written.load()) : std::string());
    for (const char* name : {"KIV_ENV_TEST_STEP", "KIV_ENV_TEST_PAD", "KIV_ENV_TEST_SOMETIMES"})
        kiv_set_env(name, nullptr);
}

TEST(env_threads, getenv_without_our_lock_finds_every_variable_that_stays_set_while_another_thread_writes) {
    const char* const values[] = {"value-0", "value-1", "value-22", "value-333"};
    // Every text the writer will set is made before the readers start: a
    // text, once made, never changes, and this way TSan, which cannot see
    // into glibc's getenv, sees that too.
    for (const char* name : {"KIV_ENV_RACE_MIDDLE", "KIV_ENV_RACE_SOMETIMES", "KIV_ENV_RACE_VALUE"})
        for (const char* value : values)
            kiv_set_env(name, value);
    kiv_set_env("KIV_ENV_RACE_SOMETIMES", nullptr);
    kiv_set_env("KIV_ENV_RACE_MIDDLE", values[0]);
    kiv_set_env("KIV_ENV_RACE_STEADY", "steady");
    kiv_set_env("KIV_ENV_RACE_VALUE", values[0]);
    const int rounds = 60000;
    const int readers = 4;
    std::atomic<bool> writing{true};
    std::atomic<int> reads{0}, missed{0}, wrong{0};
    auto known = [&](const char* v) {
        for (const char* value : values)
            if (std::strcmp(v, value) == 0)
                return true;
        return false;
    };
    std::vector<std::thread> threads;
    for (int r = 0; r < readers; ++r) {
        threads.emplace_back([&] {
            // At least one pass after the writer has finished.
            for (bool more = true; more;) {
                more = writing.load();
                const char* steady = std::getenv("KIV_ENV_RACE_STEADY");
                const char* value = std::getenv("KIV_ENV_RACE_VALUE");
                const char* sometimes = std::getenv("KIV_ENV_RACE_SOMETIMES");
                if (steady == nullptr || value == nullptr)
                    ++missed;
                else if (std::strcmp(steady, "steady") != 0 || !known(value))
                    ++wrong;
                if (sometimes != nullptr && !known(sometimes))
                    ++wrong;
                ++reads;
            }
        });
    }
    for (int i = 0; i < rounds; ++i) {
        kiv_set_env("KIV_ENV_RACE_VALUE", values[i % 4]);
        // Unset and set again: out of the middle, then after the last.
        kiv_set_env(i % 3 == 0 ? "KIV_ENV_RACE_MIDDLE" : "KIV_ENV_RACE_SOMETIMES", nullptr);
        kiv_set_env(i % 3 == 0 ? "KIV_ENV_RACE_MIDDLE" : "KIV_ENV_RACE_SOMETIMES", values[(i / 4) % 4]);
    }
    writing = false;
    for (std::thread& t : threads)
        t.join();
    EXPECT_GE(reads.load(), readers);
    EXPECT_EQ(missed.load(), 0);
    EXPECT_EQ(wrong.load(), 0);
    for (const char* name :
         {"KIV_ENV_RACE_MIDDLE", "KIV_ENV_RACE_STEADY", "KIV_ENV_RACE_VALUE", "KIV_ENV_RACE_SOMETIMES"})
        kiv_set_env(name, nullptr);
}
