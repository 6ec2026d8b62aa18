// files.h --
//
//     Paths of the framework. Paths use "/" as separator; relative paths
//     are relative to the installation root KIV_ROOT_PATH, not to the
//     working directory.

#ifndef KIV_CORE_FILES_H
#define KIV_CORE_FILES_H

#include <kiv/core/export.h>

// Makes `rel_path` absolute: "\" becomes "/", a relative path is joined
// to KIV_ROOT_PATH, and "." and ".." components are folded.
// Returns: a malloc-ed path the caller frees, or null for a null path or
//     when a relative path meets an unset KIV_ROOT_PATH.
KIV_EXTERN_C char* kiv_get_absolute_path(const char* rel_path);

// Both take the path as given (relative to the working directory) and
// ignore trailing "/" and backslash (a root keeps its separator).
// Returns: true for an existing directory; false for null or empty text.
KIV_EXTERN_C bool kiv_dir_exists(const char* pathname);
// Returns: true for an existing entry that is not a directory; false for
//     null or empty text.
KIV_EXTERN_C bool kiv_file_exists(const char* pathname);

#endif
