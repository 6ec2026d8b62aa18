// http_files.h --
//
//     The files the web server keeps beside the sites it serves: gzip
//     copies of text files in the library's private temp folder, the
//     access log of each virtual server and the process-wide error log
//     "$KIV_ROOT_PATH/logs/http_error.log". The request engine uses them;
//     tests reach them alone through kiv_http_internal.
//
//     All functions are safe from any thread.

#ifndef KIV_HTTP_SRC_HTTP_FILES_H
#define KIV_HTTP_SRC_HTTP_FILES_H

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace kiv {

// Finds or makes the gzip copy of the regular file `path` in the folder
// "http" under the framework's temp folder. The copy's name is the MD5
// of the file's version: its size, the modification time with
// nanoseconds, its device and inode and the time of its last status
// change, so a file changed within the same second, replaced by another
// of the same size and time, or rewritten with its old time put back,
// gets a new copy, while every path that names the file (a spelling of
// it, a link) finds its one copy; a copy is written
// to a unique temporary name and renamed into place only when complete,
// so a torn copy is never found. The file is read in chunks of at most
// 1 MiB. Old copies are never removed.
// With `keep` false the copy is made anew under a name of its own, for
// one answer; the caller deletes it (the file it was made from is
// about to be deleted, so nothing of it may stay in the cache).
// A copy found that is no whole gzip archive of the file (cut short or
// overwritten) is made anew, and `*invalid` (when given) set.
// Returns: the copy's path, or "" when `path` is no regular file, the
//     MD5 or zip service is missing, or the copy could not be made.
std::string http_gzip_copy(const char* path, bool keep = true, bool* invalid = nullptr);

// Opens the gzip copy already made of the file `path` in the state `st`
// (http_gzip_copy remembers the copies it made or found), without
// looking at the file itself or making anything.
// A copy that is no whole gzip archive of the file is removed and
// forgotten, with `*invalid` set.
// Returns: its descriptor with its size in `*size`, or -1 when no copy
//     is known, it is gone or it was invalid.
int http_open_known_gzip_copy(const char* path, const struct stat& st, uint64_t* size, bool* invalid);

// The longest error-log line, its line feed included: a client's text
// in it (the request line, a path in the message) is cut to fit, as the
// escapes make it up to four times as long as what was sent.
const size_t http_error_log_line_max = 2048;

// Appends one line "<time>; URL: '<request line>'; <message>" (time as
// in the access log, UTC; the texts escaped and cut with the mark "[...]"
// so that the line holds at most http_error_log_line_max bytes) to
// "$KIV_ROOT_PATH/logs/http_error.log", kept
// open (http_log.h). The folder is not made; a line that cannot be
// written is dropped, said on stderr when the log worked until then.
// Lines of several threads never interleave.
void http_write_error_log(const char* request_line, const char* message);

// Lets the error log go, so that shut-down closes it once the last line
// was written; a later error line opens it again.
void http_release_error_log();

}  // namespace kiv

#endif
