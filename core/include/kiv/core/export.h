// export.h --
//
//     The one export macro of the project. Every library is compiled with
//     hidden visibility; classes and flat functions that other libraries
//     or scripts reach are marked KIV_EXPORT. On this platform importing
//     and exporting are the same attribute, so every library uses it.

#ifndef KIV_CORE_EXPORT_H
#define KIV_CORE_EXPORT_H

#define KIV_EXPORT __attribute__((visibility("default")))

// A member of an exported class that stays inside its library (a private
// helper no caller may reach).
#define KIV_HIDDEN __attribute__((visibility("hidden")))

// Flat functions that are looked up by name (the library protocol, Tcl
// package initialisers) keep unmangled names.
#define KIV_EXTERN_C extern "C" KIV_EXPORT

// printf-style checking of our own format arguments.
#define KIV_PRINTF(fmt_index, first_arg) __attribute__((format(printf, fmt_index, first_arg)))

#endif
