// style_attributes.cpp --
//
//     Number, colour and list readers of the render configuration. The
//     layer files were written for atoi/atof; these keep their results
//     for every sane text while never depending on the process locale
//     (a "," decimal locale would read "1.5" as 1) and never overflowing.

#include "render/style_attributes.h"

#include <kiv/core/ascii_case.h>
#include <kiv/core/c_locale.h>
#include <kiv/image/image_lib.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kiv::render_attr {

namespace {

const char* skip_blanks(const char* p) {
    while (*p != 0 && kiv::ascii_isspace(static_cast<unsigned char>(*p)))
        ++p;
    return p;
}

template <class T, class Read, class Valid>
int fill_any(const char* text, unsigned first_level, T out[level_count], Read read, Valid valid) {
    for (unsigned i = 0; i < level_count; ++i)
        out[i] = 0;
    std::vector<std::string> items = split_list(text);
    unsigned level = first_level;
    for (const std::string& item : items) {
        if (level >= level_count)
            break;
        T value = read(item.c_str());
        if (!valid(value))
            return -1;
        out[level++] = value;
    }
    if (items.empty())
        return 0;
    for (; level < level_count; ++level)
        out[level] = out[level - 1];
    return static_cast<int>(items.size() > INT_MAX ? INT_MAX : items.size());
}

}  // namespace

int to_int(const char* text) {
    if (text == nullptr)
        return 0;
    const char* p = skip_blanks(text);
    bool negative = false;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        value = INT_MAX;
    return static_cast<int>(value);
}

double to_double(const char* text) {
    return parse_leading_double(text);
}

std::vector<std::string> split_list(const char* text) {
    std::vector<std::string> items;
    if (text == nullptr)
        return items;
    const char* p = text;
    while (*p != 0) {
        const char* end = std::strchr(p, ',');
        size_t len = end != nullptr ? static_cast<size_t>(end - p) : std::strlen(p);
        if (len > 0)
            items.emplace_back(p, len);
        if (end == nullptr)
            break;
        p = end + 1;
    }
    return items;
}

int fill_levels(const char* text, unsigned first_level, double limit, double out[level_count]) {
    return fill_any(text, first_level, out, to_double,
                    [limit](double v) { return std::isfinite(v) && v >= 0 && v <= limit; });
}

int fill_levels(const char* text, unsigned first_level, int limit, int32_t out[level_count]) {
    return fill_any(text, first_level, out, [](const char* t) { return static_cast<int32_t>(to_int(t)); },
                    [limit](int32_t v) { return v >= 0 && v <= limit; });
}

uint32_t to_color(const char* text) {
    return kiv_image_text2color(text != nullptr ? text : "");
}

}  // namespace kiv::render_attr
