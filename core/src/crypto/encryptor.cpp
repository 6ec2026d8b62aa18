// encryptor.cpp --
//
//     Framing of the encryptor's methods: the stored length, the block
//     walk with zero padding, and the text variants through Base64. The
//     block-level work is in block_cipher.cpp. Every call builds its own
//     buffers and tables, so calls run in parallel freely.
//
//     Decryption reads only the bytes it was given: a last partial block
//     is zero-padded from what is there, never read past the input.

#include "crypto/encryptor.h"

#include "crypto/block_cipher.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/bin_text.h>
#include <kiv/core/binary_impl.h>
#include <kiv/core/le_bytes.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kiv {

namespace {

const int64_t encryptor_type_id = 77132;
// Byte blocks carry 32-bit sizes; leave room for the framing.
const uint64_t max_data_size = UINT32_MAX - 64;

const unsigned length_size = 4;

void store_be32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

uint32_t load_be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Copies block `index` of `size` bytes from (data, data_size) into
// `block`, zero-padding what the input does not hold.
void take_block(const uint8_t* data, uint64_t data_size, uint64_t index, unsigned size, uint8_t* block) {
    std::memset(block, 0, size);
    uint64_t start = index * size;
    if (start >= data_size)
        return;
    uint64_t available = data_size - start;
    std::memcpy(block, data + start, available < size ? available : size);
}

// The cipher-specific part of one call: what to do with each block.
struct method_spec {
    unsigned block_size;   // B
    unsigned extra;        // output bytes beyond the input part
    unsigned min_input;    // shortest ciphertext decrypt accepts
};

const method_spec own_spec = {16, 20, 21};
const method_spec tea_spec = {8, 12, 13};

// Walks the blocks of a framed ciphertext in either direction.
// `process` enciphers or deciphers one block in place.
template <class Process>
i_binary* run_blocks(const method_spec& params, const uint8_t* input, uint64_t input_size, bool decrypt,
                     Process process) {
    uint64_t plain_size;
    const uint8_t* part = input;
    uint64_t part_size = input_size;
    if (decrypt) {
        if (input_size < params.min_input)
            return nullptr;
        plain_size = load_be32(input);
        if (plain_size > input_size - length_size)
            return nullptr;
        part += length_size;
        part_size -= length_size;
    } else {
        plain_size = input_size;
    }
    uint64_t out_size = part_size + params.extra;
    uint8_t* out = static_cast<uint8_t*>(calloc(out_size, 1));
    if (out == nullptr)
        return nullptr;
    uint8_t* blocks = out;
    if (!decrypt) {
        store_be32(out, static_cast<uint32_t>(plain_size));
        blocks += length_size;
    }
    uint64_t block_count = part_size / params.block_size + 1;
    uint8_t block[16];
    for (uint64_t i = 0; i < block_count; ++i) {
        take_block(part, part_size, i, params.block_size, block);
        process(block);
        std::memcpy(blocks + i * params.block_size, block, params.block_size);
    }
    unsigned result_size = static_cast<unsigned>(decrypt ? plain_size : out_size);
    binary* result = new (std::nothrow) binary(out, result_size, true);
    if (result == nullptr) {
        free(out);
        return nullptr;
    }
    result->addref();
    return result;
}

i_binary* run_own_cipher(const uint8_t* input, uint64_t size, const uint8_t* key, unsigned key_size,
                         bool decrypt) {
    if (key_size < 5 || key_size > 125)
        return nullptr;
    cipher::block_tables* tables = new (std::nothrow) cipher::block_tables;
    if (tables == nullptr)
        return nullptr;
    cipher::make_tables(key, key_size, decrypt, tables);
    i_binary* result = run_blocks(own_spec, input, size, decrypt, [&](uint8_t* block) {
        if (decrypt)
            cipher::decipher_block(*tables, block);
        else
            cipher::encipher_block(*tables, block);
    });
    delete tables;
    return result;
}

// TEA keys are taken 16 bytes at a time, one piece per block, cycling
// through the key; bytes a short piece does not overwrite keep what the
// previous piece left (zero at first).
i_binary* run_tea(const uint8_t* input, uint64_t size, const uint8_t* key, unsigned key_size, bool decrypt) {
    uint8_t key_buffer[16] = {};
    unsigned key_pos = 0;
    return run_blocks(tea_spec, input, size, decrypt, [&](uint8_t* block) {
        unsigned take = key_size - key_pos < 16 ? key_size - key_pos : 16;
        std::memcpy(key_buffer, key + key_pos, take);
        key_pos += take;
        if (key_pos >= key_size)
            key_pos = 0;
        uint32_t k[4];
        for (int i = 0; i < 4; ++i)
            k[i] = le_u32(key_buffer + 4 * i);
        uint32_t v[2] = {le_u32(block), le_u32(block + 4)};
        if (decrypt)
            cipher::tea_decipher(v, k);
        else
            cipher::tea_encipher(v, k);
        store_le_u32(block, v[0]);
        store_le_u32(block + 4, v[1]);
    });
}

i_binary* transform(const void* data, unsigned long data_size, const void* key, unsigned key_size,
                    unsigned char method, bool decrypt) {
    if (data == nullptr || data_size == 0 || key == nullptr || key_size == 0 || data_size > max_data_size)
        return nullptr;
    const uint8_t* input = static_cast<const uint8_t*>(data);
    const uint8_t* key_bytes = static_cast<const uint8_t*>(key);
    switch (method) {
    case '0': {
        binary* copy = new (std::nothrow) binary;
        if (copy == nullptr)
            return nullptr;
        copy->addref();
        if (!copy->set_data(data, static_cast<unsigned>(data_size))) {
            copy->release();
            return nullptr;
        }
        return copy;
    }
    case '1':
        return run_own_cipher(input, data_size, key_bytes, key_size, decrypt);
    case '2':
        return run_tea(input, data_size, key_bytes, key_size, decrypt);
    default:
        return nullptr;
    }
}

}  // namespace

