// maps_state_json.h --
//
//     The text of the maps-state JSON of "svc_gis": one object with the
//     member maps, an array of {n,t,c,v,e} objects, in the form the HTTP
//     library's JSON writer gives.

#ifndef KIV_GIS_SRC_MAPS_STATE_JSON_H
#define KIV_GIS_SRC_MAPS_STATE_JSON_H

#include <kiv/core/i_object_col.h>

namespace kiv {

// Writes one entry per item of `maps` that is an i_gis_map, in the
// collection's order (others are skipped): name, tags, copyright,
// version, and the envelope or null.
// Returns: a malloc-ed text the caller frees; null for a null
//     collection or when memory fails.
char* build_maps_state_json(i_object_col* maps);

}  // namespace kiv

#endif
