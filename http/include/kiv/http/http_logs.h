// http_logs.h --
//
//     The web server's log files as a program that hosts it rotates
//     them. Each virtual server's access log and the error log stay open
//     for appending; a log renamed or removed is noticed within a second
//     and opened again at its path, and a host that rotates by signal (as
//     http_serve does on SIGHUP) asks for it at once. A log may also be a
//     pipe or a character device (/dev/stdout), which is not rotated.

#ifndef KIV_HTTP_HTTP_LOGS_H
#define KIV_HTTP_HTTP_LOGS_H

#include <kiv/core/export.h>

// Opens every log file of the web server afresh at its path: lines
// written from then on go to the file the path names now. A log whose
// path cannot be opened keeps the file open so far, and says so on
// stderr (naming the file and the reason) unless it said so already
// since it last worked.
// Returns: whether every log opened (true when there is none). Any
//     thread, also while requests run; not from a signal handler.
KIV_EXTERN_C bool kiv_http_reopen_logs();

#endif
