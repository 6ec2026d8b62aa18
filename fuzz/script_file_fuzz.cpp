// script_file_fuzz.cpp --
//
//     Reads any bytes as a script file through the engines' default
//     loader, which takes plain files as they are and decrypts files in
//     the "KIVENCF73" framing (a Base64 line of a method-'2' ciphertext
//     keyed by the file's name). The first byte chooses what the rest is:
//     - even: the file itself, read as found (a damaged encrypted file
//       must come back as its own text, never as garbage or a crash);
//     - odd: a script text that the target first encrypts and frames as
//       the packer of scripts does, so the loader must give back exactly
//       that text.
//     The same bytes also go straight to the cipher service: decrypting
//     with each method and the string form with Base64 must stay inside
//     what it was given, and encrypting then decrypting gives the bytes
//     back.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/bin_text.h>
#include <kiv/core/checksum.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_encryptor.h>
#include <kiv/core/i_script.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

const char script_name[] = "page.tcl";
std::string script_path;
kiv::i_encryptor* cipher = nullptr;  // the service's; lives as long as the core
kiv::i_object* cipher_service = nullptr;

std::string take(char* text) {
    std::string out = text != nullptr ? text : "";
    std::free(text);
    return out;
}

// Returns: `text` encrypted and framed as an encrypted script file named
//     `script_name`.
std::string frame(const std::string& text) {
    uint32_t crc = kiv_crc32(script_name, sizeof script_name, kiv_script_key_start);
    unsigned char key[4] = {uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)};
    auto_ptr_t<kiv::i_binary> sealed(cipher->encrypt(text.data(), text.size(), key, sizeof key, '2'));
    check(sealed);
    return "KIVENCF73\n" + take(kiv_base64_encode(sealed->get_data(), sealed->get_data_size()));
}

void cipher_checks(const uint8_t* data, size_t size) {
    if (size < 2)
        return;
    // The first byte gives the key's length, taken from the rest.
    size_t key_size = std::min<size_t>(data[0], size - 1);
    const uint8_t* key = data + 1;
    const uint8_t* body = data + 1 + key_size;
    size_t body_size = size - 1 - key_size;
    for (unsigned char method : {'0', '1', '2'}) {
        auto_ptr_t<kiv::i_binary> plain(cipher->decrypt(body, body_size, key, unsigned(key_size), method));
        if (plain)
            check(plain->get_data_size() <= body_size);
        auto_ptr_t<kiv::i_binary> sealed(cipher->encrypt(body, body_size, key, unsigned(key_size), method));
        if (!sealed)
            continue;
        auto_ptr_t<kiv::i_binary> back(
            cipher->decrypt(sealed->get_data(), sealed->get_data_size(), key, unsigned(key_size), method));
        check(back && back->get_data_size() == body_size &&
              std::memcmp(back->get_data(), body, body_size) == 0);
    }
    std::string text(reinterpret_cast<const char*>(body), body_size);
    std::string key_text(reinterpret_cast<const char*>(key), key_size);
    for (unsigned char method : {'1', '2'})
        std::free(cipher->decrypt_string(text.c_str(), key_text.c_str(), method));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    script_path = start_framework({}) + "/" + script_name;
    cipher_service = keep(kiv_core()->get_service("svc_encrypt"));
    cipher = kiv_cast_i_encryptor(cipher_service);
    if (cipher == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1u << 16))
        return 0;
    std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    rest = rest.substr(0, rest.find('\0'));
    bool sealed = (data[0] & 1) != 0 && !rest.empty();
    std::string file = sealed ? frame(rest) : rest;
    write_file(script_path, file.data(), file.size(), 1000000);
    char* loaded = kiv_load_script_file(script_path.c_str(), nullptr);
    check(loaded != nullptr);
    // A sealed script comes back as it was; a plain or damaged file as
    // its own text.
    check(std::string(loaded) == rest || (!sealed && std::strlen(loaded) <= rest.size()));
    std::free(loaded);
    cipher_checks(data, size);
    return 0;
}
