// image_cache.h --
//
//     The disk cache of rendered map pictures: where it lives and how a
//     picture is named in it. The tree is
//         root / renderer version / scale / CRC of layers / CRC of tags /
//             <lon0>_<lat0>_<lon1>_<lat1>_<width>_<height>.png
//     so a new renderer version starts a new subtree and nothing is ever
//     deleted. The library entry sets the root; kiv_gis_get_image reads
//     and writes the files.

#ifndef KIV_GIS_SRC_IMAGE_CACHE_H
#define KIV_GIS_SRC_IMAGE_CACHE_H

#include <kiv/gis/gis_types.h>

#include <string>

namespace kiv {

// Chooses the cache root from KIV_GIS_CACHE_PATH: "disable" (exactly)
// turns the cache off; any other value is the root (a relative one is
// placed under KIV_ROOT_PATH); unset, the root is "gis_cache" in the
// framework's temp folder, and off when there is none. The root is
// created; the cache is on only when that worked.
// Changes: the process-wide cache settings. Any thread.
void configure_image_cache();

// Returns: whether the cache is on; its root in `root` when it is.
bool image_cache_root(std::string& root);

// The folder of one renderer version, scale, layer list and tag list:
// "%s/%d/%d/%d/%d" of the root, version & 0x7FFFFFFF, the scale and the
// CRC-32 (start 0, terminating zero included) of each text, printed as
// signed numbers.
std::string image_cache_folder(const std::string& root, unsigned version, unsigned scale, const char* layers,
                               const char* map_tags);

// The file of one picture in `folder`: the north-west corner's
// longitude and latitude, the south-east corner's, with six decimals
// (independent of the C locale), then width and height.
std::string image_cache_file(const std::string& folder, const geo_point& north_west, const geo_point& south_east,
                             int width, int height);

}  // namespace kiv

#endif
