// http_files.cpp --
//
//     Gzip copies of served files and the two server logs (see
//     http_files.h). The logs are kept open for appending (http_log.h).

#include "request/http_files.h"
#include "request/http_log.h"

#include "parse/http_head.h"
#include "parse/http_request_text.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_md5_encoder.h>
#include <kiv/core/service_ref.h>
#include <kiv/zip/i_zip.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace kiv {

namespace {

const size_t chunk_max = 1u << 20;


// Compresses the open file `fd` of `size` bytes into `target`.
// Returns: whether the whole file went in and the copy was put in place.
bool compress_into(int fd, uint64_t size, i_zip_service* zip, const std::string& target) {
    auto_ptr_t<i_gzip_writer> writer(zip->open_gzip_writer(target.c_str()));
    if (!writer)
        return false;
    std::vector<char> chunk(static_cast<size_t>(size < chunk_max ? (size > 0 ? size : 1) : chunk_max));
    uint64_t done = 0;
    while (done < size && kiv_is_running()) {
        ssize_t n = read(fd, chunk.data(), chunk.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0 || !writer->write(chunk.data(), static_cast<unsigned>(n)))
            break;
        done += static_cast<uint64_t>(n);
    }
    // A file that changed size meanwhile is not cached under the old key.
    bool whole = done == size;
    if (!whole)
        return false;
    return writer->close();
}

// The copies of kept files made or found so far, by the file's version
// (device, inode, size and times): a file served again finds its copy
// without opening the file, looking up services or hashing its key
// anew, and a file replaced by another one under the same name, size and
// time is still told apart. The path is no part of the key: every path
// that leads to one file (a spelling, a link) shares its one copy.
struct copy_cache {
    std::mutex lock;
    std::unordered_map<std::string, std::string> copies;
};
const size_t copy_cache_max = 4096;

copy_cache& copies() {
    static copy_cache* cache = new copy_cache;  // outlives exit handlers
    return *cache;
}

// Returns: the version of a file as its copies know it: size, time of
//     the last change to the nanosecond, device and inode, so that a file
//     replaced under its name is a new version even at the same size and
//     time; and the time of its last status change, which no one can set
//     back, so that a file rewritten in place with its old time put back
//     is a new version too.
std::string file_version(const struct stat& st) {
    return std::to_string(static_cast<long long>(st.st_size)) + '_' +
           std::to_string(static_cast<long long>(st.st_mtim.tv_sec)) + '.' +
           std::to_string(static_cast<long>(st.st_mtim.tv_nsec)) + '_' +
           std::to_string(static_cast<unsigned long long>(st.st_dev)) + ':' +
           std::to_string(static_cast<unsigned long long>(st.st_ino)) + '_' +
           std::to_string(static_cast<long long>(st.st_ctim.tv_sec)) + '.' +
           std::to_string(static_cast<long>(st.st_ctim.tv_nsec));
}

// Returns: whether `path` names a regular file itself (not a link to one).
bool regular_file_at(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string copy_cache_key(const struct stat& st) {
    const char* temp = kiv_temp_path();
    return std::string(temp != nullptr ? temp : "") + '\0' + file_version(st);
}

// Returns: the copy remembered for the file in the state `st`, else "".
std::string remembered_copy(const struct stat& st) {
    copy_cache& cache = copies();
    std::lock_guard<std::mutex> hold(cache.lock);
    auto found = cache.copies.find(copy_cache_key(st));
    return found == cache.copies.end() ? std::string() : found->second;
}

// Returns: the cached copy of the file in the state `st` while it is
//     still there, else "".
std::string cached_copy(const struct stat& st) {
    std::string copy = remembered_copy(st);
    return !copy.empty() && regular_file_at(copy) ? copy : "";
}

void forget_copy(const struct stat& st) {
    copy_cache& cache = copies();
    std::lock_guard<std::mutex> hold(cache.lock);
    cache.copies.erase(copy_cache_key(st));
}

// Returns: whether the open copy `fd` of `copy_size` bytes looks like a
//     whole gzip archive of `source_size` bytes: the gzip magic and
//     deflate method at its start, and the length of the data (modulo
//     2^32) in its last four bytes, so that a copy cut short, emptied or
//     overwritten is not sent.
bool whole_gzip_copy(int fd, uint64_t copy_size, uint64_t source_size) {
    unsigned char start[3], trailer[4];
    if (copy_size < 18 || pread(fd, start, sizeof start, 0) != static_cast<ssize_t>(sizeof start) ||
        pread(fd, trailer, sizeof trailer, static_cast<off_t>(copy_size - 4)) != static_cast<ssize_t>(sizeof trailer))
        return false;
    uint32_t length = static_cast<uint32_t>(trailer[0]) | static_cast<uint32_t>(trailer[1]) << 8 |
                      static_cast<uint32_t>(trailer[2]) << 16 | static_cast<uint32_t>(trailer[3]) << 24;
    return start[0] == 0x1f && start[1] == 0x8b && start[2] == 8 &&
           length == static_cast<uint32_t>(source_size & 0xffffffffu);
}

// Returns: whether the file `copy` is a whole gzip archive of
//     `source_size` bytes (see whole_gzip_copy).
bool whole_gzip_copy_at(const std::string& copy, uint64_t source_size) {
    int fd = open(copy.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    struct stat st;
    bool whole = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                 whole_gzip_copy(fd, static_cast<uint64_t>(st.st_size), source_size);
    close(fd);
    return whole;
}

void remember_copy(const struct stat& st, const std::string& copy) {
    copy_cache& cache = copies();
    std::lock_guard<std::mutex> hold(cache.lock);
    if (cache.copies.size() >= copy_cache_max)
        cache.copies.clear();
    cache.copies[copy_cache_key(st)] = copy;
}

// The error log while the service runs: its path follows
// $KIV_ROOT_PATH, and it is opened again when that changes.
std::mutex error_log_lock;              // guards the pointer only, held for no call
std::shared_ptr<http_log>* error_log = new std::shared_ptr<http_log>;  // outlives exit handlers

std::shared_ptr<http_log> error_log_at(const char* path) {
    {
        std::lock_guard<std::mutex> hold(error_log_lock);
        if (*error_log && (*error_log)->path() == path)
            return *error_log;
    }
    std::shared_ptr<http_log> log = http_log_at(path);
    std::lock_guard<std::mutex> hold(error_log_lock);
    *error_log = log;
    return log;
}

}  // namespace

std::string http_gzip_copy(const char* path, bool keep, bool* invalid) {
    if (path == nullptr)
        return "";
    struct stat known;
    if (keep && stat(path, &known) == 0 && S_ISREG(known.st_mode)) {
        std::string copy = cached_copy(known);
        if (!copy.empty() && whole_gzip_copy_at(copy, static_cast<uint64_t>(known.st_size)))
            return copy;
        if (!copy.empty()) {
            forget_copy(known);
            if (invalid != nullptr)
                *invalid = true;
        }
    }
    // Non-blocking, so that opening a FIFO does not wait for a writer.
    int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return "";
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return "";
    }
    auto_ptr_t<i_md5_encoder> md5 = service_ref("svc_md5_encoder", kiv_cast_i_md5_encoder);
    auto_ptr_t<i_zip_service> zip = service_ref("svc_zip", kiv_cast_i_zip_service);
    std::string temp = kiv_temp_path();
    if (!md5 || !zip || temp.empty()) {
        close(fd);
        return "";
    }
    static std::atomic<uint64_t> once_counter{0};
    // A kept copy is named by the file's version alone, which names the
    // file itself (device and inode): however many ways its path is
    // spelled, one version has one copy.
    std::string key = keep ? "gz_" + file_version(st)
                           : "gz_once_" + std::to_string(getpid()) + "_" + std::to_string(++once_counter) + "_" +
                                 path + "_" + file_version(st);
    auto_string digest(md5->encode_string(key.c_str()));
    if (!digest.is_ok()) {
        close(fd);
        return "";
    }
    std::string copy = temp + "/http/" + static_cast<const char*>(digest) + ".gz";
    bool ready = keep && regular_file_at(copy);
    // A copy left by an earlier run is checked before it is trusted.
    if (ready && !whole_gzip_copy_at(copy, static_cast<uint64_t>(st.st_size))) {
        ready = false;
        if (invalid != nullptr)
            *invalid = true;
    }
    if (!ready)
        ready = compress_into(fd, static_cast<uint64_t>(st.st_size), zip, copy);
    close(fd);
    if (!ready)
        return "";
    if (keep)
        remember_copy(st, copy);
    return copy;
}

int http_open_known_gzip_copy(const char* path, const struct stat& st, uint64_t* size, bool* invalid) {
    if (path == nullptr)
        return -1;
    std::string copy = remembered_copy(st);
    if (copy.empty())
        return -1;
    // Not following a link: the copies are plain files the server wrote.
    int fd = open(copy.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    struct stat existing;
    if (fd >= 0 && (fstat(fd, &existing) != 0 || !S_ISREG(existing.st_mode))) {
        close(fd);
        fd = -1;
    }
    if (fd >= 0 && !whole_gzip_copy(fd, static_cast<uint64_t>(existing.st_size), static_cast<uint64_t>(st.st_size))) {
        close(fd);
        fd = -1;
        forget_copy(st);
        unlink(copy.c_str());
        *invalid = true;
    }
    if (fd >= 0)
        *size = static_cast<uint64_t>(existing.st_size);
    return fd;
}

void http_write_error_log(const char* request_line, const char* message) {
    if (message == nullptr)
        return;
    auto_string path(kiv_get_absolute_path("$KIV_ROOT_PATH/logs/http_error.log"));
    if (!path.is_ok())
        return;
    uint32_t now = kiv_get_curr_time();
    int64_t t = now != 0 ? static_cast<int64_t>(now) : static_cast<int64_t>(time(nullptr));
    // Texts from the peer (the request line, paths in messages) cannot
    // forge a line of their own, nor make one longer than
    // http_error_log_line_max: the request line takes at most half of
    // it, the message the rest, each cut with a mark.
    std::string line = http_log_time(t) + "; URL: '";
    line.reserve(http_error_log_line_max);
    http_append_log_escaped(&line, request_line != nullptr ? request_line : "", http_error_log_line_max / 2);
    line += "'; ";
    http_append_log_escaped(&line, message, http_error_log_line_max - 1 - std::min(line.size(), http_error_log_line_max - 1));
    line += "\n";
    error_log_at(path)->write(line.data(), line.size());
}

void http_release_error_log() {
    std::shared_ptr<http_log> log;
    std::lock_guard<std::mutex> hold(error_log_lock);
    log.swap(*error_log);
    // Closed (when no line is being written) as `log` goes, after the lock.
}

}  // namespace kiv
