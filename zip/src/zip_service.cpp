// zip_service.cpp --
//
//     The service's identity and the opening of readers and writers.
//     Paths are made absolute under the root first; writers write
//     through the core's file_writer. A failed open gives null and
//     leaves nothing behind.

#include <kiv/core/binary_impl.h>
#include <kiv/core/file_writer.h>
#include <kiv/core/files.h>
#include <kiv/core/log.h>

#include "gzip_writer.h"
#include "zip_reader.h"
#include "zip_service.h"
#include "zip_writer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace kiv {

namespace {

typedef std::unique_ptr<char, decltype(&free)> heap_text;

heap_text absolute(const char* path) {
    return heap_text(kiv_get_absolute_path(path), &free);
}

// Opens the core's file_writer on the absolute path `target` for a
// writer to fill. Returns: the writer, or null when the target names a
// folder or the temporary file cannot be made (the reason goes to
// kiv_log).
std::unique_ptr<file_writer> open_target(const char* target) {
    std::unique_ptr<file_writer> out(new (std::nothrow) file_writer(target));
    if (out && out->ok())
        return out;
    int error = out ? out->error() : ENOMEM;
    kiv_log(0, "kiv_zip: cannot write '%s': %s", target,
            error == EISDIR ? "it is a folder" : std::strerror(error != 0 ? error : EIO));
    return nullptr;
}

// Hands a new object to the caller with its first reference.
template <class T>
T* with_reference(T* obj) {
    if (obj != nullptr)
        obj->addref();
    return obj;
}

}  // namespace

i_binary* adopt_binary(uint8_t* data, uint64_t size) {
    binary* out = size <= UINT32_MAX ? new (std::nothrow) binary(data, unsigned(size), true) : nullptr;
    if (out == nullptr) {
        free(data);
        return nullptr;
    }
    out->addref();
    return out;
}

zip_service::zip_service() {
    set_name("zip_service");
}

bool zip_service::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_zip_service", static_cast<i_zip_service*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

i_zip_writer* zip_service::open_writer(const char* path) {
    heap_text abs = absolute(path);
    if (!abs)
        return nullptr;
    std::unique_ptr<file_writer> out = open_target(abs.get());
    return out ? with_reference(zip_writer::create(abs.get(), std::move(out))) : nullptr;
}

i_zip_reader* zip_service::open_reader(const char* path) {
    heap_text abs = absolute(path);
    if (!abs)
        return nullptr;
    return with_reference(zip_reader::open(abs.get(), nullptr));
}

i_gzip_writer* zip_service::open_gzip_writer(const char* path) {
    heap_text abs = absolute(path);
    if (!abs)
        return nullptr;
    std::unique_ptr<file_writer> out = open_target(abs.get());
    return out ? with_reference(gzip_writer::create(abs.get(), std::move(out))) : nullptr;
}

}  // namespace kiv
