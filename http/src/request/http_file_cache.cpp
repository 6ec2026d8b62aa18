// http_file_cache.cpp --
//
//     The bytes of small files and gzip copies, and the deny-file
//     answers, kept between answers (see http_file_cache.h).
//
//     The bytes live in one table for all workers, looked up under a
//     reader lock: workers never wait for each other unless one adds a
//     file. Entries are filed by the hash of the path alone, so adding a
//     new version of a file finds and drops the old one. The deny-file
//     answers are kept by each worker for itself and need no lock.

#include "request/http_file_cache.h"

#include <kiv/core/files.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <functional>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <string_view>
#include <unordered_map>

namespace kiv {

namespace {

// Bounds of the table; when adding would pass either, it starts anew.
const size_t held_entries_max = 4096;
const uint64_t held_bytes_max = 64ull << 20;

// A file's change must be this old before its bytes are held.
const int64_t settle_seconds = 1;

struct file_version {
    http_held_kind kind;
    int64_t size;
    struct timespec modified, changed;
    uint64_t device, inode;

    file_version(const struct stat& st, http_held_kind k)
        : kind(k), size(static_cast<int64_t>(st.st_size)), modified(st.st_mtim), changed(st.st_ctim),
          device(static_cast<uint64_t>(st.st_dev)), inode(static_cast<uint64_t>(st.st_ino)) {}

    bool operator==(const file_version& o) const {
        return kind == o.kind && size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
               changed.tv_nsec == o.changed.tv_nsec && device == o.device && inode == o.inode;
    }
};

struct held_entry {
    std::string path;
    file_version version;
    http_file_bytes bytes;
};

struct held_table {
    std::shared_mutex lock;
    std::unordered_multimap<size_t, held_entry> entries;  // by the hash of the path
    uint64_t bytes = 0;                                    // the sum of the entries' sizes
};

held_table& table() {
    static held_table* held = new held_table;  // outlives exit handlers
    return *held;
}

size_t path_hash(const std::string& path) {
    return std::hash<std::string_view>()(std::string_view(path));
}

// Whether the file's last change, of data or status, is old enough that
// a later one gets another time.
bool settled(const struct stat& st) {
    int64_t now = static_cast<int64_t>(time(nullptr));
    int64_t latest = std::max<int64_t>(st.st_mtim.tv_sec, st.st_ctim.tv_sec);
    return latest + settle_seconds < now;
}

}  // namespace

http_file_bytes http_find_held_bytes(const std::string& path, const struct stat& st, http_held_kind kind) {
    held_table& held = table();
    file_version version(st, kind);
    std::shared_lock<std::shared_mutex> hold(held.lock);
    auto range = held.entries.equal_range(path_hash(path));
    for (auto it = range.first; it != range.second; ++it)
        if (it->second.version == version && it->second.path == path)
            return it->second.bytes;
    return nullptr;
}

void http_hold_bytes(const std::string& path, const struct stat& st, http_held_kind kind, http_file_bytes bytes) {
    if (!bytes || bytes->size() > http_small_file_max || !settled(st))
        return;
    held_table& held = table();
    file_version version(st, kind);
    size_t hash = path_hash(path);
    try {
        std::unique_lock<std::shared_mutex> hold(held.lock);
        auto range = held.entries.equal_range(hash);
        for (auto it = range.first; it != range.second;) {
            if (it->second.path == path && it->second.version.kind == kind) {
                held.bytes -= it->second.bytes->size();
                it = held.entries.erase(it);
            } else {
                ++it;
            }
        }
        if (held.entries.size() >= held_entries_max || held.bytes + bytes->size() > held_bytes_max) {
            held.entries.clear();
            held.bytes = 0;
        }
        held.bytes += bytes->size();
        held.entries.emplace(hash, held_entry{path, version, std::move(bytes)});
    } catch (const std::bad_alloc&) {
        // Not held: the file is read again next time.
    }
}

bool http_read_at(int fd, char* out, uint64_t offset, uint64_t length) {
    uint64_t got = 0;
    while (got < length) {
        ssize_t n = pread(fd, out + got, static_cast<size_t>(length - got), static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += static_cast<uint64_t>(n);
    }
    return true;
}

http_file_bytes http_read_bytes(int fd, uint64_t length) {
    if (length > http_small_file_max)
        return nullptr;
    try {
        auto bytes = std::make_shared<std::string>(static_cast<size_t>(length), '\0');
        return http_read_at(fd, &(*bytes)[0], 0, length) ? bytes : nullptr;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

bool http_deny_file_present(const std::string& folder) {
    struct answer {
        bool present;
        std::chrono::steady_clock::time_point checked;
    };
    const size_t answers_max = 1024;
    // Spellings of one folder ("a/./b", "a//b") are told apart here, so
    // long ones are asked each time rather than kept: what a worker
    // keeps stays small whatever paths clients invent.
    const size_t folder_max = 512;
    auto look = [&folder] { return kiv_file_exists((folder + "/.deny_http_access").c_str()); };
    if (folder.size() > folder_max)
        return look();
    thread_local std::unordered_map<std::string, answer> answers;
    auto now = std::chrono::steady_clock::now();
    auto found = answers.find(folder);
    if (found != answers.end() && now - found->second.checked < std::chrono::seconds(1))
        return found->second.present;
    bool present = look();
    if (found != answers.end()) {
        found->second = {present, now};
        return present;
    }
    if (answers.size() >= answers_max)
        answers.clear();
    try {
        answers.emplace(folder, answer{present, now});
    } catch (const std::bad_alloc&) {
        // Asked again next time.
    }
    return present;
}

}  // namespace kiv
