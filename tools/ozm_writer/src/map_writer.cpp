// map_writer.cpp --
//
//     Assembling a map file: string pool (offset 0 is the empty text, so
//     a feature without a name points at it), feature records packed into
//     pages in the order the R-tree's leaves hold them (neighbours on the
//     map share pages), the feature directory in the order the features
//     were added, the search index and the header with its checksum.

#include <kiv/core/checksum.h>
#include <kiv/core/file_writer.h>
#include <kiv/ozm_writer/map_writer.h>

#include "byte_order.h"

#include <tcl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>

namespace kiv {
namespace ozm_writer {

namespace {

constexpr size_t header_size = 583;
constexpr size_t max_pages = 65536;

// The string pool: each distinct text once, zero-terminated.
class string_pool {
public:
    string_pool() { add(""); }
    uint32_t add(const std::string& text) {
        auto found = offsets_.find(text);
        if (found != offsets_.end())
            return found->second;
        uint32_t offset = uint32_t(bytes_.size());
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        bytes_.push_back(0);
        offsets_.emplace(text, offset);
        return offset;
    }
    const std::vector<uint8_t>& bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
    std::map<std::string, uint32_t> offsets_;
};

uint8_t effective_flags(const feature& f) {
    uint8_t flags = f.flags;
    if (!f.label.empty())
        flags |= 0x10;
    if (!f.place.empty())
        flags |= 0x20;
    return flags;
}

index_box box_of(const feature& f, uint32_t number) {
    index_box b{f.anchor.lat, f.anchor.lon, f.anchor.lat, f.anchor.lon, number};
    if (!(f.flags & 0x01) && !f.points.empty()) {
        b = index_box{f.points[0].lat, f.points[0].lon, f.points[0].lat, f.points[0].lon, number};
        for (const point& p : f.points) {
            b.min_lat = std::min(b.min_lat, p.lat);
            b.min_lon = std::min(b.min_lon, p.lon);
            b.max_lat = std::max(b.max_lat, p.lat);
            b.max_lon = std::max(b.max_lon, p.lon);
        }
    }
    return b;
}

// The geometry record of one feature.
std::vector<uint8_t> encode_record(const feature& f, uint8_t flags, string_pool* pool) {
    auto text = [&](const std::string& t) { return pool != nullptr ? pool->add(t) : 0u; };
    const bool labelled = (flags & 0x10) != 0, place = (flags & 0x20) != 0;
    uint8_t record_flags = f.record_flags & uint8_t(~0x30);
    std::vector<uint32_t> names;
    if (labelled)
        names.push_back(text(f.label));
    if (place)
        names.push_back(text(f.place));
    std::vector<uint8_t> rec;
    if (flags & 0x01) {
        if (names.empty())
            names.push_back(text(""));
    } else {
        if (!names.empty())
            record_flags |= 0x10;
        if (names.size() == 2)
            record_flags |= 0x20;
    }
    rec.push_back(record_flags);
    rec.push_back(0);
    put_f32(rec, f.anchor.lat);
    put_f32(rec, f.anchor.lon);
    if (!(flags & 0x01))
        put_u32(rec, uint32_t(f.points.size()));
    for (uint32_t n : names)
        put_u32(rec, n);
    if (!(flags & 0x01)) {
        for (const point& p : f.points) {
            put_f32(rec, p.lat);
            put_f32(rec, p.lon);
        }
    }
    return rec;
}

bool copy_text(uint8_t* field, size_t capacity, const std::string& text, const char* what, std::string& error) {
    if (text.size() >= capacity || text.find('\0') != std::string::npos) {
        error = std::string("the map ") + what + " does not fit in " + std::to_string(capacity - 1) + " bytes";
        return false;
    }
    std::memcpy(field, text.data(), text.size());
    return true;
}

}  // namespace

std::string search_key(const std::string& name) {
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back(0);
    int length = Tcl_UtfToUpper(buf.data());
    return std::string(buf.data(), size_t(length));
}

uint32_t map_writer::add_feature(const feature& f) {
    features_.push_back(f);
    return uint32_t(features_.size() - 1);
}

bool map_writer::build(std::vector<uint8_t>& out, std::string& error) const {
    out.clear();
    if (features_.empty()) {
        error = "a map needs at least one feature";
        return false;
    }
    bool uses_pool = !cities_.empty();
    std::vector<index_box> boxes;
    for (size_t i = 0; i < features_.size(); ++i) {
        const feature& f = features_[i];
        if (!(f.flags & 0x01)) {
            size_t need = f.code == 0 ? 3 : 2;
            if (f.points.size() < need) {
                error = "feature " + std::to_string(i) + " needs at least " + std::to_string(need) + " points";
                return false;
            }
        }
        if (effective_flags(f) & 0x30)
            uses_pool = true;
        boxes.push_back(box_of(f, uint32_t(i)));
    }

    string_pool pool;
    string_pool* names = uses_pool ? &pool : nullptr;

    uint32_t node_count = 0;
    std::vector<uint32_t> leaf_order;
    std::vector<uint8_t> nodes = build_index_stream(boxes, node_count, &leaf_order);

    // Records in leaf order, cut into pages. Each detail class fills
    // pages of its own, so a coarse view, which reads only the coarser
    // classes, never reads the pages of fine detail.
    std::vector<std::vector<uint8_t>> pages;
    size_t open_page[4] = {SIZE_MAX, SIZE_MAX, SIZE_MAX, SIZE_MAX};  // per class; SIZE_MAX: none yet
    std::vector<uint8_t> directory(8 * features_.size());
    for (uint32_t number : leaf_order) {
        const feature& f = features_[number];
        uint8_t flags = effective_flags(f);
        std::vector<uint8_t> rec = encode_record(f, flags, names);
        size_t& current = open_page[(flags >> 1) & 3];
        if (current == SIZE_MAX || (!pages[current].empty() && pages[current].size() + rec.size() > page_limit_)) {
            pages.emplace_back();
            current = pages.size() - 1;
        }
        if (pages.size() > max_pages) {
            error = "the records need more than 65536 pages";
            return false;
        }
        std::vector<uint8_t>& page = pages[current];
        uint8_t* entry = &directory[8 * size_t(number)];
        set_u32(entry, uint32_t(page.size()));
        entry[4] = uint8_t(current);
        entry[5] = uint8_t(current >> 8);
        entry[6] = flags;
        entry[7] = f.code;
        page.insert(page.end(), rec.begin(), rec.end());
    }

    // Search index.
    std::vector<uint8_t> search;
    uint32_t street_count = 0, house_count = 0;
    for (const city& c : cities_) {
        put_f32(search, c.at.lat);
        put_f32(search, c.at.lon);
        put_u32(search, pool.add(c.name));
        put_u32(search, pool.add(search_key(c.name)));
        put_u32(search, uint32_t(c.streets.size()));
        for (const street& s : c.streets) {
            ++street_count;
            put_f32(search, s.at.lat);
            put_f32(search, s.at.lon);
            put_u32(search, pool.add(s.name));
            put_u32(search, pool.add(search_key(s.name)));
            put_u32(search, uint32_t(s.houses.size()));
            for (const house& h : s.houses) {
                ++house_count;
                put_f32(search, h.at.lat);
                put_f32(search, h.at.lon);
                put_u32(search, pool.add(h.name));
                put_u32(search, pool.add(search_key(h.name)));
            }
        }
    }
    const std::vector<uint8_t> no_strings;
    const std::vector<uint8_t>& strings = uses_pool ? pool.bytes() : no_strings;

    // Header.
    uint8_t header[header_size] = {};
    set_u32(header + 0x000, 13);
    set_u32(header + 0x004, info_.map_version);
    header[0x008] = info_.priority;
    if (!copy_text(header + 0x009, 128, info_.name, "name", error) ||
        !copy_text(header + 0x089, 128, info_.tags, "tags", error) ||
        !copy_text(header + 0x109, 256, info_.copyright, "copyright", error))
        return false;
    header[0x209] = info_.max_level;
    header[0x20A] = info_.min_level;
    index_box envelope{info_.envelope_min.lat, info_.envelope_min.lon, info_.envelope_max.lat,
                       info_.envelope_max.lon, 0};
    if (!info_.envelope_given) {
        envelope = boxes[0];
        for (const index_box& b : boxes) {
            envelope.min_lat = std::min(envelope.min_lat, b.min_lat);
            envelope.min_lon = std::min(envelope.min_lon, b.min_lon);
            envelope.max_lat = std::max(envelope.max_lat, b.max_lat);
            envelope.max_lon = std::max(envelope.max_lon, b.max_lon);
        }
    }
    set_f32(header + 0x20B, envelope.min_lat);
    set_f32(header + 0x20F, envelope.min_lon);
    set_f32(header + 0x213, envelope.max_lat);
    set_f32(header + 0x217, envelope.max_lon);
    set_u32(header + 0x21B, info_.flags);
    set_u32(header + 0x21F, uint32_t(pages.size()));
    set_u32(header + 0x223, uint32_t(features_.size()));
    set_u32(header + 0x227, uint32_t(strings.size()));
    set_u32(header + 0x22B, node_count);
    set_u32(header + 0x22F, uint32_t(nodes.size()));
    set_u32(header + 0x233, uint32_t(cities_.size()));
    set_u32(header + 0x237, street_count);
    set_u32(header + 0x23B, house_count);
    set_u32(header + 0x23F, uint32_t(search.size()));
    set_u32(header + 0x243, kiv_crc32(header, 0x243, 0));

    out.assign(header, header + header_size);
    for (const auto& page : pages)
        put_u32(out, uint32_t(page.size()));
    out.insert(out.end(), directory.begin(), directory.end());
    out.insert(out.end(), strings.begin(), strings.end());
    out.insert(out.end(), nodes.begin(), nodes.end());
    out.insert(out.end(), search.begin(), search.end());
    for (const auto& page : pages)
        out.insert(out.end(), page.begin(), page.end());
    return true;
}

bool map_writer::write(const std::string& path, std::string& error) const {
    std::vector<uint8_t> bytes;
    if (!build(bytes, error))
        return false;
    file_writer out(path);
    if (!out.ok() || !out.write(bytes.data(), bytes.size()) || !out.commit()) {
        error = "cannot write " + path + ": " + std::strerror(out.error());
        return false;
    }
    return true;
}

}  // namespace ozm_writer
}  // namespace kiv
