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
//     as complete data. Sizes a directory entry claims are held against
//     what its compressed bytes can give before anything is allocated,
//     and an entry whose bytes are not its own (zip_reader_layout.cpp)
//     is refused. Extraction goes through a temporary file that replaces
//     the target only then. The archive listing lives in
//     zip_reader_listing.cpp.

#include <kiv/core/binary_impl.h>
#include <kiv/core/file_writer.h>
#include <kiv/core/files.h>
#include <kiv/core/host_offer.h>
#include <kiv/core/le_bytes.h>
#include <kiv/core/log.h>
#include "zip_reader.h"

#include <zlib.h>

#include "memory_cap.h"

#include <algorithm>
#include <atomic>
#include <cinttypes>
#include <cstdlib>
#include <memory>
#include <new>
#include <string_view>

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
constexpr unsigned method_stored = 0;
constexpr unsigned method_deflate = 8;
constexpr unsigned flag_encrypted = 1;
// Deflate turns one byte into at most 1032 (a 258-byte match in two
// bits); a directory entry that claims more is lying, and believing it
// would size a buffer by the claim alone.
constexpr uint64_t max_deflate_ratio = 1032;
// The index holds one small record and the name of each entry. Every
// directory entry takes at least 46 bytes of the file, so these only
// bite on directories far beyond any real archive's. Lowered only by a
// control offered to the project's tests.
constexpr uint64_t max_entries = uint64_t(1) << 20;
constexpr uint64_t max_name_bytes = uint64_t(128) << 20;
std::atomic<uint64_t> entry_cap{max_entries};
std::atomic<uint64_t> name_bytes_cap{max_name_bytes};

// Lowers the caps so a test can reach them with a small archive; 0
// restores a cap.
void set_index_caps(uint64_t entries, uint64_t name_bytes) {
    entry_cap.store(entries != 0 ? entries : max_entries, std::memory_order_relaxed);
    name_bytes_cap.store(name_bytes != 0 ? name_bytes : max_name_bytes, std::memory_order_relaxed);
}

const bool offered = offer_to_host("zip.index_caps", &set_index_caps);

// Applies the zip64 field of a directory entry's extra data: it holds,
// in this order, the uncompressed size and the compressed size, each
// only where the 32-bit field is the marker. A field cut short leaves
// the marker, which the memory cap then refuses.
void apply_zip64(const uint8_t* extra, unsigned extra_size, unz_file_info64* info) {
    for (unsigned at = 0; at + 4 <= extra_size;) {
        unsigned id = le_u16(extra + at);
        unsigned size = le_u16(extra + at + 2);
        const uint8_t* data = extra + at + 4;
        if (at + 4 + size > extra_size)
            return;
        if (id == zip64_field_id) {
            unsigned used = 0;
            if (info->uncompressed_size == zip64_marker && used + 8 <= size) {
                info->uncompressed_size = le_u64(data + used);
                used += 8;
            }
            if (info->compressed_size == zip64_marker && used + 8 <= size)
                info->compressed_size = le_u64(data + used);
            return;
        }
        at += 4 + size;
    }
}

}  // namespace

zip_reader* zip_reader::open(const char* path, const zlib_filefunc64_def* functions) {
    zlib_filefunc64_def io;
    if (functions != nullptr)
        io = *functions;
    else
        fill_fopen64_filefunc(&io);
    unzFile handle = unzOpen2_64(path, &io);
    if (handle == nullptr)
        return nullptr;
    voidpf raw = io.zopen64_file(io.opaque, path, ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
    zip_reader* reader = raw != nullptr ? new (std::nothrow) zip_reader(handle, io, raw) : nullptr;
    if (reader == nullptr) {
        if (raw != nullptr)
            io.zclose_file(io.opaque, raw);
        unzClose(handle);
    }
    return reader;
}

zip_reader::~zip_reader() {
    unzClose(handle_);
    functions_.zclose_file(functions_.opaque, raw_);
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
    const uint64_t max_count = entry_cap.load(std::memory_order_relaxed);
    const uint64_t max_names = name_bytes_cap.load(std::memory_order_relaxed);
    uint64_t name_bytes = 0;
    int step = unzGoToFirstFile(handle_);
    for (uint64_t i = 0; i < global.number_entry && step == UNZ_OK; ++i, step = unzGoToNextFile(handle_)) {
        unz_file_info64 info;
        if (unzGetCurrentFileInfo64(handle_, &info, name.data(), max_field, extra.data(), max_field, nullptr,
                                    0) != UNZ_OK)
            continue;
        size_t name_size = size_t(std::min<uLong>(info.size_filename, max_field));
        if (entries_.size() >= max_count || name_bytes + name_size > max_names) {
            kiv_log(0, "zip_reader: the archive's directory holds more than %" PRIu64 " entries or %" PRIu64
                       " bytes of names; entries after the first %zu are ignored",
                    max_count, max_names, entries_.size());
            break;
        }
        apply_zip64(extra.data(), unsigned(std::min<uLong>(info.size_file_extra, max_field)), &info);
        entry e;
        e.name.assign(name.data(), name_size);
        if (unzGetFilePos64(handle_, &e.pos) != UNZ_OK)
            continue;
        e.size = info.uncompressed_size;
        e.compressed = info.compressed_size;
        e.crc = uint32_t(info.crc);
        e.method = uint16_t(info.compression_method);
        e.flag = uint16_t(info.flag);
        name_bytes += name_size;
        entries_.push_back(std::move(e));
    }
    // Keys borrow the names in entries_, which no longer moves.
    by_name_.reserve(entries_.size());
    for (size_t i = 0; i < entries_.size(); ++i)
        by_name_.emplace(std::string_view(entries_[i].name), i);
}

bool zip_reader::claims_fit(const entry& e) const {
    if (e.method == method_stored && e.size != e.compressed) {
        kiv_log(0, "zip_reader: entry '%.*s' is stored in %" PRIu64 " bytes but claims %" PRIu64,
                int(max_quoted_name), e.name.c_str(), e.compressed, e.size);
        return false;
    }
    if (e.method == method_deflate && e.size > 0 && (e.size - 1) / max_deflate_ratio >= e.compressed) {
        kiv_log(0, "zip_reader: entry '%.*s' claims %" PRIu64 " bytes from %" PRIu64
                   " deflated ones, more than deflate can give",
                int(max_quoted_name), e.name.c_str(), e.size, e.compressed);
        return false;
    }
    return true;
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
        kiv_log(0, "zip_reader: entry '%s' uses compression method %u; only stored (0) and deflate (8) can be read",
                fname, unsigned(e.method));
        return nullptr;
    }
    if ((e.flag & flag_encrypted) != 0) {
        kiv_log(0, "zip_reader: entry '%s' is encrypted and cannot be read", fname);
        return nullptr;
    }
    if (!claims_fit(e))
        return nullptr;
    check_layout();
    if (!layout_sound(e))
        return nullptr;
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
