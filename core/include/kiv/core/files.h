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

// Whether `pathname` names an existing directory (kiv_dir_exists) or an
// existing entry that is not a directory (kiv_file_exists). Trailing "/"
// and "\\" are ignored, except that a root such as "/" keeps its
// separator. The path is taken as given (relative to the working
// directory). Returns: false for null or empty text. Any thread.
KIV_EXTERN_C bool kiv_dir_exists(const char* pathname);
KIV_EXTERN_C bool kiv_file_exists(const char* pathname);

// The name of the local 8-bit charset ("cp1251" from start-up on), kept
// for callers that ask for it; the text conversions do not consult it.
// Returns: false for null or a name longer than 1022 characters (the old
// name stays).
KIV_EXTERN_C bool kiv_set_local_charset(const char* chs);
// Returns: the stored name (borrowed; the empty text until one is set).
KIV_EXTERN_C const char* kiv_get_local_charset();

#endif
