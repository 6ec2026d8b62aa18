// typed_array.cpp --
//
//     Interface lookup of the block-counted element classes.

#include "object/typed_array.h"

namespace kiv {

array_string::array_string(const char* value) {
    set_value(value);
}

bool array_string::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_string", static_cast<i_string*>(this), out))
        return true;
    return array_object_impl<array_string>::get_interface(name, out);
}

array_named_string::array_named_string(const char* name, const char* value) {
    set_value(value);
    set_name(name);
}

bool array_named_string::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_named_string", static_cast<i_named_string*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out) ||
        answer_interface(name, "i_string", static_cast<i_string*>(this), out))
        return true;
    return array_object_impl<array_named_string>::get_interface(name, out);
}

bool array_binary::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_binary", static_cast<i_binary*>(this), out))
        return true;
    return array_object_impl<array_binary>::get_interface(name, out);
}

bool array_object_col::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_object_col", static_cast<i_object_col*>(this), out))
        return true;
    return array_object_impl<array_object_col>::get_interface(name, out);
}

}  // namespace kiv
