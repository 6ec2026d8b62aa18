// map_file.cpp --
//
//     Loading a map file: the header and its checksum, then each block in
//     file order. Every block's end is computed in 64 bits from the
//     header's counts and compared with the file's size before anything
//     is allocated or read, so a crafted header cannot make the reader
//     allocate gigabytes for a small file; a block past the end gives
//     that block's read error. Every page the index names must lie
//     inside the file too (offsets and sizes against the file's length;
//     no page is read for it), so a map cut anywhere is refused with its
//     reason rather than loaded with features missing. The string pool
//     is held with one extra zero byte, so a text that runs to the pool's
//     end is still terminated. Reads use pread on the descriptor the map
//     keeps.

#include "format/map_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <new>

namespace kiv {
namespace ozm {

namespace {

// Returns: the message with one unsigned number filled in.
std::string with_number(const char* format, uint64_t value) {
    char text[160];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long long>(value));
    return text;
}

// Reads exactly `size` bytes at `offset`. Returns: false on a short read.
bool pread_all(int fd, uint64_t offset, size_t size, void* out) {
    uint8_t* to = static_cast<uint8_t*>(out);
    while (size > 0) {
        ssize_t n = pread(fd, to, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        to += n;
        offset += uint64_t(n);
        size -= size_t(n);
    }
    return true;
}

// Leaf values of the map index are feature numbers.
bool feature_number_valid(unsigned int data, void* context) {
    return data < *static_cast<const uint32_t*>(context);
}

}  // namespace

map_file::~map_file() {
    if (fd_ >= 0)
        close(fd_);
}

bool map_file::fail(std::string& error, std::string message) {
    error = std::move(message);
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
    file_size_ = 0;
    std::memset(raw_header_, 0, sizeof raw_header_);
    header_ = map_header();
    pages_.clear();
    unreachable_pages_bytes_ = 0;
    features_.clear();
    resources_.clear();
    index_.reset();
    cities_.clear();
    streets_.clear();
    houses_.clear();
    return false;
}

bool map_file::read_block(uint64_t offset, size_t size, void* out) const {
    return offset <= file_size_ && size <= file_size_ - offset && pread_all(fd_, offset, size, out);
}

bool map_file::load(const char* path, std::string& error) {
    int fd = path != nullptr ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) {
        error = "Error opening file for reading.";
        return false;
    }
    return load_fd(fd, error);
}

bool map_file::load_fd(int fd, std::string& error) {
    error.clear();
    if (fd_ >= 0 || fd < 0) {
        if (fd >= 0)
            close(fd);
        error = "Error opening file for reading.";
        return false;
    }
    fd_ = fd;
    struct stat st;
    if (fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))
        return fail(error, "Error opening file for reading.");
    file_size_ = uint64_t(st.st_size);

    // Header: a file too short for one, or another version (0 too: an
    // empty or zeroed file is named as what it is, not left silent).
    if (file_size_ < map_header_size)
        return fail(error, with_number("Invalid map file: %llu bytes, shorter than the 583-byte header.",
                                       file_size_));
    if (!read_block(0, map_header_size, raw_header_))
        return fail(error, "Error reading map header from file.");
    decode_map_header(raw_header_, header_);
    if (header_.format_version != map_format_version)
        return fail(error, with_number("Invalid map header or format version: %llu. Should be 13.",
                                       header_.format_version));
    if (header_.header_crc != map_header_checksum(raw_header_))
        return fail(error, "Invalid map header CRC.");

