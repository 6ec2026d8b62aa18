// typed_array.h --
//
//     Element versions of the text, named text, byte block and collection
//     classes, for owners that make them by the block (array_object.h).
//     Their interface operations behave exactly as those of string,
//     named_string, binary and object_col; only the counting and the
//     freeing are the block's.

#ifndef KIV_CORE_SRC_TYPED_ARRAY_H
#define KIV_CORE_SRC_TYPED_ARRAY_H

#include "object/array_object.h"

#include <kiv/core/binary_impl.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>

namespace kiv {

// Answers "i_string".
class array_string : public array_object<array_string>, public i_string_impl {
public:
    array_string() = default;
    explicit array_string(const char* value);
    bool get_interface(const char* name, void** out) override;
};

// Answers "i_named_string", "i_named_object", "i_string".
class array_named_string : public array_object<array_named_string>,
                                      public i_string_impl,
                                      public i_named_object_impl,
                                      public virtual i_named_string {
public:
    array_named_string() = default;
    array_named_string(const char* name, const char* value);
    bool get_interface(const char* name, void** out) override;
};

// Answers "i_binary".
class array_binary : public array_object<array_binary>, public i_binary_impl {
public:
    array_binary() = default;
    // adopt true takes the malloc-ed block over; false copies it.
    array_binary(void* data, unsigned size, bool adopt) : i_binary_impl(data, size, adopt) {}
    bool get_interface(const char* name, void** out) override;
};

// Answers "i_object_col".
class array_object_col : public array_object<array_object_col>, public object_col_impl {
public:
    array_object_col() = default;
    bool get_interface(const char* name, void** out) override;
};

}  // namespace kiv

#endif
