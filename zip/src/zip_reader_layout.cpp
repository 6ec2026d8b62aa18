// zip_reader_layout.cpp --
//
//     Where each entry's bytes lie in the archive, and which entries may
//     therefore be read. The directory alone decides where minizip looks
//     for an entry, so a crafted directory can point any number of
//     entries at one stretch of deflated data, or at data that quote the
//     next entry's header and data in turn: a small file then hands out
//     gigabytes, each entry's bytes over again. Real writers never let two
//     entries share a byte, and always repeat the name of the directory
//     entry in the local header. So, once per archive, every entry is
//     measured from its local header to the end of its data descriptor;
//     an entry whose bytes overlap another entry's, whose local header
//     names another file or cannot be read, or whose data run past the
//     archive is refused, every such entry alike: none of them is more
//     genuine than the others. minizip finds the local header and checks
//     its signature and name length; the name itself and the data
//     descriptor are read here through the reader's second stream.
//
//     Offsets are absolute in the file: minizip's position of an entry's
//     data already counts the bytes before the archive proper (the stub
//     of a self-extracting archive), and so does the second stream.

#include <kiv/core/le_bytes.h>
#include <kiv/core/log.h>
#include "zip_reader.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <vector>

namespace kiv {

namespace {

constexpr uint64_t local_header_size = 30;
constexpr uint32_t descriptor_signature = 0x08074b50;
constexpr unsigned flag_descriptor = 8;
constexpr unsigned zip64_field_id = 0x0001;
// The longest data descriptor: signature, CRC-32 and two 8-byte sizes.
constexpr size_t max_descriptor = 24;

// Whether a local extra field holds a zip64 field, which makes the
// sizes of the data descriptor 8 bytes each.
bool has_zip64_field(const uint8_t* extra, size_t size) {
    for (size_t at = 0; at + 4 <= size;) {
        if (le_u16(extra + at) == zip64_field_id)
            return true;
        at += 4 + size_t(le_u16(extra + at + 2));
    }
    return false;
}

// The length of the data descriptor in the `got` bytes at `d`: an
// optional signature, the CRC-32, and the compressed and uncompressed
// sizes in 4 bytes each, or 8 with `zip64` or when only 8-byte sizes
// match the directory's (`compressed`, `size`).
size_t descriptor_length(const uint8_t* d, size_t got, bool zip64, uint64_t compressed, uint64_t size) {
    size_t sig = got >= 4 && le_u32(d) == descriptor_signature ? 4 : 0;
    const uint8_t* sizes = d + sig + 4;
    size_t left = got >= sig + 4 ? got - sig - 4 : 0;
    bool short_match = left >= 8 && le_u32(sizes) == compressed && le_u32(sizes + 4) == size;
    bool long_match = left >= 16 && le_u64(sizes) == compressed && le_u64(sizes + 8) == size;
    return sig + 4 + (zip64 || (long_match && !short_match) ? 16 : 8);
}

}  // namespace

bool zip_reader::read_raw(uint64_t at, void* buf, size_t size) {
    if (functions_.zseek64_file(functions_.opaque, raw_, at, ZLIB_FILEFUNC_SEEK_SET) != 0)
        return false;
    uint8_t* out = static_cast<uint8_t*>(buf);
    while (size > 0) {
        uLong ask = uLong(std::min<size_t>(size, 0x100000));
        uLong n = functions_.zread_file(functions_.opaque, raw_, out, ask);
        if (n == 0 || n > ask)
            return false;
        out += n;
        size -= n;
    }
    return true;
}

void zip_reader::check_layout() {
    if (checked_)
        return;
    checked_ = true;
    build_index();
    uint64_t archive_size = 0;
    if (functions_.zseek64_file(functions_.opaque, raw_, 0, ZLIB_FILEFUNC_SEEK_END) == 0) {
        ZPOS64_T tell = functions_.ztell64_file(functions_.opaque, raw_);
        archive_size = tell == ZPOS64_T(-1) ? 0 : tell;
    }
    std::vector<uint8_t> buffer;  // a local extra field, then the local name
    for (entry& e : entries_) {
        e.verdict = layout::unreadable;
        unz64_file_pos pos = e.pos;
        if (unzGoToFilePos64(handle_, &pos) != UNZ_OK)
            continue;
        // Raw: nothing is inflated, only the local header read and checked.
        if (unzOpenCurrentFile2(handle_, nullptr, nullptr, 1) != UNZ_OK)
            continue;
        uint64_t data = unzGetCurrentFileZStreamPos64(handle_);
        int extra_size = unzGetLocalExtrafield(handle_, nullptr, 0);
        bool zip64 = false;
        if (extra_size > 0 && (e.flag & flag_descriptor) != 0) {
            buffer.resize(size_t(extra_size));
            zip64 = unzGetLocalExtrafield(handle_, buffer.data(), unsigned(extra_size)) == extra_size &&
                    has_zip64_field(buffer.data(), buffer.size());
        }
        unzCloseCurrentFile(handle_);
        uint64_t header = local_header_size + e.name.size() + uint64_t(std::max(extra_size, 0));
        if (extra_size < 0 || data < header)
            continue;
        e.start = data - header;
        buffer.resize(e.name.size());
        if (!read_raw(e.start + local_header_size, buffer.data(), buffer.size()))
            continue;
        bool same_name = e.name.empty() || std::memcmp(buffer.data(), e.name.data(), e.name.size()) == 0;
        e.verdict = layout::past_end;
        if (data > archive_size || e.compressed > archive_size - data)
            continue;
        uint64_t end = data + e.compressed;
        if ((e.flag & flag_descriptor) != 0) {
            uint8_t d[max_descriptor];
            size_t got = size_t(std::min<uint64_t>(max_descriptor, archive_size - end));
            if (!read_raw(end, d, got))
                continue;
            size_t length = descriptor_length(d, got, zip64, e.compressed, e.size);
            if (length > got)
                continue;
            end += length;
        }
        e.end = end;
        e.verdict = same_name ? layout::sound : layout::renamed;
    }

    // Sorted by where they start, an entry overlaps an earlier one when
    // it starts before the furthest end so far, and a later one when it
    // ends after the next one starts.
    std::vector<uint32_t> order;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].end != 0)
            order.push_back(uint32_t(i));
    // Ties go by directory order, so the messages name the same partner
    // every time.
    std::sort(order.begin(), order.end(), [this](uint32_t a, uint32_t b) {
        const entry& x = entries_[a];
        const entry& y = entries_[b];
        return x.start != y.start ? x.start < y.start : x.end != y.end ? x.end < y.end : a < b;
    });
    auto mark = [this](uint32_t i, uint32_t other) {
        if (entries_[i].verdict != layout::overlapping) {
            entries_[i].verdict = layout::overlapping;
            entries_[i].other = other;
        }
    };
    uint64_t reach = 0;
    uint32_t reach_owner = 0;
    for (size_t k = 0; k < order.size(); ++k) {
        const entry& e = entries_[order[k]];
        if (k > 0 && e.start < reach)
            mark(order[k], reach_owner);
        if (k + 1 < order.size() && entries_[order[k + 1]].start < e.end)
            mark(order[k], order[k + 1]);
        if (e.end > reach) {
            reach = e.end;
            reach_owner = order[k];
        }
    }
}

