// http_log.h --
//
//     One log file of the web server (a virtual server's access log, the
//     process-wide error log), kept open for appending as long as someone
//     writes to it. Every line goes out with one write(2) of the whole
//     line to a descriptor opened with O_APPEND, so lines of several
//     threads and processes never interleave in a file and no lock is
//     held while writing; nothing is buffered in the process, so a line
//     written is in the kernel even if the process is killed right after.
//
//     A log may also be a pipe or a character device (/dev/stdout when a
//     container or a service manager collects standard output, /dev/null).
//     Its lines are single writes too, which the kernel keeps whole on a
//     pipe up to PIPE_BUF (4 KiB) bytes; a writer waits while the pipe is
//     full, as it would for a slow disk.
//
//     Rotation: at most once per tick of the core's clock (a second) a
//     writer compares the open file with what its path names now and
//     opens the path afresh when the file was renamed or removed
//     (logrotate's "create", a user's mv); "copytruncate" needs nothing,
//     thanks to O_APPEND. Pipes and devices are not rotated.
//     http_reopen_all_logs opens every log afresh at once (http_serve
//     calls it on SIGHUP).
//
//     A log that stops working says so on stderr, naming its file and the
//     system's reason, each time it goes from working to failing: once
//     when its path cannot be opened (tried again at each later tick), and
//     once when its lines cannot be written; it says nothing more until it
//     has worked again.

#ifndef KIV_HTTP_SRC_HTTP_LOG_H
#define KIV_HTTP_SRC_HTTP_LOG_H

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace kiv {

class http_log {
public:
    // The log of the file `path` (absolute), opened for appending by the
    // first line and made when missing (mode 0644); a file that cannot be
    // opened is tried again at the first line of a later tick.
    explicit http_log(std::string path);
    http_log(const http_log&) = delete;
    http_log& operator=(const http_log&) = delete;

    const std::string& path() const { return path_; }

    // Appends the whole line `line` of `size` bytes (ending in "\n") with
    // one write; checks the path first when the core's clock has ticked
    // since the last check. A line that cannot be written is dropped
    // (said on stderr when the log was working until then). Safe from any
    // thread.
    void write(const char* line, size_t size);

    // Opens the path afresh now; the file open so far stays open until
    // the lines being written to it are out, and keeps taking the lines
    // when the path cannot be opened (said on stderr when the log was
    // working until then).
    // Returns: whether the path opened. Safe from any thread.
    bool reopen();

private:
    // An open log descriptor, closed when the last writer lets it go, so
    // that a reopen never closes a descriptor another thread writes to.
    struct open_file {
        int fd;
        dev_t dev;
        ino_t ino;
        bool rotates;  // a regular file, whose path is checked each tick; not a pipe or device
        open_file(int f, dev_t d, ino_t i, bool r) : fd(f), dev(d), ino(i), rotates(r) {}
        ~open_file();
        open_file(const open_file&) = delete;
        open_file& operator=(const open_file&) = delete;
    };

    // Returns: the open file, null when none could be opened yet.
    std::shared_ptr<open_file> current();
    // Opens the path and puts it in place of the open file. Returns: 0,
    //     or the errno of the failure (the old file stays in place).
    int open_path();
    // Reopens the path when it no longer names the open file (or none
    // is open); `now` is the tick of the core's clock.
    void check_path(uint32_t now);
    // Opens the path; a failure is noted as the tick `now` and said when
    // the last open had succeeded. The caller holds open_lock_.
    // Returns: whether it opened.
    bool open_or_tell(uint32_t now);
    // Notes that a line could not be written (`error`: its errno, 0 for a
    // write that took nothing), and says so when lines went out until now.
    void tell_write_failed(int error);

    const std::string path_;
    std::mutex open_lock_;            // one open (or check) of the path at a time; never held by a write
    std::mutex lock_;                 // guards file_ only; held for no call
    std::shared_ptr<open_file> file_;
    std::atomic<uint32_t> checked_;   // the tick of the core's clock last checked
    uint32_t failed_;                 // the tick of the last failed open; under open_lock_
    bool open_failing_ = false;       // the last open of the path failed (and was said); under open_lock_
    std::atomic<bool> write_failing_{false};  // the last line could not be written (and was said)
};

// Returns: the log of the file `path` (absolute), shared by all who ask
//     for the same path while one of them holds it; null for "".
std::shared_ptr<http_log> http_log_at(const std::string& path);

// Opens every log that is held afresh (see http_log::reopen).
// Returns: whether every one opened (true when none is held).
bool http_reopen_all_logs();

}  // namespace kiv

#endif
