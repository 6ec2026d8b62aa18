// location_text.h --
//
//     Location texts: the name of the place feature nearest to a point.
//     A place point counts by its distance, a place line or area by the
//     distance to the nearest segment whose perpendicular foot lies on
//     it. Maps flagged as not wording locations are left out; a covering
//     map that holds the point and named a place ends the scan.
//
//     Callable from any thread; each map's pages are unlocked when its
//     search ends (only a copy of the name is kept).

#ifndef KIV_OZM_SEARCH_LOCATION_TEXT_H
#define KIV_OZM_SEARCH_LOCATION_TEXT_H

#include <kiv/core/i_object_col.h>

#include "search/map_list.h"

namespace kiv {
namespace ozm {

// The nearest place within `max_range` metres of (lat, lon) over the
// maps of `maps` (the driver's, by priority).
// Changes: *range receives the place's distance in metres.
// Returns: the place name as a malloc-ed text the caller frees; null
//     when `range` is null, no place is in range (a range of 0 finds
//     nothing) or memory runs out.
char* location_text(const map_list& maps, double lat, double lon, double max_range, double* range);

// One named string per point, in point order: the value the location
// text, the name its distance printed with "%f" in the "C" locale (the
// GIS service reads it back as a number, whatever the host's locale);
// both empty for a point without a place.
// Returns: a new collection with one reference for the caller; null for
//     null arrays or when memory runs out.
i_object_col* locations_text(const map_list& maps, const double* lats, const double* lons,
                             unsigned point_count, double max_range);

}  // namespace ozm
}  // namespace kiv

#endif
