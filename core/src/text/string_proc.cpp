// string_proc.cpp --
//
//     Variable expansion. Texts come from configuration and environment
//     files, so the scan never reads behind the terminator and never
//     expands a value again (a value holding "$" stays as it is).

#include <kiv/core/env.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_proc.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace kiv {

namespace {

bool is_name_char(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

char* heap_copy(const std::string& text) {
    char* copy = static_cast<char*>(malloc(text.size() + 1));
    if (copy != nullptr)
        std::memcpy(copy, text.c_str(), text.size() + 1);
    return copy;
}

}  // namespace

string_proc::string_proc() : var_substs_(kiv_create_col()) {
    set_name("string_service");
}

char* string_proc::lookup(const char* name, i_var_subst* var_subst) {
    if (var_subst != nullptr) {
        char* value = var_subst->get_variable_value(name);
        if (value != nullptr)
            return value;
    }
    unsigned count = var_substs_->get_count();
    for (unsigned pos = 0; pos < count; ++pos) {
        auto_ptr_t<i_object> item(var_substs_->get_item_by_pos(pos));
        i_var_subst* source = cast_interface<i_var_subst>(item, "i_var_subst");
        if (source == nullptr)
            continue;
        char* value = source->get_variable_value(name);
        if (value != nullptr)
            return value;
    }
    std::string env;
    if (kiv_get_env(name, env))
        return heap_copy(env);
    return nullptr;
}

char* string_proc::process(const char* src, i_var_subst* var_subst) {
    if (src == nullptr)
        return nullptr;
    const char* dollar = std::strchr(src, '$');
    if (dollar == nullptr)
        return strdup(src);
    std::string result;
    std::string name;
    const char* scan = src;
    while (dollar != nullptr) {
        const char* name_end;  // the first byte behind the reference
        if (dollar[1] == '{') {
            const char* close = std::strchr(dollar + 2, '}');
            if (close == nullptr)
                break;
            name.assign(dollar + 2, close);
            name_end = close + 1;
        } else {
            const char* p = dollar + 1;
            while (is_name_char(*p))
                ++p;
            if (p == dollar + 1)
                break;
            name.assign(dollar + 1, p);
            name_end = p;
        }
        result.append(scan, dollar);
        char* value = lookup(name.c_str(), var_subst);
        if (value != nullptr) {
            result += value;
            free(value);
        }
        scan = name_end;
        dollar = std::strchr(scan, '$');
    }
    result += scan;
    return heap_copy(result);
}

i_object_col_x* string_proc::get_global_var_substs() {
    var_substs_->addref();
    return var_substs_.get();
}

bool string_proc::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_string_proc", static_cast<i_string_proc*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

}  // namespace kiv

kiv::i_string_proc* kiv_cast_i_string_proc(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_string_proc>(obj, "i_string_proc");
}

kiv::i_var_subst* kiv_cast_i_var_subst(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_var_subst>(obj, "i_var_subst");
}
