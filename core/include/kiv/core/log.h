// log.h --
//
//     The two diagnostic channels. Trace gets everything traced and goes
//     to standard output by default; the log gets messages whose level is
//     at most the log level (default 0) and goes nowhere until a facility
//     is set. A facility is "stdout", "stderr" or a file name (made
//     absolute under KIV_ROOT_PATH, opened for appending). Each line is
//     "%Y/%m/%d %H:%M:%S: " (local time), the message and a line feed,
//     at most 1023 bytes in all; longer messages are cut.
//
//     All functions are safe from any thread; lines never interleave.

#ifndef KIV_CORE_LOG_H
#define KIV_CORE_LOG_H

#include <kiv/core/export.h>

#include <cstdarg>

// Writes one line to the trace channel when trace is enabled.
KIV_EXTERN_C void kiv_trace(const char* format, ...) KIV_PRINTF(1, 2);
// Writes one line to the trace channel when trace is enabled, and to the
// log channel when `level` is at most the log level; formatted once, so
// both channels carry the same time stamp.
KIV_EXTERN_C void kiv_log(unsigned level, const char* format, ...) KIV_PRINTF(2, 3);
KIV_EXTERN_C void kiv_vlog(unsigned level, const char* format, va_list args) KIV_PRINTF(2, 0);
KIV_EXTERN_C void kiv_vtrace(const char* format, va_list args) KIV_PRINTF(1, 0);
// Returns: the last message the calling thread logged at level 0, without
//     its time stamp (cut at 1023 bytes), whatever the log level and
//     facility; empty when it has logged none. A failing call logs its
//     cause at level 0, so a host can show it after the call returns.
//     Borrowed: the thread's next level-0 line overwrites it.
KIV_EXTERN_C const char* kiv_last_log_error();

KIV_EXTERN_C void kiv_enable_trace(bool enable);
KIV_EXTERN_C void kiv_set_log_level(unsigned level);
// Null changes nothing; a name that cannot be made absolute or is longer
// than 1023 characters is ignored. A file that cannot be opened leaves
// the channel silent.
KIV_EXTERN_C void kiv_set_log_facility(const char* facility);
KIV_EXTERN_C void kiv_set_trace_facility(const char* facility);
// Returns: the facility name (borrowed; changes with the next set call).
KIV_EXTERN_C const char* kiv_get_log_facility();
KIV_EXTERN_C const char* kiv_get_trace_facility();

namespace kiv {
// Flushes the two channels when they are files (the housekeeping thread
// calls this every pass).
KIV_EXPORT void log_flush_files();
// Closes the two channels when they are files and forgets them
// (kiv_terminate calls this last).
KIV_EXPORT void log_close_files();
}  // namespace kiv

#endif
