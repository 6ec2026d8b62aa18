// c_locale.h --
//
//     Text work done as the "C" locale has it, whatever locale the
//     process runs under. The framework runs inside other programs, and
//     they set locales: a GUI program's locale object switches LC_NUMERIC
//     to a decimal comma after start, which turns printf's "12.5" into
//     "12,5" and makes strtod stop at the "."; Tcl takes LC_CTYPE from the
//     environment at start, and a Turkish one folds "I" to a dotless i.
//
//     Every number that a program reads back (names, file names, XML,
//     JSON, configuration, protocol lines, logs) and every number the map
//     view shows is written and read through these; names are cased with
//     ascii_case.h.

#ifndef KIV_CORE_C_LOCALE_H
#define KIV_CORE_C_LOCALE_H

#include <kiv/core/export.h>

#include <locale.h>

#include <charconv>
#include <cstdarg>
#include <cstddef>
#include <string>

namespace kiv {

// Returns: the "C" locale object, made on the first call and kept for
//     the life of the process (read-only: any thread may use it at once);
//     null only when memory ran out at that first call. For a C library
//     call that has no "_l" form, install it for the calling thread alone
//     with uselocale around the call (uselocale of null changes nothing).
KIV_EXPORT locale_t c_locale();

// Installs the "C" locale for the calling thread alone while it lives,
// then puts back the locale the thread had before: the process's global
// one or one of the thread's own, whichever it was. Scopes nest (an
// inner one puts back the "C" locale of the outer one), and a thread
// that ends by unwinding (pthread_exit, Tcl_ExitThread) passes through
// the destructor as well. Other threads are not affected. Lives on the
// stack of the thread that made it; without the locale object (memory
// ran out at the first c_locale call) it changes nothing.
class c_locale_scope {
public:
    c_locale_scope() : before_(uselocale(c_locale())) {}
    ~c_locale_scope() { uselocale(before_); }
    c_locale_scope(const c_locale_scope&) = delete;
    c_locale_scope& operator=(const c_locale_scope&) = delete;

private:
    locale_t before_;  // the thread's locale before (LC_GLOBAL_LOCALE for the global one)
};

// snprintf and vsnprintf in the "C" locale: a "." before the decimals,
// no grouping. The calling thread's locale is left as it was; other
// threads are not affected. Returns: as the C library's functions.
KIV_EXPORT int c_snprintf(char* buffer, size_t size, const char* format, ...) KIV_PRINTF(3, 4);
KIV_EXPORT int c_vsnprintf(char* buffer, size_t size, const char* format, va_list args);

// strtod in the "C" locale.
// Returns: the number, 0.0 when `text` starts with none or is null (then
//     *end, when given, is `text`).
KIV_EXPORT double c_strtod(const char* text, char** end);

// Returns: `value` with `decimals` digits after the point, as "%.*f"
//     gives it in the "C" locale ("nan", "inf", "-inf" for those); ""
//     when it does not fit (never for decimals up to 30).
inline std::string format_fixed(double value, int decimals) {
    char buf[400];  // the longest double in fixed notation needs 309 digits + decimals
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (res.ec != std::errc())
        return std::string();
    return std::string(buf, res.ptr);
}

// Reads a leading number exactly as atof does in the "C" locale.
// Returns: the number, 0.0 when the text starts with none or is null.
inline double parse_leading_double(const char* text) {
    return c_strtod(text, nullptr);
}

}  // namespace kiv

#endif
