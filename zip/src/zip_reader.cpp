// zip_reader.cpp --
//
//     Reading entries of a zip archive through minizip: whole into memory
//     (text or bytes) or copied to a file. minizip stops an entry at the
//     size its header declares and checks the CRC only when that many
//     bytes were read, so every read here insists on exactly the declared
//     size, a non-negative result from every read and a clean close: an
//     entry that is damaged, cut short or fails its checksum fails the
//     whole operation instead of coming back as complete data. Extraction
//     goes through a temporary file that replaces the target only then.
//     The archive listing lives in zip_listing.cpp.

#include <kiv/core/binary_impl.h>
#include <kiv/core/file_writer.h>
#include <kiv/core/files.h>
#include <kiv/zip/zip_reader.h>

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

}  // namespace

zip_reader::~zip_reader() {
    unzClose(handle_);
}

bool zip_reader::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_zip_reader", static_cast<i_zip_reader*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool zip_reader::open_entry(const char* fname, uint64_t* size) {
    if (fname == nullptr || unzLocateFile(handle_, fname, 1) != UNZ_OK)
        return false;
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(handle_, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK)
        return false;
    if (unzOpenCurrentFile(handle_) != UNZ_OK)
        return false;
    *size = info.uncompressed_size;
    return true;
}

bool zip_reader::close_entry(bool ok, uint64_t read, uint64_t size) {
    // Closed in every case; the checksum is only compared once all
    // declared bytes were read.
    bool closed = unzCloseCurrentFile(handle_) == UNZ_OK;
    return ok && read == size && closed;
}

uint8_t* zip_reader::read_entry(const char* fname, unsigned spare, uint64_t* size) {
    uint64_t declared = 0;
    if (!open_entry(fname, &declared))
        return nullptr;
    uint8_t* data = nullptr;
    if (declared <= memory_cap())
        data = static_cast<uint8_t*>(malloc(size_t(declared) + spare));
    if (data == nullptr) {
        close_entry(false, 0, declared);
        return nullptr;
    }
    uint64_t got = 0;
    bool ok = true;
    while (got < declared) {
        unsigned ask = unsigned(std::min<uint64_t>(declared - got, max_read));
        int n = unzReadCurrentFile(handle_, data + got, ask);
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        got += unsigned(n);
    }
    if (!close_entry(ok, got, declared)) {
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
    uint64_t declared = 0;
    if (!open_entry(fname, &declared))
        return false;
    std::unique_ptr<uint8_t[]> chunk(new (std::nothrow) uint8_t[copy_buffer_size]);
    file_writer out(target.get());
    bool ok = chunk != nullptr && out.ok();
    uint64_t got = 0;
    while (ok) {
        int n = unzReadCurrentFile(handle_, chunk.get(), copy_buffer_size);
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        got += unsigned(n);
        ok = out.write(chunk.get(), unsigned(n));
    }
    if (!close_entry(ok, got, declared))
        return false;
    return out.commit();
}

}  // namespace kiv