bool zip_reader::layout_sound(const entry& e) {
    int quoted = int(std::min(e.name.size(), max_quoted_name));
    switch (e.verdict) {
    case layout::sound:
        return true;
    case layout::overlapping: {
        const entry& other = entries_[e.other];
        kiv_log(0, "zip_reader: entry '%.*s' overlaps entry '%.*s' in the archive (bytes %" PRIu64 "-%" PRIu64
                   " and %" PRIu64 "-%" PRIu64 "); refused as a possible zip bomb",
                quoted, e.name.c_str(), int(std::min(other.name.size(), max_quoted_name)), other.name.c_str(),
                e.start, e.end, other.start, other.end);
        return false;
    }
    case layout::renamed: {
        char local[max_quoted_name];
        size_t n = std::min(e.name.size(), max_quoted_name);
        if (!read_raw(e.start + local_header_size, local, n))
            n = 0;
        kiv_log(0, "zip_reader: entry '%.*s' is refused: its local header names '%.*s'", quoted, e.name.c_str(),
                int(n), local);
        return false;
    }
    case layout::past_end:
        kiv_log(0, "zip_reader: entry '%.*s' is refused: its data run past the end of the archive", quoted,
                e.name.c_str());
        return false;
    case layout::unreadable:
    case layout::unchecked:
        break;
    }
    kiv_log(0, "zip_reader: entry '%.*s' is refused: its local header cannot be read or does not match its "
               "directory entry", quoted, e.name.c_str());
    return false;
}

}  // namespace kiv
