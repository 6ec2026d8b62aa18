// coord_list.h --
//
//     Reading the coordinate lists that scripts and pages pass as text
//     ("55.7,55.8,55.9"), for the flat functions that forward them to
//     "svc_gis" as arrays.

#ifndef KIV_GIS_SRC_COORD_LIST_H
#define KIV_GIS_SRC_COORD_LIST_H

#include <vector>

namespace kiv {

// Pairs the numbers of `lats` with those of `lons`, both split at ","
// with empty items skipped; an item of 128 characters or more ends its
// list. The items are counted first, so a large `point_count` allocates
// nothing unless the texts really hold that many pairs.
// Returns: true with exactly `point_count` latitudes and longitudes when
//     both lists hold at least that many numbers (surplus ones are
//     ignored); false for null texts, a point_count of 0, too few
//     numbers or no memory.
bool parse_coord_lists(const char* lats, const char* lons, unsigned point_count, std::vector<double>& lat_values,
                       std::vector<double>& lon_values);

}  // namespace kiv

#endif
