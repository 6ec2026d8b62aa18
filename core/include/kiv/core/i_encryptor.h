// i_encryptor.h --
//
//     The cipher service "svc_encrypt": byte blocks and texts to
//     ciphertext and back with one of three methods, named by a
//     character: '0' a plain copy, '1' the system's own 16-byte block
//     cipher, '2' TEA on 8-byte blocks. Encrypted scripts and pages use
//     '2'. Keys always come from the caller; the service keeps none and
//     may be used from any thread at once.
//
//     This is obfuscation, not protection: the script key is derived from
//     the file's own name, and neither method is a modern cipher.
//
//     Ciphertext of methods '1' and '2': the plain length n as 4 bytes
//     big-endian, then floor(n / B) + 1 enciphered blocks of B bytes
//     (B = 16 for '1', 8 for '2'; the last plain block zero-padded), then
//     zero bytes up to n + 20 ('1') or n + 12 ('2') bytes in all. Stored
//     files rely on this layout.

#ifndef KIV_CORE_I_ENCRYPTOR_H
#define KIV_CORE_I_ENCRYPTOR_H

#include <kiv/core/i_object.h>

namespace kiv {

class i_binary;

class i_encryptor : public virtual i_object {
public:
    // Enciphers `data_size` bytes with a key of `key_size` bytes ('1'
    // wants 5 to 125 key bytes).
    // Returns: a new byte block with one reference for the caller; null
    //     for null or empty data or key, another method character, a bad
    //     key size or when memory fails.
    virtual i_binary* encrypt(const void* data, unsigned long data_size, const void* key, unsigned key_size,
                              unsigned char method) = 0;
    // The reverse of encrypt: the block holds exactly the stored length.
    // Returns: as encrypt; also null for input too short to hold one
    //     block ('1': 21 bytes, '2': 13) or a stored length beyond it.
    virtual i_binary* decrypt(const void* data, unsigned long data_size, const void* key, unsigned key_size,
                              unsigned char method) = 0;
    // Enciphers the text with its terminator, keyed by `key` with its
    // terminator.
    // Returns: the Base64 text of the ciphertext, malloc-ed for the
    //     caller to free; null for null arguments or on any refusal.
    virtual char* encrypt_string(const char* data, const char* key, unsigned char method) = 0;
    // The reverse of encrypt_string.
    // Returns: the malloc-ed text for the caller to free; null for null
    //     arguments, a refusal, or plain bytes that do not end in a zero.
    virtual char* decrypt_string(const char* data, const char* key, unsigned char method) = 0;

protected:
    ~i_encryptor() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_encryptor* kiv_cast_i_encryptor(kiv::i_object* obj);

#endif
