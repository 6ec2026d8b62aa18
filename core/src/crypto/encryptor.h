// encryptor.h --
//
//     The cipher service object, registered by the core as "svc_encrypt".
//     It holds no state, so the one instance serves every thread.

#ifndef KIV_CORE_SRC_ENCRYPTOR_H
#define KIV_CORE_SRC_ENCRYPTOR_H

#include <kiv/core/i_encryptor.h>
#include <kiv/core/string_impl.h>

namespace kiv {

class KIV_EXPORT encryptor : public object,
                             public virtual i_named_object_impl,
                             public virtual i_typed_object_impl,
                             public virtual i_encryptor {
public:
    encryptor();
    i_binary* encrypt(const void* data, unsigned long data_size, const void* key, unsigned key_size,
                      unsigned char method) override;
    i_binary* decrypt(const void* data, unsigned long data_size, const void* key, unsigned key_size,
                      unsigned char method) override;
    char* encrypt_string(const char* data, const char* key, unsigned char method) override;
    char* decrypt_string(const char* data, const char* key, unsigned char method) override;
    bool get_interface(const char* name, void** out) override;
};

}  // namespace kiv

#endif
