// object.cpp --
//
//     Reference counting for every object of every library, and the
//     casts of the root interfaces. A count changes by one atomic
//     read-modify-write: the last release sees every write made before
//     the other releases, so the object is deleted after all its users
//     are done with it.

#include <kiv/core/log.h>
#include <kiv/core/object.h>

namespace kiv {

object::~object() {
    int count = __atomic_load_n(&ref_count_, __ATOMIC_ACQUIRE);
    if (count != 0)
        kiv_trace("WARNING: Destroying object with non zero reference count value: %d.", count);
}

int object::addref() {
    // A new reference is always made from one already held: nothing
    // needs ordering against it.
    return __atomic_add_fetch(&ref_count_, 1, __ATOMIC_RELAXED);
}

int object::release() {
    int count = __atomic_sub_fetch(&ref_count_, 1, __ATOMIC_ACQ_REL);
    if (count == 0 && last_reference_dropped())
        delete this;
    return count;
}

bool object::get_interface(const char*, void** out) {
    if (out != nullptr)
        *out = nullptr;
    return false;
}

int object::get_ref_count() const {
    return __atomic_load_n(&ref_count_, __ATOMIC_ACQUIRE);
}

}  // namespace kiv

using namespace kiv;

kiv::i_object* kiv_cast_i_object(kiv::i_object* obj) {
    return cast_interface<i_object>(obj, "i_object");
}

kiv::i_event_handler* kiv_cast_i_event_handler(kiv::i_object* obj) {
    return cast_interface<i_event_handler>(obj, "i_event_handler");
}

kiv::i_object_factory* kiv_cast_i_object_factory(kiv::i_object* obj) {
    return cast_interface<i_object_factory>(obj, "i_object_factory");
}

void kiv_release(kiv::i_object* obj) {
    if (obj != nullptr)
        obj->release();
}
