// files.h --
//
//     File system work for every library: absolute paths under the
//     installation root, existence tests, whole-file reads and writes,
//     directory listings, creation and removal. Paths use "/" as
//     separator; relative paths are relative to KIV_ROOT_PATH, not to the
//     working directory. Path and text results are malloc-ed blocks the
//     caller frees; listings are new collections of `string` items with
//     one reference for the caller. All functions are safe from any
//     thread and report failure by null or false.

#ifndef KIV_CORE_FILES_H
#define KIV_CORE_FILES_H

#include <kiv/core/export.h>

namespace kiv {
class i_binary;
class i_object_col;
}  // namespace kiv

// Makes `rel_path` absolute: "\" becomes "/"; a path starting with "/" is
// kept; any other is joined to KIV_ROOT_PATH. When the path holds ".." or
// "$", or the root holds "..", ${VAR} references are expanded through the
// string service and "." and ".." components are folded.
// Returns: the path, or null without a core (before kiv_initialize or
//     after kiv_terminate), for a null path, a relative path with an
//     unset root, a missing string service or a failed expansion.
KIV_EXTERN_C char* kiv_get_absolute_path(const char* rel_path);

// Whether `pathname` (taken as given, relative to the working directory;
// trailing separators ignored) is an existing directory / an existing
// entry that is not a directory. False for null or empty text.
KIV_EXTERN_C bool kiv_dir_exists(const char* pathname);
KIV_EXTERN_C bool kiv_file_exists(const char* pathname);

// Reads a whole file as text (CR LF read as LF).
// Returns: the text, or null when the file is missing or unreadable.
KIV_EXTERN_C char* kiv_read_file(const char* file_path);
// Reads a whole file. Returns: a byte block with one reference for the
//     caller, or null when the file is missing, unreadable, over 4 GiB
//     or shorter than its size said.
KIV_EXTERN_C kiv::i_binary* kiv_read_binary_file(const char* file_path);
// Writes a whole file, replacing it only once everything was written
// (append: adds to its end, all or nothing). Returns: false when
// anything failed; the file is then left as it was (a failed append is
// cut back, a file it created removed).
KIV_EXTERN_C bool kiv_write_binary_file(const char* file_path, const void* data, unsigned data_size,
                                        bool append = false);
// Writes a text without its terminator, as kiv_write_binary_file.
KIV_EXTERN_C bool kiv_write_file(const char* file_path, const char* data, bool append = false);

// Lists the entries of `dir` matching `file_spec` (shell wildcards, ASCII
// case ignored; "*.*" matches every name), sorted by name. target_type:
// 0 or 3 files and directories, 1 files only, 2 directories only (a
// symbolic link counts as what it points to; a dangling one as a file).
// Returns: the collection (empty for a missing directory), or null for
//     null or empty arguments or a path that cannot be made absolute.
KIV_EXTERN_C kiv::i_object_col* kiv_scan_dir(const char* dir, const char* file_spec, unsigned char target_type);
// Splits ";"-separated path masks ("dir/*.tcl") and lists the files each
// matches, as "dir/name". Returns: the collection (maybe empty), null for null.
KIV_EXTERN_C kiv::i_object_col* kiv_split_path(const char* paths);

// Creates one directory. Returns: true when created.
KIV_EXTERN_C bool kiv_mkdir(const char* path);
// Removes a directory; with `recursive` its contents first. Symbolic
// links are removed, never followed. Stops at the first failure.
KIV_EXTERN_C bool kiv_rmdir(const char* path, bool recursive);
// Creates a directory and every missing parent: kiv_make_dirs on the
// absolute path, with mode 0777 (less the umask).
// Returns: whether the directory exists afterwards (true for null).
KIV_EXTERN_C bool kiv_make_path(const char* path);
// Creates the directory `path`, taken as given (relative to the working
// directory, nothing expanded), and every missing parent; the new ones
// get `mode` (less the umask), existing ones are left as they are. A
// path that cannot be made whole leaves none of the folders this call
// made.
// Returns: whether the directory exists afterwards (true for null); in
//     *error (when not null) 0, or the errno of the step that failed
//     (ENOTDIR where something other than a folder stands in the way).
KIV_EXTERN_C bool kiv_make_dirs(const char* path, unsigned mode, int* error);

// The local charset name kept for callers that ask for it ("cp1251").
// Returns: false for null or a name over 1022 characters (kept unchanged).
KIV_EXTERN_C bool kiv_set_local_charset(const char* chs);
KIV_EXTERN_C const char* kiv_get_local_charset();

#endif
