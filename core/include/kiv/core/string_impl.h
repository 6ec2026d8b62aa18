// string_impl.h --
//
//     Reusable implementations of the text, name and id interfaces, and
//     the two concrete text classes. None of these classes locks; an
//     object that several threads use is guarded by its owner.

#ifndef KIV_CORE_STRING_IMPL_H
#define KIV_CORE_STRING_IMPL_H

#include <kiv/core/i_string.h>
#include <kiv/core/object.h>

namespace kiv {

class KIV_EXPORT i_string_impl : public virtual i_string {
public:
    i_string_impl() = default;
    i_string_impl(const i_string_impl&) = delete;
    i_string_impl& operator=(const i_string_impl&) = delete;
    virtual ~i_string_impl();

    const char* get_value() override;
    bool set_value(const char* value) override;
    void concat(const char* text) override;
    void concatn(const char* text, unsigned n) override;
    char* detach() override;
    void assign(char* buffer) override;
    bool reserve(unsigned n) override;

    // Frees the old buffer and takes over `buffer` of `capacity` bytes,
    // which holds a terminated text (null: empty, capacity 0).
    virtual void assign_buffer(char* buffer, unsigned capacity);
    // Returns: the buffer's size in bytes, terminator included.
    virtual unsigned get_max_buf_size();

    // Number of bytes before the terminator.
    unsigned get_length() const { return length_; }

protected:
    char* buffer_ = nullptr;  // malloc-ed, owned; null when none
    unsigned capacity_ = 0;   // size of buffer_, terminator included
    unsigned length_ = 0;     // bytes before the terminator
};

class KIV_EXPORT i_named_object_impl : public virtual i_named_object {
public:
    i_named_object_impl() = default;
    i_named_object_impl(const i_named_object_impl&) = delete;
    i_named_object_impl& operator=(const i_named_object_impl&) = delete;
    virtual ~i_named_object_impl();

    const char* get_name() override;
    bool set_name(const char* name) override;
    // Frees the old name and takes over a heap buffer (null allowed).
    virtual bool assign_name(char* name);

protected:
    char* name_ = nullptr;  // malloc-ed, owned; null when the object has no name
};

class KIV_EXPORT i_typed_object_impl : public virtual i_typed_object {
public:
    int64_t get_id() override { return id_; }

protected:
    ~i_typed_object_impl() = default;
    int64_t id_ = 0;  // set by the embedding class
};

class KIV_EXPORT string : public object, public i_string_impl {
public:
    string() = default;
    explicit string(const char* value);
    bool get_interface(const char* name, void** out) override;
};

class KIV_EXPORT named_string : public string, public i_named_object_impl, public virtual i_named_string {
public:
    named_string() = default;
    named_string(const char* name, const char* value);
    bool get_interface(const char* name, void** out) override;
};

}  // namespace kiv

#endif