    const map_header& h = header_;
    uint64_t at = map_header_size;
    // Pages index.
    {
        uint64_t bytes = 4 * uint64_t(h.page_count);
        std::vector<uint8_t> raw;
        try {
            if (bytes > 0 && bytes <= file_size_)
                raw.resize(size_t(bytes));
        } catch (const std::bad_alloc&) {
            raw.clear();
        }
        if (bytes == 0 || raw.empty() || !read_block(at, raw.size(), raw.data()))
            return fail(error, "Invalid map format: pages index");
        // Only the pages a feature can name get an entry; the sizes of the
        // rest still count towards the end of the file.
        try {
            pages_.resize(std::min(h.page_count, max_addressable_pages));
        } catch (const std::bad_alloc&) {
            return fail(error, "Invalid map format: pages index");
        }
        for (uint32_t i = 0; i < h.page_count; ++i) {
            uint32_t size = le_u32(raw.data() + 4 * size_t(i));
            if (i < pages_.size())
                pages_[i].size = size;
            else
                unreachable_pages_bytes_ += size;
        }
        at += bytes;
    }
    // Features info.
    {
        uint64_t bytes = 8 * uint64_t(h.feature_count);
        std::vector<uint8_t> raw;
        try {
            if (bytes > 0 && bytes <= file_size_) {
                raw.resize(size_t(bytes));
                features_.resize(h.feature_count);
            }
        } catch (const std::bad_alloc&) {
            raw.clear();
        }
        if (bytes == 0 || raw.empty() || !read_block(at, raw.size(), raw.data()))
            return fail(error, "Invalid map format: features info");
        for (uint32_t i = 0; i < h.feature_count; ++i) {
            const uint8_t* p = raw.data() + 8 * size_t(i);
            features_[i] = feature_info{le_u32(p), le_u16(p + 4), p[6], p[7]};
        }
        at += bytes;
    }
    // String pool, held with a zero byte of our own behind it.
    if (h.resources_size > 0) {
        if (at + h.resources_size > file_size_)
            return fail(error, "Error reading resources data from file.");
        try {
            resources_.assign(size_t(h.resources_size) + 1, 0);
        } catch (const std::bad_alloc&) {
            return fail(error, with_number("Error allocating %llu bytes for resources data.", h.resources_size));
        }
        if (!read_block(at, h.resources_size, resources_.data()))
            return fail(error, "Error reading resources data from file.");
        at += h.resources_size;
    }
    // Node stream of the R-tree; the raw bytes go once the tree stands.
    {
        if (h.nodes_index_size == 0 || at + h.nodes_index_size > file_size_)
            return fail(error, "Error reading index data from file.");
        std::vector<uint8_t> raw;
        try {
            raw.resize(h.nodes_index_size);
        } catch (const std::bad_alloc&) {
            return fail(error, with_number("Error allocating %llu bytes for nodes index data.", h.nodes_index_size));
        }
        if (!read_block(at, raw.size(), raw.data()))
            return fail(error, "Error reading index data from file.");
        // Every node but the root takes 24 bytes of the stream at least
        // (its rectangle in the parent, its level and count), so a larger
        // count than the stream can hold is a lie not worth memory.
        if (h.index_pool_nodes == 0)
            return fail(error, "Error loading index data.");
        uint32_t pool = h.index_pool_nodes;
        uint32_t stream_bound = h.nodes_index_size / 24 + 1;
        if (pool > stream_bound)
            pool = stream_bound;
        index_.reset(new (std::nothrow) map_index(pool, map_index::volume_measure::spherical));
        uint32_t feature_count = h.feature_count;
        if (!index_ || !index_->load(raw.data(), raw.size(), feature_number_valid, &feature_count))
            return fail(error, "Error loading index data.");
        at += h.nodes_index_size;
    }
    // Search index: only with cities to find and names to show.
    if (h.search_index_size > 0 && h.city_count > 0 && h.resources_size > 0) {
        if (!read_search_index(at, error))
            return false;
    }
    at += h.search_index_size;

    // Pages follow each other in index order, and each must end inside
    // the file: a map that loads is whole.
    for (size_t i = 0; i < pages_.size(); ++i) {
        page_entry& p = pages_[i];
        p.offset = at;
        at += p.size;
        if (at > file_size_) {
            char text[200];
            std::snprintf(text, sizeof text,
                          "Invalid map format: page %zu (%u bytes at offset %llu) ends past the end of the "
                          "file (%llu bytes).",
                          i, p.size, static_cast<unsigned long long>(p.offset),
                          static_cast<unsigned long long>(file_size_));
            return fail(error, text);
        }
    }
    if (at + unreachable_pages_bytes_ > file_size_)
        return fail(error, with_number("Invalid map format: the pages end past the end of the file (%llu bytes).",
                                       file_size_));
    return true;
}

bool map_file::read_search_index(uint64_t at, std::string& error) {
    const map_header& h = header_;
    if (at + h.search_index_size > file_size_)
        return fail(error, "Error reading search index data from file.");
    std::vector<uint8_t> raw;
    try {
        raw.resize(h.search_index_size);
    } catch (const std::bad_alloc&) {
        return fail(error, with_number("Error allocating %llu bytes for search index data.", h.search_index_size));
    }
    if (!read_block(at, raw.size(), raw.data()))
        return fail(error, "Error reading search index data from file.");
    bool parsed = false;
    try {
        parsed = parse_search_index(raw.data(), raw.size(), h, cities_, streets_, houses_);
    } catch (const std::bad_alloc&) {
        parsed = false;
    }
    if (!parsed)
        return fail(error, "Error parsing search index data from file.");
    return true;
}

bool map_file::read_page(uint32_t page, uint8_t* buffer) const {
    if (fd_ < 0 || page >= pages_.size() || buffer == nullptr)
        return false;
    const page_entry& p = pages_[page];
    return pread_all(fd_, p.offset, p.size, buffer);
}

bool map_file::same_header(const char* path) const {
    if (fd_ < 0 || path == nullptr)
        return false;
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    uint8_t now[map_header_size];
    bool same = pread_all(fd, 0, sizeof now, now) && std::memcmp(now, raw_header_, sizeof now) == 0;
    close(fd);
    return same;
}

}  // namespace ozm
}  // namespace kiv
