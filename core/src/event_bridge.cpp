// event_bridge.cpp --
//
//     The loader's and the watcher's events. Until the event service
//     exists in this tree they travel through the core's own event outlet
//     (core_events.h) by name alone: the library object does not travel,
//     and handlers cannot be installed, so the watcher is driven by
//     calling its check_files pass directly.

#include "event_bridge.h"

#include <kiv/core/core_events.h>

namespace kiv {

void bridge_install_handler(const char* event_type, i_event_handler* handler, kiv_event_function callback) {
    (void)event_type;
    (void)handler;
    (void)callback;
}

void bridge_uninstall_handler(const char* event_type, i_event_handler* handler, kiv_event_function callback) {
    (void)event_type;
    (void)handler;
    (void)callback;
}

void bridge_queue_event(const char* event_type) {
    fire_core_event(event_type, false);
}

library_load_event::library_load_event(i_object* library) : library_(library) {
    if (library_ != nullptr)
        library_->addref();
    fire_core_event("KIV_CORE_EVT_LOAD_LIBRARY", true);
}

library_load_event::~library_load_event() {
    if (library_ != nullptr)
        library_->release();
}

void library_load_event::fire_post_load() {
    fire_core_event("KIV_CORE_EVT_POST_LOAD_LIBRARY", true);
}

}  // namespace kiv
