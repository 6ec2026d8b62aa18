// script_file.cpp --
//
//     Script files of the engines' caches, script code, and the default
//     loader, which reads plain files and files encrypted with the
//     system's framing: a first line "KIVENCF73", then one line of Base64
//     holding a method-'2' ciphertext of "svc_encrypt" whose 4-byte key is
//     kiv_crc32 of the file's base name (with its terminator) from
//     kiv_script_key_start, least significant byte first.
//
//     Both keep the text as one Tcl object, which Tcl compiles on the
//     first run and reuses; the engine runs it inside the namespace `kiv`
//     unless it is raw.

#include "script/script_code.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/bin_text.h>
#include <kiv/core/checksum.h>
#include <kiv/core/files.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_encryptor.h>
#include <kiv/core/log.h>
#include <kiv/core/process.h>
#include <kiv/core/script_file.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

namespace kiv {

namespace {

const char encrypted_mark[] = "KIVENCF73\n";
const size_t encrypted_mark_size = sizeof encrypted_mark - 1;

// Returns: the file's version (modification time in nanoseconds, size
//     and inode, so that a file replaced or rewritten with its old time
//     still counts as changed); false when the file cannot be examined.
bool file_version(const char* path, script_file::version* out) {
    struct stat st;
    if (stat(path, &st) != 0)
        return false;
    out->mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    out->size = static_cast<int64_t>(st.st_size);
    out->inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

// The text after the last "/", else after the last backslash; null when
// the path has neither.
const char* base_name(const char* path) {
    const char* slash = strrchr(path, '/');
    if (slash == nullptr)
        slash = strrchr(path, '\\');
    return slash != nullptr ? slash + 1 : nullptr;
}

// Returns: the decrypted text as a new heap text, or null when anything
//     about the encrypted body does not work out.
char* decrypt_script(const char* body, const char* name) {
    auto_ptr_t<i_binary> cipher(kiv_base64_decode(body));
    if (!cipher || cipher->get_data_size() == 0)
        return nullptr;
    uint32_t crc = kiv_crc32(name, static_cast<unsigned>(strlen(name) + 1), kiv_script_key_start);
    unsigned char key[4] = {static_cast<unsigned char>(crc), static_cast<unsigned char>(crc >> 8),
                            static_cast<unsigned char>(crc >> 16), static_cast<unsigned char>(crc >> 24)};
    i_core* core = kiv_core();
    if (core == nullptr)
        return nullptr;
    auto_ptr_t<i_object> svc(core->get_service("svc_encrypt"));
    i_encryptor* encryptor = kiv_cast_i_encryptor(svc);
    if (encryptor == nullptr)
        return nullptr;
    auto_ptr_t<i_binary> plain(
        encryptor->decrypt(cipher->get_data(), cipher->get_data_size(), key, sizeof key, '2'));
    if (!plain)
        return nullptr;
    // The stored length need not end in a zero byte; terminate a copy.
    unsigned size = plain->get_data_size();
    char* text = static_cast<char*>(malloc(size + 1));
    if (text == nullptr)
        return nullptr;
    if (size > 0)
        std::memcpy(text, plain->get_data(), size);
    text[size] = '\0';
    return text;
}

}  // namespace

script_file::script_file(bool raw) : raw_(raw) {}

script_file::~script_file() {
    if (script_ != nullptr)
        Tcl_DecrRefCount(script_);
}

bool script_file::load(const char* path, kiv_script_file_load_function func, const void* fparam) {
    version now;
    if (path == nullptr || !file_version(path, &now))
        return false;
    if (!loaded_ || !(now == version_)) {
        char* text = func != nullptr ? func(path, fparam) : kiv_load_script_file(path, nullptr);
        if (text == nullptr)
            return false;
        bool reload = script_ != nullptr;
        if (reload)
            Tcl_DecrRefCount(script_);
        version_ = now;
        script_ = Tcl_NewStringObj(text, -1);
        Tcl_IncrRefCount(script_);
        free(text);
        if (reload)
            kiv_trace("script_code: reloading script from file '%s'", path);
    }
    if (!loaded_) {
        path_ = path;
        loaded_ = true;
    }
    return true;
}

bool script_file::get_interface(const char* name, void** out) {
    if (answer_interface(name, "script_file", this, out))
        return true;
    return object::get_interface(name, out);
}

script_code::script_code() : thread_(kiv_get_thread_id()) {}

script_code::~script_code() {
    if (code_ != nullptr && kiv_get_thread_id() == thread_)
        Tcl_DecrRefCount(code_);
}

bool script_code::set_text(const char* text) {
    if (text == nullptr || kiv_get_thread_id() != thread_)
        return false;
    if (code_ != nullptr)
        Tcl_DecrRefCount(code_);
    code_ = Tcl_NewStringObj(text, -1);
    Tcl_IncrRefCount(code_);
    return true;
}

Tcl_Obj* script_code::get_compiled_code() {
    return kiv_get_thread_id() == thread_ ? code_ : nullptr;
}

bool script_code::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_script_code", static_cast<i_script_code*>(this), out))
        return true;
    return object::get_interface(name, out);
}

}  // namespace kiv

using namespace kiv;

char* kiv_load_script_file(const char* path, const void*) {
    if (path == nullptr || *path == '\0')
        return nullptr;
    char* text = kiv_read_file(path);
    if (text == nullptr || strncmp(text, encrypted_mark, encrypted_mark_size) != 0)
        return text;
    const char* name = base_name(path);
    if (name == nullptr)
        return text;
    char* plain = decrypt_script(text + encrypted_mark_size, name);
    if (plain == nullptr)
        return text;
    free(text);
    return plain;
}

kiv::i_script_code* kiv_create_script_code(const char* text) {
    if (text == nullptr)
        return nullptr;
    script_code* code = new script_code;
    code->addref();
    if (!code->set_text(text)) {
        code->release();
        return nullptr;
    }
    return code;
}

kiv::script_file* kiv_cast_script_file(kiv::i_object* obj) {
    return cast_interface<script_file>(obj, "script_file");
}

kiv::i_script_code* kiv_cast_i_script_code(kiv::i_object* obj) {
    return cast_interface<i_script_code>(obj, "i_script_code");
}
