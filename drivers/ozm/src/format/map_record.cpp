// map_record.cpp --
//
//     Decoding one geometry record inside a page. Every offset is
//     computed in 64 bits and compared with the page size before a byte
//     is read, and every name offset with the string pool. A record that
//     does not fit its page makes its feature disappear; a name offset
//     outside the pool (or a map without one) only loses that name, and
//     the geometry stays drawn, snapped to and found.

#include "format/map_file.h"
#include "format/map_record.h"

namespace kiv {
namespace ozm {

namespace {

// Returns: the text at `offset` of the pool, null when outside.
const char* pool_text(const char* resources, uint32_t resources_size, uint32_t offset) {
    return resources != nullptr && offset < resources_size ? resources + offset : nullptr;
}

}  // namespace

bool decode_feature_record(const uint8_t* page, uint32_t page_size, uint32_t offset, uint8_t feature_flags,
                           const char* resources, uint32_t resources_size, feature_record& out) {
    const bool is_point = (feature_flags & feature_flag_point) != 0;
    const bool labelled = (feature_flags & feature_flag_labelled) != 0;
    const bool place = (feature_flags & feature_flag_place) != 0;
    if (page == nullptr || uint64_t(offset) + 14 > page_size)
        return false;
    const uint8_t* rec = page + offset;
    out = feature_record();
    out.record_flags = rec[0];
    out.lat = le_f32(rec + 2);
    out.lon = le_f32(rec + 6);

    // Where the label and the place name are kept (0: not read).
    uint32_t label_at = 0, place_at = 0;
    uint64_t end = 14;
    if (is_point) {
        label_at = labelled ? 10 : 0;
        place_at = place ? (labelled ? 14 : 10) : 0;
        if (labelled && place)
            end = 18;
    } else {
        out.point_count = le_u32(rec + 10);
        uint32_t points_at = record_points_offset(out.record_flags);
        label_at = labelled ? 14 : 0;
        place_at = place ? (labelled ? 18 : 14) : 0;
        end = uint64_t(points_at) + 8 * uint64_t(out.point_count);
        // The names are read where the flags say, even if the record
        // flags do not announce them: they must lie in the record too.
        uint64_t names_end = place_at != 0 ? place_at + 4u : label_at != 0 ? label_at + 4u : 14u;
        if (names_end > end)
            end = names_end;
        out.points = rec + points_at;
    }
    if (uint64_t(offset) + end > page_size)
        return false;
    if (label_at != 0)
        out.label = pool_text(resources, resources_size, le_u32(rec + label_at));
    if (place_at != 0)
        out.place_name = pool_text(resources, resources_size, le_u32(rec + place_at));
    return true;
}

}  // namespace ozm
}  // namespace kiv
