// library_protocol.h --
//
//     The four plain functions every library of the system exports under
//     unmangled names, through which the core's loader recognises and
//     starts it. Each library defines all four in its own source; the
//     -Bsymbolic link keeps each library's calls bound to its own.

#ifndef KIV_CORE_LIBRARY_PROTOCOL_H
#define KIV_CORE_LIBRARY_PROTOCOL_H

#include <kiv/core/export.h>

// Returns: the library's name, such as "kiv_core" (static text).
KIV_EXTERN_C const char* kiv_library_name();
// Returns: the library's version text, such as "3.18.0152" (static text).
KIV_EXTERN_C const char* kiv_library_version();
// Returns: whether the library is usable; read after its entry has run.
KIV_EXTERN_C bool kiv_library_initialized();
// The library's start-up: loads the libraries it needs and registers its
// services. Runs on the thread that loads the library.
KIV_EXTERN_C void kiv_library_entry();

#endif
