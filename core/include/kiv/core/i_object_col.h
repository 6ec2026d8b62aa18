// i_object_col.h --
//
//     The one container type that crosses library boundaries: an ordered
//     list of object references, searchable by position, 64-bit id and
//     name. Getters hand out one reference for the caller.

#ifndef KIV_CORE_I_OBJECT_COL_H
#define KIV_CORE_I_OBJECT_COL_H

#include <kiv/core/i_object.h>

#include <cstdint>

namespace kiv {

class i_object_col : public virtual i_object {
public:
    // Returns: the number of items (read without locking).
    virtual unsigned get_count() = 0;
    // Returns: the item at `pos` with one reference for the caller, or null.
    virtual i_object* get_item_by_pos(unsigned pos) = 0;
    // Returns: the first item answering i_typed_object whose id is `id`,
    //     with one reference for the caller, or null.
    virtual i_object* get_item_by_id(int64_t id) = 0;
    // Returns: the first item answering i_named_object whose name equals
    //     `name` (exact bytes), with one reference for the caller, or null.
    virtual i_object* get_item_by_name(const char* name) = 0;

protected:
    ~i_object_col() = default;
};

class i_object_col_x : public virtual i_object_col {
public:
    // Appends `obj` (adding a reference); null is ignored.
    virtual void add_item(i_object* obj) = 0;
    // Removes the first entry holding `obj` and releases its reference.
    virtual void remove_item(i_object* obj) = 0;
    // Makes room for `count` entries. Returns: true; false (nothing
    // changed) for more than 16,777,216 entries or when memory runs out.
    virtual bool reserve(unsigned count) = 0;

protected:
    ~i_object_col_x() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_object_col* kiv_cast_i_object_col(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_object_col_x* kiv_cast_i_object_col_x(kiv::i_object* obj);

// Returns: a new empty, unnamed collection with one reference for the caller.
KIV_EXTERN_C kiv::i_object_col_x* kiv_create_col();

#endif
