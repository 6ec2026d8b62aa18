// http_logs.h --
//
//     The web server's log files as a program that hosts it rotates
//     them. Each virtual server's access log and the error log stay open
//     for appending; a log renamed or removed is noticed within a second
//     and opened again at its path, and a host that rotates by signal (as
//     http_serve does on SIGHUP) asks for it at once.

#ifndef KIV_HTTP_HTTP_LOGS_H
#define KIV_HTTP_HTTP_LOGS_H

#include <kiv/core/export.h>

// Opens every log file of the web server afresh at its path: lines
// written from then on go to the file the path names now. A file that
// cannot be opened keeps the one open so far (and says so once on
// stderr). Any thread, also while requests run; not from a signal
// handler.
KIV_EXTERN_C void kiv_http_reopen_logs();

#endif
