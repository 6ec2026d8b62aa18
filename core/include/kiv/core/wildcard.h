// wildcard.h --
//
//     Matching names against wildcard patterns: "*" matches any run of
//     characters (the empty one too), "?" matches one character, every
//     other character matches itself. A leading "!" inverts the result.
//     Lists are comma-separated patterns (empty entries skipped), used
//     for configured filters such as trusted proxy servers.
//
//     All functions are reentrant and safe from any thread.

#ifndef KIV_CORE_WILDCARD_H
#define KIV_CORE_WILDCARD_H

#include <kiv/core/export.h>

// Byte-wise and case-sensitive: "*.tcl" matches "start.tcl", not
// "start.TCL". Returns: false when wild or val is null.
KIV_EXTERN_C bool kiv_wildcmp(const char* wild, const char* val);

// Per UTF-8 character and without regard to letter case (Cyrillic
// included): "*.tcl" matches both. Returns: false when wild or val is null.
KIV_EXTERN_C bool kiv_wildicmp(const char* wild, const char* val);

// Returns: true when any pattern of the comma list `filter` matches
//     `value` (kiv_wildcmp); true as well for a null or empty list or a
//     null value.
KIV_EXTERN_C bool kiv_wildcmp_list(const char* filter, const char* value);

// The kiv_wildicmp form of kiv_wildcmp_list.
KIV_EXTERN_C bool kiv_wildicmp_list(const char* filter, const char* value);

#endif
