// map_header.cpp --
//
//     The 583-byte header of a map file taken apart field by field at
//     its fixed offsets, and the checksum that guards it.

#include <kiv/core/checksum.h>
#include <kiv/core/le_bytes.h>

#include "format/map_file.h"

#include <cstring>

namespace kiv {
namespace ozm {

namespace {

// Copies a fixed text field and terminates the copy inside its array,
// whatever the file holds.
template <size_t N>
void copy_text(char (&to)[N], const uint8_t* from) {
    std::memcpy(to, from, N);
    to[N - 1] = 0;
}

}  // namespace

void decode_map_header(const uint8_t* raw, map_header& h) {
    h.format_version = le_u32(raw + 0x000);
    h.map_version = le_u32(raw + 0x004);
    h.priority = raw[0x008];
    copy_text(h.name, raw + 0x009);
    copy_text(h.tags, raw + 0x089);
    copy_text(h.copyright, raw + 0x109);
    h.max_level = raw[0x209];
    h.min_level = raw[0x20A];
    h.min_lat = le_f32(raw + 0x20B);
    h.min_lon = le_f32(raw + 0x20F);
    h.max_lat = le_f32(raw + 0x213);
    h.max_lon = le_f32(raw + 0x217);
    h.flags = le_u32(raw + 0x21B);
    h.page_count = le_u32(raw + 0x21F);
    h.feature_count = le_u32(raw + 0x223);
    h.resources_size = le_u32(raw + 0x227);
    h.index_pool_nodes = le_u32(raw + 0x22B);
    h.nodes_index_size = le_u32(raw + 0x22F);
    h.city_count = le_u32(raw + 0x233);
    h.street_count = le_u32(raw + 0x237);
    h.house_count = le_u32(raw + 0x23B);
    h.search_index_size = le_u32(raw + 0x23F);
    h.header_crc = le_u32(raw + 0x243);
}

uint32_t map_header_checksum(const uint8_t* raw) {
    return kiv_crc32(raw, unsigned(map_header_crc_offset), 0);
}

}  // namespace ozm
}  // namespace kiv
