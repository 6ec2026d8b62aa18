// string.cpp --
//
//     The growable heap text and the name and id implementations. Every
//     call may be handed text that points into the object's own buffer
//     (set_value(get_value() + 1), concat(get_value())): such text is
//     copied or moved before the buffer is reallocated or freed. Lengths
//     and capacities are checked in 64-bit so they never wrap.

#include <kiv/core/byte_buffer.h>
#include <kiv/core/string_impl.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace kiv {

namespace {
const char empty_text[] = "";
const uint64_t max_capacity = UINT32_MAX;
const unsigned min_capacity = 256;

bool points_into(const char* p, const char* buffer, unsigned capacity) {
    return buffer != nullptr && p >= buffer && p < buffer + capacity;
}
}  // namespace

i_string_impl::~i_string_impl() {
    free(buffer_);
}

const char* i_string_impl::get_value() {
    return buffer_ != nullptr ? buffer_ : empty_text;
}

bool i_string_impl::set_value(const char* value) {
    if (value == nullptr || *value == '\0') {
        if (buffer_ != nullptr)
            buffer_[0] = '\0';
        length_ = 0;
        return true;
    }
    uint64_t len = std::strlen(value);
    if (buffer_ != nullptr && len < capacity_) {
        if (value != buffer_)
            std::memmove(buffer_, value, len + 1);
        length_ = static_cast<unsigned>(len);
        return true;
    }
    // The value is longer than the buffer, so it cannot lie inside it.
    if (!resize_buffer(buffer_, capacity_, len + 1 < min_capacity ? min_capacity : len + 1, max_capacity))
        return false;
    std::memcpy(buffer_, value, len + 1);
    length_ = static_cast<unsigned>(len);
    return true;
}

void i_string_impl::concat(const char* text) {
    if (text != nullptr)
        concatn(text, static_cast<unsigned>(strnlen(text, UINT32_MAX)));
}

void i_string_impl::concatn(const char* text, unsigned n) {
    if (text == nullptr || n == 0)
        return;
    uint64_t needed = uint64_t(length_) + n + 1;
    if (needed > max_capacity)
        return;
    size_t copy_len = strnlen(text, n);
    if (buffer_ == nullptr) {
        if (!resize_buffer(buffer_, capacity_, n < min_capacity ? min_capacity : uint64_t(n) + 1, max_capacity))
            return;
        length_ = 0;
        buffer_[0] = '\0';
    } else if (needed >= capacity_) {
        uint64_t capacity = capacity_ != 0 ? capacity_ : min_capacity;
        while (needed >= capacity && capacity < max_capacity)
            capacity *= 2;
        if (capacity > max_capacity)
            capacity = max_capacity;
        if (needed > capacity)
            return;
        // Text inside our own buffer moves with it: remember its offset.
        bool own = points_into(text, buffer_, capacity_);
        size_t offset = own ? static_cast<size_t>(text - buffer_) : 0;
        if (!resize_buffer(buffer_, capacity_, capacity, max_capacity))
            return;
        if (own)
            text = buffer_ + offset;
    }
    std::memmove(buffer_ + length_, text, copy_len);
    std::memset(buffer_ + length_ + copy_len, 0, n - copy_len);
    length_ += n;
    buffer_[length_] = '\0';
}

char* i_string_impl::detach() {
    char* buffer = buffer_;
    buffer_ = nullptr;
    capacity_ = 0;
    length_ = 0;
    return buffer;
}

void i_string_impl::assign(char* buffer) {
    if (buffer == nullptr) {
        assign_buffer(nullptr, 0);
        return;
    }
    size_t len = strnlen(buffer, UINT32_MAX - 1);
    assign_buffer(buffer, static_cast<unsigned>(len + 1));
}

void i_string_impl::assign_buffer(char* buffer, unsigned capacity) {
    if (buffer_ != buffer)
        free(buffer_);
    buffer_ = buffer;
    if (buffer == nullptr || capacity == 0) {
        capacity_ = 0;
        length_ = 0;
        return;
    }
    capacity_ = capacity;
    length_ = static_cast<unsigned>(strnlen(buffer, capacity - 1));
}

bool i_string_impl::reserve(unsigned n) {
    uint64_t wanted = uint64_t(n) + 1;
    if (wanted > max_capacity)
        return false;
    if (capacity_ > wanted)
        return true;
    bool fresh = buffer_ == nullptr;
    if (!resize_buffer(buffer_, capacity_, wanted, max_capacity))
        return false;
    if (fresh) {
        buffer_[0] = '\0';
        length_ = 0;
    }
    return true;
}

unsigned i_string_impl::get_max_buf_size() {
    return capacity_;
}

i_named_object_impl::~i_named_object_impl() {
    free(name_);
}

const char* i_named_object_impl::get_name() {
    return name_ != nullptr ? name_ : empty_text;
}

bool i_named_object_impl::set_name(const char* name) {
    if (name == nullptr)
        return false;
    // Copy first: `name` may be our own buffer.
    char* copy = *name != '\0' ? strdup(name) : nullptr;
    free(name_);
    name_ = copy;
    return true;
}

bool i_named_object_impl::assign_name(char* name) {
    if (name != name_)
        free(name_);
    name_ = name;
    return true;
}

string::string(const char* value) {
    set_value(value);
}

bool string::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_string", static_cast<i_string*>(this), out))
        return true;
    return object::get_interface(name, out);
}

named_string::named_string(const char* name, const char* value) {
    set_value(value);
    set_name(name);
}

bool named_string::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_named_string", static_cast<i_named_string*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return string::get_interface(name, out);
}

}  // namespace kiv

using namespace kiv;

kiv::i_string* kiv_cast_i_string(kiv::i_object* obj) {
    return cast_interface<i_string>(obj, "i_string");
}

kiv::i_named_object* kiv_cast_i_named_object(kiv::i_object* obj) {
    return cast_interface<i_named_object>(obj, "i_named_object");
}

kiv::i_typed_object* kiv_cast_i_typed_object(kiv::i_object* obj) {
    return cast_interface<i_typed_object>(obj, "i_typed_object");
}

kiv::i_named_string* kiv_cast_i_named_string(kiv::i_object* obj) {
    return cast_interface<i_named_string>(obj, "i_named_string");
}

kiv::i_string* kiv_create_string(const char* val) {
    kiv::string* s = new kiv::string(val);
    s->addref();
    return s;
}

kiv::i_named_string* kiv_create_named_string(const char* name, const char* val) {
    named_string* s = new named_string(name, val);
    s->addref();
    return s;
}
