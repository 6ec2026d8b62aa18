// zip_reader.cpp --
//
//     Reading entries of a zip archive through minizip: whole into memory
//     (text or bytes) or copied to a file. The directory is read once
//     into an index by name (minizip's own search walks the directory
//     from the start for every name, which makes reading a whole archive
//     quadratic).
//
//     minizip cannot be trusted to judge an entry: it hands out entries
//     of methods it cannot decode (bzip2, LZMA) as their raw compressed
//     bytes, skips the CRC check then and whenever the size it believes
//     is not reached, and on this platform never applies the zip64 field
//     of the directory (Info-ZIP's `zip -fz` sets every size to
//     0xFFFFFFFF and keeps the real one there). So the index applies the
//     zip64 sizes itself, only stored and deflated entries are opened,
//     and every read here insists on exactly the declared size and
//     computes the CRC-32 itself: an entry that is damaged, cut short or
//     fails its checksum fails the whole operation instead of coming back
//     as complete data. Extraction goes through a temporary file that
//     replaces the target only then. The archive listing lives in
//     zip_reader_listing.cpp.

#include <kiv/core/binary_impl.h>
#include <kiv/core/file_writer.h>
#include <kiv/core/files.h>
#include <kiv/core/log.h>
#include "zip_reader.h"

#include <zlib.h>

#include "memory_cap.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>

namespace kiv {

namespace {

// The largest single read handed to minizip.
constexpr unsigned max_read = 0x7FFFFF;
// The copy buffer of an extraction.
constexpr unsigned copy_buffer_size = 0x800000;
// Entry names are stored with a 16-bit length, and so are extra fields.
constexpr unsigned max_field = 0xFFFF;
// A 32-bit size or offset of the directory that stands for a zip64 one.
constexpr uint64_t zip64_marker = 0xFFFFFFFF;
constexpr unsigned zip64_field_id = 0x0001;
constexpr unsigned long method_stored = 0;
constexpr unsigned long method_deflate = 8;
constexpr unsigned long flag_encrypted = 1;

uint64_t little_endian(const uint8_t* p, unsigned bytes) {
    uint64_t v = 0;
    for (unsigned i = bytes; i-- > 0;)
        v = v << 8 | p[i];
    return v;
}

// Applies the zip64 field of a directory entry's extra data: it holds,
// in this order, the uncompressed size and the compressed size, each
// only where the 32-bit field is the marker. A field cut short leaves
// the marker, which the memory cap then refuses.
void apply_zip64(const uint8_t* extra, unsigned extra_size, unz_file_info64* info) {
    for (unsigned at = 0; at + 4 <= extra_size;) {
        unsigned id = unsigned(little_endian(extra + at, 2));
        unsigned size = unsigned(little_endian(extra + at + 2, 2));
        const uint8_t* data = extra + at + 4;
        if (at + 4 + size > extra_size)
            return;
        if (id == zip64_field_id) {
            unsigned used = 0;
            if (info->uncompressed_size == zip64_marker && used + 8 <= size) {
                info->uncompressed_size = little_endian(data + used, 8);
                used += 8;
            }
            if (info->compressed_size == zip64_marker && used + 8 <= size)
                info->compressed_size = little_endian(data + used, 8);
            return;
        }
        at += 4 + size;
    }
}

}  // namespace

zip_reader::~zip_reader() {
    unzClose(handle_);
}

bool zip_reader::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_zip_reader", static_cast<i_zip_reader*>(this), out))
        return true;
    return object::get_interface(name, out);
}

void zip_reader::build_index() {
    if (indexed_)
        return;
    indexed_ = true;
    unz_global_info64 global;
    if (unzGetGlobalInfo64(handle_, &global) != UNZ_OK)
        return;
    std::vector<char> name(max_field + 1);
    std::vector<uint8_t> extra(max_field);
    int step = unzGoToFirstFile(handle_);
    for (uint64_t i = 0; i < global.number_entry && step == UNZ_OK; ++i, step = unzGoToNextFile(handle_)) {
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(handle_, &info, name.data(), max_field, extra.data(), max_field, nullptr,
                                    0) != UNZ_OK)
            continue;
        apply_zip64(extra.data(), unsigned(std::min<uLong>(info.size_file_extra, max_field)), &info);
        entry e;
        e.name.assign(name.data(), std::min<uLong>(info.size_filename, max_field));
        if (unzGetFilePos64(handle_, &e.pos) != UNZ_OK)
            continue;
        e.size = info.uncompressed_size;
        e.crc = uint32_t(info.crc);
        e.method = info.compression_method;
        e.flag = info.flag;
        by_name_.emplace(e.name, entries_.size());
        entries_.push_back(std::move(e));
    }
}

