// kiv_library.cpp --
//
//     The loaded-library record and its cast.

#include "app/kiv_library.h"

#include "../../platform/platform.h"

namespace kiv {

namespace {

typedef const char* (*text_export)();

// Returns: the text an optional export gives, or the empty text.
std::string read_text_export(void* module, const char* name) {
    text_export fn = reinterpret_cast<text_export>(platform::dl_own_symbol(module, name));
    const char* text = fn != nullptr ? fn() : nullptr;
    return text != nullptr ? text : "";
}

}  // namespace

kiv_library::kiv_library(void* module, const std::string& path) : module_(module), path_(path) {
    set_name(read_text_export(module, "kiv_library_name").c_str());
    version_ = read_text_export(module, "kiv_library_version");
}

bool kiv_library::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_kiv_library", static_cast<i_kiv_library*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

}  // namespace kiv

kiv::i_kiv_library* kiv_cast_i_kiv_library(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_kiv_library>(obj, "i_kiv_library");
}
