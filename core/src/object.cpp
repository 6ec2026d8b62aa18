// object.cpp --
//
//     Reference counting for every object of every library, on one
//     process-wide mutex, and the casts of the root interfaces. Nothing
//     runs under that mutex but the change of one count, so it is a plain
//     (not recursive) mutex, whose uncontended path is the shortest.

#include <kiv/core/log.h>
#include <kiv/core/object.h>

#include <mutex>
#include <type_traits>

namespace kiv {

namespace {
// Initialised before any code runs and never destroyed (nothing to do
// at exit), so releases during process exit (static destructors of
// other libraries) stay safe; no first-use check on every count.
static_assert(std::is_trivially_destructible_v<std::mutex>, "the count mutex must outlive every object");
std::mutex count_mutex;

std::mutex& object_mutex() {
    return count_mutex;
}
}  // namespace

object::~object() {
    int count;
    {
        std::lock_guard<std::mutex> lock(object_mutex());
        count = ref_count_;
    }
    if (count != 0)
        kiv_trace("WARNING: Destroying object with non zero reference count value: %d.", count);
}

int object::addref() {
    std::lock_guard<std::mutex> lock(object_mutex());
    return ++ref_count_;
}

int object::release() {
    int count;
    {
        std::lock_guard<std::mutex> lock(object_mutex());
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
    std::lock_guard<std::mutex> lock(object_mutex());
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

kiv::i_object_factory* kiv_cast_i_object_factory(kiv::i_object* obj) {
    return cast_interface<i_object_factory>(obj, "i_object_factory");
}

void kiv_release(kiv::i_object* obj) {
    if (obj != nullptr)
        obj->release();
}