const zip_reader::entry* zip_reader::open_entry(const char* fname) {
    if (fname == nullptr)
        return nullptr;
    build_index();
    auto found = by_name_.find(fname);
    if (found == by_name_.end())
        return nullptr;
    const entry& e = entries_[found->second];
    if (e.method != method_stored && e.method != method_deflate) {
        kiv_log(0, "zip_reader: entry '%s' uses compression method %lu; only stored (0) and deflate (8) can be read",
                fname, e.method);
        return nullptr;
    }
    if ((e.flag & flag_encrypted) != 0) {
        kiv_log(0, "zip_reader: entry '%s' is encrypted and cannot be read", fname);
        return nullptr;
    }
    unz64_file_pos pos = e.pos;
    if (unzGoToFilePos64(handle_, &pos) != UNZ_OK || unzOpenCurrentFile(handle_) != UNZ_OK)
        return nullptr;
    return &e;
}

bool zip_reader::close_entry(const entry& e, bool ok, uint64_t read, uint32_t crc) {
    bool closed = unzCloseCurrentFile(handle_) == UNZ_OK;
    if (ok && read == e.size && crc != e.crc) {
        kiv_log(0, "zip_reader: entry '%s' fails its CRC check", e.name.c_str());
        return false;
    }
    return ok && read == e.size && closed;
}

uint8_t* zip_reader::read_entry(const char* fname, unsigned spare, uint64_t* size) {
    const entry* e = open_entry(fname);
    if (e == nullptr)
        return nullptr;
    uint64_t declared = e->size;
    uint8_t* data = nullptr;
    if (declared <= memory_cap())
        data = static_cast<uint8_t*>(malloc(size_t(declared) + spare));
    if (data == nullptr) {
        close_entry(*e, false, 0, 0);
        return nullptr;
    }
    uint64_t got = 0;
    uLong crc = crc32(0, nullptr, 0);
    bool ok = true;
    while (got < declared) {
        unsigned ask = unsigned(std::min<uint64_t>(declared - got, max_read));
        int n = unzReadCurrentFile(handle_, data + got, ask);
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        crc = crc32(crc, data + got, unsigned(n));
        got += unsigned(n);
    }
    if (!close_entry(*e, ok, got, uint32_t(crc))) {
        free(data);
        return nullptr;
    }
    *size = declared;
    return data;
}

char* zip_reader::get_text_file(const char* fname) {
    mutex_locker lock(this);
    uint64_t size = 0;
    uint8_t* data = read_entry(fname, 1, &size);
    if (data == nullptr)
        return nullptr;
    data[size] = 0;
    return reinterpret_cast<char*>(data);
}

i_binary* zip_reader::get_binary_file(const char* fname) {
    mutex_locker lock(this);
    uint64_t size = 0;
    uint8_t* data = read_entry(fname, 1, &size);
    if (data == nullptr)
        return nullptr;
    binary* out = new (std::nothrow) binary(data, unsigned(size), true);
    if (out == nullptr) {
        free(data);
        return nullptr;
    }
    out->addref();
    return out;
}

bool zip_reader::extract_file(const char* fname, const char* ex_path) {
    if (fname == nullptr || *fname == '\0')
        return false;
    std::unique_ptr<char, decltype(&free)> target(kiv_get_absolute_path(ex_path), &free);
    if (!target)
        return false;
    mutex_locker lock(this);
    const entry* e = open_entry(fname);
    if (e == nullptr)
        return false;
    std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[copy_buffer_size]);
    file_writer out(target.get());
    bool ok = chunk != nullptr && out.ok();
    uint64_t got = 0;
    uLong crc = crc32(0, nullptr, 0);
    while (ok && got < e->size) {
        unsigned ask = unsigned(std::min<uint64_t>(e->size - got, copy_buffer_size));
        int n = unzReadCurrentFile(handle_, chunk.get(), ask);
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        crc = crc32(crc, chunk.get(), unsigned(n));
        got += unsigned(n);
        ok = out.write(chunk.get(), unsigned(n));
    }
    if (!close_entry(*e, ok, got, uint32_t(crc)))
        return false;
    return out.commit();
}

}  // namespace kiv
