// coord_list.cpp --
//
//     Coordinate lists as text. Numbers are read as atof reads them in
//     the "C" locale, so a GUI that switched LC_NUMERIC to a comma does
//     not change what a list means.

#include "coord_list.h"

#include <kiv/core/auto_string.h>
#include <kiv/core/c_locale.h>

#include <new>

namespace kiv {

namespace {

// Longest item kept, terminator included: a longer one ends the list.
constexpr unsigned item_buffer = 128;

// Returns: how many items `text` yields, stopping at `limit`.
unsigned count_items(const char* text, unsigned limit) {
    string_tokenizer tokens(text, ',');
    char item[item_buffer];
    unsigned n = 0;
    while (n < limit && tokens.next(item, sizeof item, true))
        ++n;
    return n;
}

// Reads the first `count` items of `text` (known to be there).
void read_items(const char* text, unsigned count, std::vector<double>& values) {
    string_tokenizer tokens(text, ',');
    char item[item_buffer];
    for (unsigned i = 0; i < count && tokens.next(item, sizeof item, true); ++i)
        values[i] = parse_leading_double(item);
}

}  // namespace

bool parse_coord_lists(const char* lats, const char* lons, unsigned point_count, std::vector<double>& lat_values,
                       std::vector<double>& lon_values) {
    if (lats == nullptr || lons == nullptr || point_count == 0)
        return false;
    if (count_items(lats, point_count) < point_count || count_items(lons, point_count) < point_count)
        return false;
    try {
        lat_values.assign(point_count, 0.0);
        lon_values.assign(point_count, 0.0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    read_items(lats, point_count, lat_values);
    read_items(lons, point_count, lon_values);
    return true;
}

}  // namespace kiv
