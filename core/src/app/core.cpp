// core.cpp --
//
//     The core object: service registry, library list, stream list, the
//     bodies of the housekeeping and stream pump threads, and the flat
//     functions that ask the current core about libraries and streams.

#include "app/core.h"

#include "app/core_state.h"
#include "time/clock.h"
#include "time/time_zone.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_stream.h>
#include <kiv/core/log.h>

namespace kiv {

core::core() {
    set_cached_clock(clock::wall_seconds());
}

core::~core() {
    streams_.clear();
    libraries_.clear();
    set_cached_clock(0);
}

bool core::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_core", static_cast<i_core*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool core::register_service(i_object* svc, const char* svc_type) {
    if (svc == nullptr || svc_type == nullptr || *svc_type == '\0')
        return false;
    svc->addref();
    bool added;
    {
        mutex_locker lock(this);
        added = services_.emplace(svc_type, svc).second;
    }
    if (!added)
        svc->release();  // outside the lock: this may destroy the refused object
    return added;
}

bool core::unregister_service(const char* name) {
    if (name == nullptr || *name == '\0')
        return false;
    i_object* svc;
    {
        mutex_locker lock(this);
        auto it = services_.find(name);
        if (it == services_.end())
            return false;
        svc = it->second;
        services_.erase(it);
    }
    svc->release();
    return true;
}

i_object* core::get_service(const char* svc_type) {
    if (svc_type == nullptr)
        return nullptr;
    mutex_locker lock(this);
    auto it = services_.find(std::string_view(svc_type));
    if (it == services_.end())
        return nullptr;
    it->second->addref();
    return it->second;
}

i_object_col* core::get_services() {
    object_col* col = new object_col;
    col->addref();
    mutex_locker lock(this);
    col->reserve(static_cast<unsigned>(services_.size()));
    for (const auto& entry : services_)
        col->add_item(entry.second, false);
    return col;
}

i_object_col* core::get_libraries() {
    return libraries_.copy();
}

void core::add_library(i_object* library, void* module) {
    mutex_locker lock(this);
    libraries_.add_item(library, false);
    modules_.push_back(module);
}

bool core::library_loaded(const char* name) {
    if (name == nullptr)
        return false;
    mutex_locker lock(this);
    return libraries_.get_item_pos(name) >= 0;
}

std::vector<void*> core::library_modules() {
    mutex_locker lock(this);
    return modules_;
}

void core::register_stream(i_stream* stream) {
    streams_.add_item(stream, false);
}

bool core::start_threads() {
    bool housekeeping_started = create_thread(this, static_cast<thread_function>(&core::housekeeping), nullptr);
    bool pump_started = create_thread(this, static_cast<thread_function>(&core::stream_pump), nullptr);
    return housekeeping_started && pump_started;
}

void core::release_services() {
    kiv_trace("core: releasing services...");
    // One at a time in name order, each taken out of the registry just
    // before its release: a service being destroyed still finds the
    // services after it (the event service to uninstall its handlers
    // from, for one), and those that need a service named before them
    // hold a reference of their own.
    for (;;) {
        i_object* svc;
        {
            mutex_locker lock(this);
            auto first = services_.begin();
            if (first == services_.end())
                break;
            svc = first->second;
            services_.erase(first);
        }
        svc->release();
    }
    kiv_trace("core: services released.");
    libraries_.clear();
}

void core::housekeeping(void*) {
    while (thread_running()) {
        uint32_t now = clock::wall_seconds();
        if (now != kiv_get_curr_time()) {
            // The clock first, and nothing on this path waits for the
            // environment: the zone tick skips a busy lock.
            set_cached_clock(now);
            kiv_generate_event("KIV_CORE_EVT_BG_TASK", 0, nullptr, false);
            time_zone_tick();
        }
        log_flush_files();
        pause_thread(50);
    }
}

void core::stream_pump(void*) {
    while (thread_running() && kiv_is_running()) {
        // By position without one lock over the pass, so streams may
        // join meanwhile; a dropped stream's place is served next by the
        // stream behind it.
        unsigned pos = 0;
        while (pos < streams_.get_count()) {
            auto_ptr_t<i_object> item(streams_.get_item_by_pos(pos));
            if (!item)
                break;
            i_stream* stream = kiv_cast_i_stream(item);
            if (stream != nullptr && stream->bg_task() && stream->is_connected()) {
                ++pos;
                continue;
            }
            if (stream != nullptr)
                stream->disconnect();
            streams_.remove_item(item);
        }
        pause_thread(100);
    }
    streams_.clear();
}

}  // namespace kiv

kiv::i_stream* kiv_cast_i_stream(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_stream>(obj, "i_stream");
}

kiv::i_core* kiv_cast_i_core(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_core>(obj, "i_core");
}

bool kiv_library_loaded(const char* lib_name) {
    kiv::core* c = kiv::current_core();
    return c != nullptr && lib_name != nullptr && c->library_loaded(lib_name);
}

void kiv_register_stream(kiv::i_stream* stream) {
    kiv::core* c = kiv::current_core();
    if (c != nullptr && stream != nullptr)
        c->register_stream(stream);
}
