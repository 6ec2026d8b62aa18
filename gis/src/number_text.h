// number_text.h --
//
//     Numbers in the service's texts, independent of the C locale (a GUI
//     toolkit may switch LC_NUMERIC to a comma): fixed-point output as
//     printf's "%.Nf" gives it in the "C" locale, and input read as atof
//     reads it there.

#ifndef KIV_GIS_SRC_NUMBER_TEXT_H
#define KIV_GIS_SRC_NUMBER_TEXT_H

#include <charconv>
#include <locale.h>
#include <stdlib.h>
#include <string>

namespace kiv {

// Returns: `value` with `decimals` digits after the point ("nan",
//     "inf", "-inf" for those).
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
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    if (text == nullptr || c_locale == static_cast<locale_t>(0))
        return 0.0;
    return strtod_l(text, nullptr, c_locale);
}

}  // namespace kiv

#endif
