// gis_lib.h --
//
//     The flat functions of kiv_gis that map users and scripts call
//     without holding "svc_gis" themselves: the map picture through the
//     disk cache of rendered images, location texts and road snapping for
//     coordinate lists given as text, the maps state and the JSON of a
//     search result. Each looks the service up, uses it and releases it
//     before returning; without the service each gives null.
//
//         auto_ptr_t<kiv::i_gis_viewport> vp(kiv_gis_create_viewport(800, 600));
//         vp->set_center(55.75, 37.62, 100000);
//         auto_ptr_t<kiv::i_image> img(kiv_gis_get_image(vp, "roads", "", true));
//
//     All of them may be called from any thread.

#ifndef KIV_GIS_GIS_LIB_H
#define KIV_GIS_GIS_LIB_H

#include <kiv/core/export.h>
#include <kiv/core/i_object_col.h>
#include <kiv/gis/i_gis_driver.h>
#include <kiv/gis/i_gis_road_lock.h>
#include <kiv/gis/i_gis_viewport.h>

namespace kiv {
class i_image;
}

// The picture of the default driver for the viewport, layers and tags.
// With `use_cache` (and the cache on, see KIV_GIS_CACHE_PATH) a PNG of
// the rendered-image cache is returned when one exists for this renderer
// version, scale, layers, tags, corners and size and has the viewport's
// width and height; otherwise the picture is rendered and then stored
// there (written beside and renamed into place). Without `use_cache`
// the cache is neither read nor written.
// Returns: a new image with one reference for the caller; null for a
//     null argument, no service or driver, a viewport that cannot be
//     computed, or a failed rendering.
KIV_EXTERN_C kiv::i_image* kiv_gis_get_image(kiv::i_gis_viewport* vp, const char* layers = "",
                                             const char* map_tags = "", bool use_cache = false);

// The service's location text of the default driver (see
// i_gis_service::get_location_text).
// Returns: a malloc-ed text the caller frees, or null.
KIV_EXTERN_C char* kiv_gis_get_loc_text(double lat, double lon, double max_range, const char* text);

// The service's get_locations_text for points given as two lists of
// numbers separated by "," (empty items are skipped; an item of 128
// characters or more ends its list). The i-th latitude pairs with the
// i-th longitude; exactly `point_count` pairs must be there (surplus
// items are ignored).
// Returns: a new collection with one reference, or null for a null
//     argument, a point_count of 0, fewer pairs than point_count or a
//     failed call.
KIV_EXTERN_C kiv::i_object_col* kiv_gis_get_locations_text(const char* driver_name, const char* lats,
                                                           const char* lons, unsigned point_count,
                                                           double max_range, const char* text);

// The service's lock_points_to_road for points given as lists, read as
// for kiv_gis_get_locations_text.
// Returns: a new road lock with one reference, or null.
KIV_EXTERN_C kiv::i_gis_road_lock* kiv_gis_lock_points_to_road(const char* driver_name, const char* lats,
                                                               const char* lons, unsigned point_count,
                                                               double max_range, bool simulate);

// Returns: the service's maps-state JSON (malloc-ed, the caller frees
//     it), or null.
KIV_EXTERN_C char* kiv_gis_get_maps_state();

// The items of a search result as JSON, from the first one on (the
// result's cursor is moved): [{id:7,text:"Main St",lat:1.500000,
// lon:2.250000},...], "[]" for none, written by the HTTP library's JSON
// writer.
// Returns: a malloc-ed text the caller frees; null for a null result, an
//     item without text or point, or no writer.
KIV_EXTERN_C char* kiv_gis_get_search_result_json(kiv::i_gis_search_result* sres);

#endif