encryptor::encryptor() {
    set_name("encryptor");
    id_ = encryptor_type_id;
}

i_binary* encryptor::encrypt(const void* data, unsigned long data_size, const void* key, unsigned key_size,
                             unsigned char method) {
    return transform(data, data_size, key, key_size, method, false);
}

i_binary* encryptor::decrypt(const void* data, unsigned long data_size, const void* key, unsigned key_size,
                             unsigned char method) {
    return transform(data, data_size, key, key_size, method, true);
}

char* encryptor::encrypt_string(const char* data, const char* key, unsigned char method) {
    if (data == nullptr || key == nullptr)
        return nullptr;
    auto_ptr_t<i_binary> cipher_text(
        encrypt(data, strlen(data) + 1, key, static_cast<unsigned>(strnlen(key, UINT32_MAX - 1) + 1), method));
    if (!cipher_text)
        return nullptr;
    return kiv_base64_encode(cipher_text->get_data(), cipher_text->get_data_size());
}

char* encryptor::decrypt_string(const char* data, const char* key, unsigned char method) {
    if (data == nullptr || key == nullptr)
        return nullptr;
    auto_ptr_t<i_binary> decoded(kiv_base64_decode(data));
    if (!decoded || decoded->get_data_size() == 0)
        return nullptr;
    auto_ptr_t<i_binary> plain(decrypt(decoded->get_data(), decoded->get_data_size(), key,
                                       static_cast<unsigned>(strnlen(key, UINT32_MAX - 1) + 1), method));
    if (!plain)
        return nullptr;
    unsigned size = plain->get_data_size();
    char* text = static_cast<char*>(const_cast<void*>(plain->get_data()));
    if (size == 0 || text == nullptr || text[size - 1] != '\0')
        return nullptr;
    plain->detach();
    return text;
}

bool encryptor::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_encryptor", static_cast<i_encryptor*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out) ||
        answer_interface(name, "i_typed_object", static_cast<i_typed_object*>(this), out))
        return true;
    if (out != nullptr)
        *out = nullptr;
    return false;
}

}  // namespace kiv

kiv::i_encryptor* kiv_cast_i_encryptor(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_encryptor>(obj, "i_encryptor");
}
