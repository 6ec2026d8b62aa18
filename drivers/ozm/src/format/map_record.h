// map_record.h --
//
//     The geometry record of one feature inside a page: record flags, the
//     anchor point, the names and the point list. A point feature keeps
//     its first name at record offset 10 (and, labelled and a place, the
//     place name at 14); any other feature keeps its point count at 10,
//     a name offset at 14 with record flag 0x10, a place name offset
//     after it with record flag 0x20, and then the points. A labelled
//     place therefore stores the label first and the place name second.
//
//     Decoding checks the whole record against its page and every name
//     it reads against the string pool; a record that fails is skipped
//     by its callers. The points stay in the page (unaligned) and are
//     read through point().

#ifndef KIV_OZM_MAP_RECORD_H
#define KIV_OZM_MAP_RECORD_H

#include <kiv/core/le_bytes.h>

#include <cstdint>

namespace kiv {
namespace ozm {

struct feature_record {
    uint8_t record_flags = 0;    // record_flag_* of map_file.h
    float lat = 0, lon = 0;      // the anchor point
    const char* label = nullptr;       // labelled features: the label ("" = none); else, or outside the pool, null
    const char* place_name = nullptr;  // places: the place name; else, or outside the pool, null
    uint32_t point_count = 0;          // 0 for point features
    const uint8_t* points = nullptr;   // point_count (lat, lon) f32 pairs in the page

    // Reads point i (< point_count).
    void point(uint32_t i, float& lat_out, float& lon_out) const {
        lat_out = le_f32(points + 8 * uint64_t(i));
        lon_out = le_f32(points + 8 * uint64_t(i) + 4);
    }
};

// Decodes the record at `offset` of a page of `page_size` bytes for a
// feature with `feature_flags`. `resources` is the map's pool (null when
// it has none) and must hold a zero byte at resources_size.
// Returns: false when the record does not fit in the page; `out` is then
//     unspecified. A name offset outside the pool (or no pool) leaves only
//     that name null.
bool decode_feature_record(const uint8_t* page, uint32_t page_size, uint32_t offset,
                           uint8_t feature_flags, const char* resources, uint32_t resources_size,
                           feature_record& out);

// Returns: the record offset of the first point of a non-point feature
//     with these record flags (14, plus 4 per name offset).
inline uint32_t record_points_offset(uint8_t record_flags) {
    return 14 + ((record_flags & 0x10) ? 4 : 0) + ((record_flags & 0x20) ? 4 : 0);
}

}  // namespace ozm
}  // namespace kiv

#endif
