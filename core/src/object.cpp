// object.cpp --
//
//     Reference counting for every object of every library, on one
//     process-wide recursive mutex, and the casts of the root interfaces.

#include <kiv/core/log.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>

namespace kiv {

namespace {
// Created on first use and never destroyed, so releases during process
// exit (static destructors of other libraries) stay safe.
mutex& object_mutex() {
    static mutex* m = new mutex;
    return *m;
}
}  // namespace

object::~object() {
    int count;
    {
        mutex_locker lock(&object_mutex());
        count = ref_count_;
    }
    if (count != 0)
        kiv_trace("WARNING: Destroying object with non zero reference count value: %d.", count);
}

int object::addref() {
    mutex_locker lock(&object_mutex());
    return ++ref_count_;
}

int object::release() {
    int count;
    {
        mutex_locker lock(&object_mutex());
        count = --ref_count_;
    }
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
    mutex_locker lock(&object_mutex());
    return ref_count_;
}

}  // namespace kiv

using namespace kiv;

kiv::i_object* kiv_cast_i_object(kiv::i_object* obj) {
    return cast_interface<i_object>(obj, "i_object");
}

kiv::i_event_handler* kiv_cast_i_event_handler(kiv::i_object* obj) {
    return cast_interface<i_event_handler>(obj, "i_event_handler");
}

void kiv_release(kiv::i_object* obj) {
    if (obj != nullptr)
        obj->release();
}
