// i_property_manager.h --
//
//     Named text properties and named objects attached to an object, so
//     that scripts and pages can hang their own values on services,
//     servers, sessions and clients. Names compare without regard to
//     ASCII letter case ("Title" and "title" are one name).

#ifndef KIV_CORE_I_PROPERTY_MANAGER_H
#define KIV_CORE_I_PROPERTY_MANAGER_H

#include <kiv/core/i_object_col.h>

namespace kiv {

class i_property_manager : public virtual i_object {
public:
    // Stores `obj` under `name` with a reference of the manager's,
    // replacing (and releasing) what was there; null removes the entry.
    // Returns: false for a null name, else true.
    virtual bool set_object(const char* name, i_object* obj) = 0;
    // Returns: the object stored under `name` with one reference for the
    //     caller; null for a null or absent name.
    virtual i_object* get_object(const char* name) = 0;
    // Returns: a new collection of named strings, one per stored object
    //     in name order, each with the entry's name and an empty value
    //     (the objects themselves are not in it); one reference for the
    //     caller.
    virtual i_object_col* get_objects() = 0;
    // Returns: the value of the property (borrowed; valid until the
    //     property is set again, so a caller sharing the manager between
    //     threads copies it), or the empty text for a null or absent
    //     name. Never null.
    virtual const char* get_property(const char* name) = 0;
    // Sets a property. An empty value keeps an existing entry with the
    // empty text and adds no new entry.
    // Returns: false for a null name or value, else true.
    virtual bool set_property(const char* name, const char* value) = 0;
    // Returns: a new collection of named strings (copies of each property's
    //     name and value) in name order; one reference for the caller.
    virtual i_object_col* get_properties() = 0;

protected:
    ~i_property_manager() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_property_manager* kiv_cast_i_property_manager(kiv::i_object* obj);

namespace kiv {
// Named by a class cast of the framework's interface; no class answers
// the name "property_manager_object", and it has no operations.
class property_manager_object : public virtual i_object {
protected:
    ~property_manager_object() = default;
};
}  // namespace kiv

// Returns: always null (no object answers "property_manager_object").
KIV_EXTERN_C kiv::property_manager_object* kiv_cast_property_manager_object(kiv::i_object* obj);

// Returns: a new, empty property manager with one reference for the caller.
KIV_EXTERN_C kiv::i_property_manager* kiv_create_property_manager();

#endif
