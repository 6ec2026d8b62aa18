// i_string.h --
//
//     The text value of the system (i_string), the name of an object
//     (i_named_object), the 64-bit id of an object (i_typed_object), and
//     a named text (i_named_string). Text is UTF-8.

#ifndef KIV_CORE_I_STRING_H
#define KIV_CORE_I_STRING_H

#include <kiv/core/i_object.h>

#include <cstdint>

namespace kiv {

class i_string : public virtual i_object {
public:
    // Returns: the text; never null (the empty text when there is none).
    //     Borrowed, valid until the next change of the string.
    virtual const char* get_value() = 0;
    // Copies `value` in (null or empty empties the string).
    // Returns: false when memory fails; the string is then unchanged.
    virtual bool set_value(const char* value) = 0;
    // Appends a terminated text; null is ignored.
    virtual void concat(const char* text) = 0;
    // Appends exactly n bytes: the text up to its terminator, padded with
    // zero bytes to n. Unchanged when memory fails.
    virtual void concatn(const char* text, unsigned n) = 0;
    // Returns: the heap buffer, which the caller frees with free(); the
    //     string is left empty. Null when the string holds no buffer.
    virtual char* detach() = 0;
    // Takes over a heap buffer holding a terminated text (null allowed).
    virtual void assign(char* buffer) = 0;
    // Makes room for n bytes of text plus the terminator.
    // Returns: false when memory fails; the string is then unchanged.
    virtual bool reserve(unsigned n) = 0;

protected:
    ~i_string() = default;
};

class i_named_object : public virtual i_object {
public:
    // Returns: the name, the empty text when there is none. Borrowed.
    virtual const char* get_name() = 0;
    // Stores a copy of `name` (empty: no name). Returns: false for null.
    virtual bool set_name(const char* name) = 0;

protected:
    ~i_named_object() = default;
};

class i_typed_object : public virtual i_object {
public:
    virtual int64_t get_id() = 0;

protected:
    ~i_typed_object() = default;
};

class i_named_string : public virtual i_string, public virtual i_named_object {
protected:
    ~i_named_string() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_string* kiv_cast_i_string(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_named_object* kiv_cast_i_named_object(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_typed_object* kiv_cast_i_typed_object(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_named_string* kiv_cast_i_named_string(kiv::i_object* obj);

// New string holding a copy of `val` (null: empty).
// Returns: the string with one reference for the caller.
KIV_EXTERN_C kiv::i_string* kiv_create_string(const char* val);
// New named string. Returns: the string with one reference for the caller.
KIV_EXTERN_C kiv::i_named_string* kiv_create_named_string(const char* name, const char* val);

#endif
