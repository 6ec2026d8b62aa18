// md5_encoder.h --
//
//     The MD5 service object, registered by the core as "svc_md5_encoder".

#ifndef KIV_CORE_SRC_MD5_ENCODER_H
#define KIV_CORE_SRC_MD5_ENCODER_H

#include <kiv/core/i_md5_encoder.h>
#include <kiv/core/string_impl.h>

namespace kiv {

class md5_encoder : public object, public virtual i_named_object_impl, public virtual i_md5_encoder {
public:
    md5_encoder();
    char* encode_string(const char* src) override;
    char* encode_data(const void* data, unsigned data_length) override;
    bool get_interface(const char* name, void** out) override;
};

}  // namespace kiv

#endif
