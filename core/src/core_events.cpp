// core_events.cpp --
//
//     The hook through which the core raises its own events.

#include <kiv/core/core_events.h>

#include <atomic>

namespace kiv {

namespace {
std::atomic<core_event_function> installed{nullptr};
}

void set_core_event_function(core_event_function fn) {
    installed.store(fn);
}

void fire_core_event(const char* event_type, bool fire_immediately) {
    core_event_function fn = installed.load();
    if (fn != nullptr)
        fn(event_type, fire_immediately);
}

}  // namespace kiv
