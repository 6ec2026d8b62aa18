// http_file_cache.h --
//
//     What the pool workers remember between answers so that a static
//     answer costs few system calls:
//
//     - the bytes of small files and of small gzip copies, by the file's
//       path and version (size, modification and change times to the
//       nanosecond, device and inode). A file is only held once its last
//       change is at least a second old: a file written again within the
//       same clock tick, to the same size, would otherwise keep its old
//       bytes. A changed file has a new version and is read again; the
//       old version's bytes go at once.
//     - whether a folder holds the deny file, checked again when the
//       answer is over a second old, so a deny file added to a folder
//       takes effect within a second.
//
//     All functions are safe from any thread.

#ifndef KIV_HTTP_SRC_HTTP_FILE_CACHE_H
#define KIV_HTTP_SRC_HTTP_FILE_CACHE_H

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <string>

namespace kiv {

// Files up to this size go out of memory with the head in one send.
const uint64_t http_small_file_max = 64 * 1024;

// The status of a path taken once while a request is resolved, so that
// sending the file needs not take it again.
struct http_path_status {
    bool taken = false;    // whether stat was called
    int error = 0;         // its errno when it failed, else 0
    struct stat st = {};   // the status when it succeeded
};

// The bytes held in memory.
using http_file_bytes = std::shared_ptr<const std::string>;

// What is held of a file: the file itself or its gzip copy.
enum class http_held_kind { file, gzip_copy };

// Returns: the bytes held for the file `path` in the state `st` (the
//     file's own status, also for its gzip copy), else null.
http_file_bytes http_find_held_bytes(const std::string& path, const struct stat& st, http_held_kind kind);

// Holds `bytes` for the file `path` in the state `st`, in place of any
// earlier version, when they are small and the file has settled (see
// above); otherwise nothing.
void http_hold_bytes(const std::string& path, const struct stat& st, http_held_kind kind, http_file_bytes bytes);

// Reads `length` bytes of the open file `fd` from `offset` into `out`.
// Returns: false when the file gives fewer.
bool http_read_at(int fd, char* out, uint64_t offset, uint64_t length);

// Reads `length` bytes of the open file `fd` from its start.
// Returns: the bytes, or null when the file gives fewer or memory fails.
http_file_bytes http_read_bytes(int fd, uint64_t length);

// Returns: whether the folder `folder` holds ".deny_http_access", as
//     found at most a second ago.
bool http_deny_file_present(const std::string& folder);

}  // namespace kiv

#endif
