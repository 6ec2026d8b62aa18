// http_log.cpp --
//
//     The server's log files kept open for appending (see http_log.h),
//     and the table that lets every virtual server writing to the same
//     path share one descriptor.

#include "request/http_log.h"

#include <kiv/core/i_core.h>
#include <kiv/http/http_logs.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <vector>

namespace kiv {

namespace {

struct log_table {
    std::mutex lock;                                         // guards logs
    std::map<std::string, std::weak_ptr<http_log>> logs;     // path -> the log while held
};

// No tick of the core's clock has this value (seconds since 1970 in
// 2106).
const uint32_t never_checked = UINT32_MAX;

log_table& table() {
    static log_table* logs = new log_table;  // outlives exit handlers
    return *logs;
}

// Says on stderr that the log `path` stopped working for `error` (an
// errno, 0 when unknown); `kept` tells whether its lines go on to the
// file opened before.
void say_log_failing(const std::string& path, int error, bool kept) {
    std::fprintf(stderr, "kiv_http: cannot write the log %s: %s; %s\n", path.c_str(),
                 error != 0 ? std::strerror(error) : "the write took nothing",
                 kept ? "its lines go on to the file opened before" : "its lines are lost");
}

}  // namespace

http_log::open_file::~open_file() {
    close(fd);
}

// The file is opened by the first line, so that a folder made after the
// log was named but before the first line still gets it.
http_log::http_log(std::string path) : path_(std::move(path)), checked_(never_checked), failed_(never_checked) {}

std::shared_ptr<http_log::open_file> http_log::current() {
    std::lock_guard<std::mutex> hold(lock_);
    return file_;
}

int http_log::open_path() {
    // Not blocking: a FIFO without a reader fails at once (ENXIO) instead
    // of holding the opener, and is tried again at a later tick.
    int fd = open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0)
        return errno;
    struct stat st;
    if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))) {
        close(fd);
        return EINVAL;  // a folder, socket or block device is no log
    }
    // Writes wait while a pipe is full rather than lose the line.
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        int error = errno;
        close(fd);
        return error;
    }
    auto opened = std::make_shared<open_file>(fd, st.st_dev, st.st_ino, S_ISREG(st.st_mode));
    {
        std::lock_guard<std::mutex> hold(lock_);
        file_.swap(opened);
    }
    return 0;  // the old file, if any, closes with its last writer
}

void http_log::check_path(uint32_t now) {
    std::lock_guard<std::mutex> opening(open_lock_);
    std::shared_ptr<open_file> file = current();
    struct stat st;
    if (file && (!file->rotates ||
                 (stat(path_.c_str(), &st) == 0 && st.st_dev == file->dev && st.st_ino == file->ino)))
        return;
    open_or_tell(now);
}

bool http_log::open_or_tell(uint32_t now) {
    int error = open_path();
    if (error == 0) {
        open_failing_ = false;
        return true;
    }
    failed_ = now;
    if (!open_failing_) {
        open_failing_ = true;
        say_log_failing(path_, error, current() != nullptr);
    }
    return false;
}

void http_log::tell_write_failed(int error) {
    if (!write_failing_.exchange(true))
        say_log_failing(path_, error, false);
}

void http_log::write(const char* line, size_t size) {
    uint32_t now = kiv_get_curr_time();
    uint32_t checked = checked_.load(std::memory_order_relaxed);
    // One writer per tick looks at the path; the others write on.
    if (checked != now && checked_.compare_exchange_strong(checked, now, std::memory_order_relaxed))
        check_path(now);
    std::shared_ptr<open_file> file = current();
    if (!file) {
        // The first lines wait for the first open, which another writer
        // may be making, or make it: once a tick while it fails. A line
        // without a file is lost; the failed open said so.
        std::lock_guard<std::mutex> opening(open_lock_);
        file = current();
        if (!file && failed_ != now && open_or_tell(now))
            file = current();
        if (!file)
            return;
    }
    while (size > 0) {
        ssize_t n = ::write(file->fd, line, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            tell_write_failed(n < 0 ? errno : 0);
            return;
        }
        // Only a full disk, a file size limit or a signal that interrupts
        // a wait on a full pipe writes part of a line.
        line += n;
        size -= static_cast<size_t>(n);
    }
    if (write_failing_.load(std::memory_order_relaxed))
        write_failing_.store(false);
}

bool http_log::reopen() {
    std::lock_guard<std::mutex> opening(open_lock_);
    return open_or_tell(kiv_get_curr_time());
}

std::shared_ptr<http_log> http_log_at(const std::string& path) {
    if (path.empty())
        return nullptr;
    log_table& logs = table();
    {
        std::lock_guard<std::mutex> hold(logs.lock);
        auto found = logs.logs.find(path);
        if (found != logs.logs.end())
            if (std::shared_ptr<http_log> held = found->second.lock())
                return held;
    }
    // Opened without the table's lock; two callers may both open it, and
    // the first one in the table wins.
    auto made = std::make_shared<http_log>(path);
    std::lock_guard<std::mutex> hold(logs.lock);
    std::weak_ptr<http_log>& slot = logs.logs[path];
    if (std::shared_ptr<http_log> held = slot.lock())
        return held;
    slot = made;
    // Paths no one holds any more leave the table now and then.
    if (logs.logs.size() > 64)
        for (auto it = logs.logs.begin(); it != logs.logs.end();)
            it = it->second.expired() ? logs.logs.erase(it) : std::next(it);
    return made;
}

bool http_reopen_all_logs() {
    std::vector<std::shared_ptr<http_log>> held;
    {
        log_table& logs = table();
        std::lock_guard<std::mutex> hold(logs.lock);
        for (auto& entry : logs.logs)
            if (std::shared_ptr<http_log> log = entry.second.lock())
                held.push_back(std::move(log));
    }
    bool all = true;
    for (const std::shared_ptr<http_log>& log : held)
        all = log->reopen() && all;
    return all;
}

}  // namespace kiv

bool kiv_http_reopen_logs() {
    return kiv::http_reopen_all_logs();
}
