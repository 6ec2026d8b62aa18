// i_object.h --
//
//     The root interface of every reference-counted object, and the
//     event-handler interface that every object also is. Interfaces are
//     looked up by exact name through get_interface; the kiv_cast_ family
//     of flat functions wraps that lookup for each interface.

#ifndef KIV_CORE_I_OBJECT_H
#define KIV_CORE_I_OBJECT_H

#include <kiv/core/export.h>

namespace kiv {

class i_event;

// Every interface derives virtually from i_object, so an object has one
// count however many of its interfaces are held.
class i_object {
public:
    // Adds a reference. Returns: the count after the increment.
    // Safe from any thread.
    virtual int addref() = 0;
    // Drops a reference; the object is destroyed when the count reaches 0.
    // Returns: the count after the decrement (0 once destroyed).
    virtual int release() = 0;
    // Looks up the interface called `name` (exact, case-sensitive).
    // Returns: true and stores the interface pointer in *out; false and
    //     null otherwise. No reference is added.
    virtual bool get_interface(const char* name, void** out) = 0;

protected:
    ~i_object() = default;
};

// Every object can be installed as an event handler: a handler is a member
// function of i_event_handler taking the event and returning false to stop
// the delivery to the remaining handlers.
class i_event_handler : public virtual i_object {
protected:
    ~i_event_handler() = default;
};

typedef bool (i_event_handler::*kiv_event_function)(i_event* event);

// An interface the framework names (it has a cast) but no class
// implements; it has no operations of its own.
class i_object_factory : public virtual i_object {
protected:
    ~i_object_factory() = default;
};

}  // namespace kiv

// Casts of the two root interfaces; no class answers these names, so both
// always return null.
KIV_EXTERN_C kiv::i_object* kiv_cast_i_object(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_event_handler* kiv_cast_i_event_handler(kiv::i_object* obj);
// Returns: always null (no class answers "i_object_factory").
KIV_EXTERN_C kiv::i_object_factory* kiv_cast_i_object_factory(kiv::i_object* obj);

// Calls release on a non-null object.
KIV_EXTERN_C void kiv_release(kiv::i_object* obj);

#endif
