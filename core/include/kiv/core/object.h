// object.h --
//
//     The base class of every reference-counted class, and the helpers
//     that implement get_interface chains and kiv_cast_ functions.
//
//     A new object has count 0; its creator adds the first reference.
//     The count takes no lock: each change is one atomic
//     read-modify-write, and the release that brings it to 0 sees every
//     write the other holders made before their releases, so the object
//     is deleted only after all its users are done with it.

#ifndef KIV_CORE_OBJECT_H
#define KIV_CORE_OBJECT_H

#include <kiv/core/i_object.h>

#include <cstring>

namespace kiv {

class KIV_EXPORT object : public i_event_handler, public virtual i_object {
public:
    object() = default;
    // A copy is a new object: it starts with count 0 and copies no
    // reference count; assignment leaves both counts as they are.
    object(const object&) : object() {}
    object& operator=(const object&) { return *this; }
    // Traces a warning when the count is not 0; destruction goes on.
    virtual ~object();

    int addref() override;
    int release() override;
    // object itself answers no name: stores null and returns false.
    bool get_interface(const char* name, void** out) override;

    // The current count; for diagnostics and tests only.
    int get_ref_count() const;

protected:
    // Called by release when the count reaches 0, before the delete.
    // Returns: false to keep the object in memory for good (it leaks),
    //     for an owner whose thread would not stop and still uses it.
    virtual bool last_reference_dropped() { return true; }

private:
    int ref_count_ = 0;  // changed and read atomically only
};

// Answers `name` with `iface` when it equals `answered` exactly.
// Used by get_interface overrides:
//     if (answer_interface(name, "i_string", static_cast<i_string*>(this), out))
//         return true;
//     return object::get_interface(name, out);
template <class T>
inline bool answer_interface(const char* name, const char* answered, T* iface, void** out) {
    if (name == nullptr || std::strcmp(name, answered) != 0)
        return false;
    if (out != nullptr)
        *out = static_cast<void*>(iface);
    return true;
}

// The body of every kiv_cast_ function: the interface `name` of obj, or
// null for a null object or a missing interface. Adds no reference.
template <class T>
inline T* cast_interface(i_object* obj, const char* name) {
    if (obj == nullptr)
        return nullptr;
    void* out = nullptr;
    if (!obj->get_interface(name, &out) || out == nullptr)
        return nullptr;
    return static_cast<T*>(out);
}

}  // namespace kiv

#endif
