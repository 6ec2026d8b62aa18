// c_locale.cpp --
//
//     The "C" locale object and printf and strtod in it (see c_locale.h).
//     The C library reads the decimal point from the calling thread's
//     locale, so formatting runs with the object installed for this
//     thread only (c_locale_scope), which no other thread sees; reading
//     uses strtod_l with the same object.

#include <kiv/core/c_locale.h>

#include <stdlib.h>

#include <cstdio>

namespace kiv {

locale_t c_locale() {
    static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return c;
}

int c_vsnprintf(char* buffer, size_t size, const char* format, va_list args) {
    locale_t c = c_locale();
    if (c == static_cast<locale_t>(0)) {
        // Only when memory ran out at the first call: nothing is written,
        // rather than a number in the wrong form.
        if (buffer != nullptr && size > 0)
            buffer[0] = '\0';
        return -1;
    }
    c_locale_scope in_c;
    return std::vsnprintf(buffer, size, format, args);
}

int c_snprintf(char* buffer, size_t size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = c_vsnprintf(buffer, size, format, args);
    va_end(args);
    return n;
}

double c_strtod(const char* text, char** end) {
    locale_t c = c_locale();
    if (text == nullptr || c == static_cast<locale_t>(0)) {
        if (end != nullptr)
            *end = const_cast<char*>(text);
        return 0.0;
    }
    return strtod_l(text, end, c);
}

}  // namespace kiv
