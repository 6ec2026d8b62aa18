// env_config_reloader.cpp --
//
//     The watcher of environment files. Each watched file is one
//     named_string: the absolute path as name, the modification time last
//     seen (seconds since 1970, 64-bit decimal) as value. Files are only
//     added, never removed; a file that vanishes is skipped until it can
//     be read again.

#include "config/env_file.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/config.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/log.h>
#include <kiv/core/string_impl.h>

#include <string>

namespace kiv {

namespace {

const char bg_task_event[] = "KIV_CORE_EVT_BG_TASK";

std::string time_text(int64_t seconds) {
    return std::to_string(seconds);
}

kiv_event_function bg_task_callback() {
    return static_cast<kiv_event_function>(&env_config_reloader::on_bg_task);
}

}  // namespace

// The handler goes through the service held since construction, so the
// watcher can uninstall (and wait for a pass under way) even when the
// registry no longer lists the service.
env_config_reloader::env_config_reloader() {
    events_.reset(find_service("svc_event"));
    i_event_proc* proc = kiv_cast_i_event_proc(events_);
    if (proc != nullptr)
        proc->install_handler(proc->get_event_type(bg_task_event), 0, this, bg_task_callback());
}

env_config_reloader::~env_config_reloader() {
    i_event_proc* proc = kiv_cast_i_event_proc(events_);
    if (proc != nullptr)
        proc->uninstall_handler(proc->get_event_type(bg_task_event), 0, this, bg_task_callback());
}

bool env_config_reloader::get_interface(const char* name, void** out) {
    if (answer_interface(name, "env_config_reloader", this, out))
        return true;
    return object::get_interface(name, out);
}

void env_config_reloader::add_file(const char* path) {
    auto_string absolute(kiv_get_absolute_path(path));
    if (!absolute.is_ok() || !kiv_file_exists(absolute))
        return;
    mutex_locker lock(&files_);
    if (files_.get_item_pos(static_cast<const char*>(absolute)) >= 0)
        return;
    int64_t seconds = 0;
    if (!file_modification_time(absolute, &seconds))
        return;
    auto_ptr_t<i_named_string> entry(kiv_create_named_string(absolute, time_text(seconds).c_str()));
    files_.add_item(entry, false);
}

unsigned env_config_reloader::check_files() {
    std::lock_guard<std::mutex> pass(pass_lock_);
    if (!kiv_is_running())
        return 0;
    auto_ptr_t<object_col> watched(files_.copy());
    unsigned applied = 0;
    for (unsigned i = 0; i < watched->get_count(); ++i) {
        auto_ptr_t<i_object> item(watched->get_item_by_pos(i));
        i_named_string* entry = kiv_cast_i_named_string(item);
        if (entry == nullptr)
            continue;
        int64_t seconds = 0;
        if (!file_modification_time(entry->get_name(), &seconds))
            continue;
        std::string now = time_text(seconds);
        // Stored values change only here, under the pass lock.
        if (now == entry->get_value())
            continue;
        kiv_trace("Reloading environment configuration file '%s'", entry->get_name());
        entry->set_value(now.c_str());
        if (apply_environment_file(entry->get_name())) {
            ++applied;
            kiv_generate_event("KIV_CORE_EVT_ENV_UPDATED", 0, nullptr, false);
        }
    }
    return applied;
}

bool env_config_reloader::on_bg_task(i_event*) {
    check_files();
    return true;
}

}  // namespace kiv

kiv::env_config_reloader* kiv_cast_env_config_reloader(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::env_config_reloader>(obj, "env_config_reloader");
}
