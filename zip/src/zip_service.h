// zip_service.h --
//
//     The service object "svc_zip": opens readers and writers on files,
//     compresses and inflates buffers in memory and reads gzip files
//     whole. It holds no state, so any thread may use it at once. The
//     memory and gzip work lives in zip_service_memory_codec.cpp and
//     zip_service_gzip_reader.cpp.

#ifndef KIV_ZIP_SRC_ZIP_SERVICE_H
#define KIV_ZIP_SRC_ZIP_SERVICE_H

#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include <kiv/zip/i_zip.h>

#include <cstdint>

namespace kiv {

class zip_service : public object, public i_named_object_impl, public i_zip_service {
public:
    // Named "zip_service"; count 0.
    zip_service();

    i_zip_writer* open_writer(const char* path) override;
    i_zip_reader* open_reader(const char* path) override;
    i_binary* compress_text(const char* buf) override;
    i_binary* compress_binary(const void* buf, unsigned buf_size) override;
    i_binary* uncompress_binary(const void* buf, unsigned buf_size, unsigned unc_buf_size) override;
    char* uncompress_text(const void* buf, unsigned buf_size, unsigned unc_buf_size) override;
    i_gzip_writer* open_gzip_writer(const char* path) override;
    i_binary* ungzip_binary(const char* path) override;
    char* ungzip_text(const char* path) override;
    // Answers "i_zip_service" and "i_named_object"; others go to object.
    bool get_interface(const char* name, void** out) override;

private:
    // Inflates buf into a malloc-ed block with one spare byte at its end.
    // Returns: the block (*size set), or null.
    static uint8_t* uncompress(const void* buf, unsigned buf_size, unsigned unc_buf_size,
                               uint64_t* size);
    // Reads a gzip (or plain) file whole into a malloc-ed block with one
    // spare byte at its end. Returns: the block (*size set), or null.
    static uint8_t* ungzip(const char* path, uint64_t* size);
};

// Wraps a malloc-ed block in a new binary with one reference, taking it
// over; frees it and returns null when memory fails.
i_binary* adopt_binary(uint8_t* data, uint64_t size);

}  // namespace kiv

#endif
