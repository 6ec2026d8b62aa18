// i_md5_encoder.h --
//
//     MD5 digests (RFC 1321) as 32 lower-case hexadecimal digits, reached
//     as the service "svc_md5_encoder". The service keeps no state between
//     calls and may be used from any thread at once.

#ifndef KIV_CORE_I_MD5_ENCODER_H
#define KIV_CORE_I_MD5_ENCODER_H

#include <kiv/core/i_object.h>

namespace kiv {

class i_md5_encoder : public virtual i_object {
public:
    // Digest of the text without its terminator.
    // Returns: a malloc-ed text the caller frees, null for null input.
    virtual char* encode_string(const char* src) = 0;
    // Digest of `data_length` bytes.
    // Returns: a malloc-ed text the caller frees, null for null data or
    //     when memory fails.
    virtual char* encode_data(const void* data, unsigned data_length) = 0;

protected:
    ~i_md5_encoder() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_md5_encoder* kiv_cast_i_md5_encoder(kiv::i_object* obj);

#endif
