// binary.cpp --
//
//     The byte block object.

#include <kiv/core/binary_impl.h>

#include <cstdlib>
#include <cstring>

namespace kiv {

i_binary_impl::i_binary_impl(void* data, unsigned size, bool adopt) {
    if (adopt)
        assign_data(data, size);
    else
        set_data(data, size);
}

i_binary_impl::~i_binary_impl() {
    free(data_);
}

bool i_binary_impl::set_data(const void* data, unsigned size) {
    void* copy = nullptr;
    if (data != nullptr && size != 0) {
        // Copy before freeing: `data` may lie inside the old block.
        copy = malloc(size);
        if (copy == nullptr) {
            free(data_);
            data_ = nullptr;
            size_ = 0;
            return false;
        }
        std::memcpy(copy, data, size);
    }
    free(data_);
    data_ = copy;
    size_ = copy != nullptr ? size : 0;
    return true;
}

void i_binary_impl::detach() {
    data_ = nullptr;
    size_ = 0;
}

void i_binary_impl::assign_data(void* data, unsigned size) {
    if (data != data_)
        free(data_);
    data_ = data;
    size_ = data != nullptr ? size : 0;
}

bool binary::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_binary", static_cast<i_binary*>(this), out))
        return true;
    return object::get_interface(name, out);
}

}  // namespace kiv

kiv::i_binary* kiv_cast_i_binary(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_binary>(obj, "i_binary");
}
