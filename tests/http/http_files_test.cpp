// http_files_test.cpp --
//
//     Gzip copies of served files (made once per file version, never
//     torn, only of regular files) and the server's two logs.

#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_binary.h>
#include <kiv/zip/i_zip.h>

#include "http_fixture.h"
#include "request/http_files.h"
#include "request/http_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

using namespace kiv;
using namespace kiv_test;

namespace {

class http_files_test : public http_framework {
protected:
    std::string write(const std::string& name, const std::string& text) {
        std::string path = session.root.file(name);
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    // The text inside a gzip file, read back through "svc_zip".
    std::string gunzip(const std::string& path) {
        auto_ptr_t<i_object> svc(kiv_core()->get_service("svc_zip"));
        auto_ptr_t<i_binary> data(kiv_cast_i_zip_service(svc)->ungzip_binary(path.c_str()));
        if (!data)
            return "<unreadable>";
        return std::string(static_cast<const char*>(data->get_data()), data->get_data_size());
    }
};

std::string text_of(size_t size, char seed) {
    std::string text;
    for (size_t i = 0; i < size; ++i)
        text += static_cast<char>('a' + (seed + i * 7) % 26);
    return text;
}

}  // namespace

TEST_F(http_files_test, a_gzip_copy_is_made_once_per_file_version) {
    std::string original = text_of(3000, 1);
    std::string file = write("page.txt", original);
    std::string copy = http_gzip_copy(file.c_str());
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(copy.rfind(temp.path() + "/http/", 0), 0u) << copy;
    EXPECT_EQ(gunzip(copy), original);
    struct stat first;
    ASSERT_EQ(stat(copy.c_str(), &first), 0);
    // The same version reuses the copy untouched.
    EXPECT_EQ(http_gzip_copy(file.c_str()), copy);
    struct stat again;
    ASSERT_EQ(stat(copy.c_str(), &again), 0);
    EXPECT_EQ(again.st_ino, first.st_ino);

    // Same size, same second, other nanoseconds: a new copy.
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    std::string changed = text_of(3000, 2);
    write("page.txt", changed);
    struct timespec times[2] = {st.st_atim, st.st_mtim};
    times[1].tv_nsec = (st.st_mtim.tv_nsec + 1) % 1000000000;
    ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
    std::string second = http_gzip_copy(file.c_str());
    ASSERT_FALSE(second.empty());
    EXPECT_NE(second, copy);
    EXPECT_EQ(gunzip(second), changed);
    // No temporary file is left beside the copies.
    auto_ptr_t<i_object_col> left(kiv_scan_dir((temp.path() + "/http").c_str(), "*", 1));
    EXPECT_EQ(left->get_count(), 2u);
}

TEST_F(http_files_test, only_regular_files_get_copies) {
    folder("dir");
    EXPECT_EQ(http_gzip_copy(session.root.file("dir").c_str()), "");
    EXPECT_EQ(http_gzip_copy(session.root.file("missing").c_str()), "");
    EXPECT_EQ(http_gzip_copy(nullptr), "");
    std::string fifo = session.root.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(http_gzip_copy(fifo.c_str()), "");  // returns at once: no writer is waited for
    std::string empty = write("empty.txt", "");
    std::string copy = http_gzip_copy(empty.c_str());
    ASSERT_FALSE(copy.empty());
    EXPECT_EQ(gunzip(copy), "");
}

TEST_F(http_files_test, the_error_log_goes_to_the_logs_folder_only_when_it_exists) {
    http_write_error_log("GET / HTTP/1.0", "not written");
    EXPECT_FALSE(kiv_dir_exists(session.root.file("logs").c_str()));
    folder("logs");
    // The log that could not be opened is tried again at the next tick
    // of the core's clock.
    uint32_t tick = kiv_get_curr_time();
    while (kiv_get_curr_time() == tick)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    http_write_error_log("GET /a HTTP/1.0", "File not found - /srv/a");
    http_write_error_log(nullptr, "unknown mode error");
    http_write_error_log("x", nullptr);
    std::istringstream lines(read_all(session.root.file("logs/http_error.log")));
    std::string line;
    std::vector<std::string> tails;
    while (std::getline(lines, line)) {
        // "dd/Mon/yyyy:hh:mm:ss +0000; URL: ..."
        ASSERT_GT(line.size(), 28u) << line;
        EXPECT_EQ(line.substr(20, 8), " +0000; ") << line;
        tails.push_back(line.substr(28));
    }
    EXPECT_EQ(tails, (std::vector<std::string>{"URL: 'GET /a HTTP/1.0'; File not found - /srv/a",
                                               "URL: ''; unknown mode error"}));
}

TEST_F(http_files_test, access_log_lines_of_many_threads_stay_whole) {
    std::string log = session.root.file("access.log");
    EXPECT_EQ(http_log_at(""), nullptr);
    std::shared_ptr<http_log> shared = http_log_at(log);
    EXPECT_EQ(http_log_at(log), shared);  // one descriptor for every writer of the path
    const int threads = 8, lines_each = 50;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (int i = 0; i < lines_each; ++i)
            {
                std::string line = "host" + std::to_string(t) + " " + std::string(300, 'x') + "\n";
                http_log_at(log)->write(line.data(), line.size());
            }
        });
    for (auto& w : workers)
        w.join();
    std::istringstream lines(read_all(log));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        EXPECT_EQ(line.size(), 5u + 1 + 300) << line.substr(0, 20);
        ++count;
    }
    EXPECT_EQ(count, threads * lines_each);
}
