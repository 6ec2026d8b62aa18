// env_file.cpp --
//
//     Environment files: KEY=VALUE lines applied to the process
//     environment one after the other, and kiv_load_environment, which
//     applies a file and hands it to the watcher.

#include "config/env_file.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/config.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_string_proc.h>
#include <kiv/core/log.h>
#include <kiv/core/text_convert.h>

#include <sys/stat.h>

#include <cstring>
#include <string>

namespace kiv {

namespace {

// Applies one line (its comment already cut).
void apply_line(const char* file_path, const std::string& line, i_string_proc* proc) {
    size_t eq = line.find('=');
    if (eq == std::string::npos)
        return;
    std::string key = line.substr(0, eq);
    // The "^" mark is the key's last character before trimming, so
    // "A ^=1" is marked and "A^ =1" names a variable "A^".
    bool only_when_unset = !key.empty() && key.back() == '^';
    if (only_when_unset)
        key.pop_back();
    auto_string name(kiv_trim(key.c_str()));
    auto_string raw_value(kiv_trim(line.c_str() + eq + 1));
    if (!name.is_ok() || !raw_value.is_ok() || static_cast<const char*>(name)[0] == '\0')
        return;
    auto_string value(proc->process(raw_value, nullptr));
    const char* applied = value.is_ok() ? static_cast<const char*>(value) : static_cast<const char*>(raw_value);
    std::string current;
    if (only_when_unset && kiv_get_env(name, current))
        return;
    if (!kiv_set_env(name, applied))
        kiv_trace("Environment file '%s': Error setting environment from line: %s", file_path, line.c_str());
}

}  // namespace

bool apply_environment_file(const char* path) {
    i_core* core = kiv_core();
    if (core == nullptr || path == nullptr)
        return false;
    auto_ptr_t<i_object> service(core->get_service("svc_string"));
    i_string_proc* proc = kiv_cast_i_string_proc(service);
    if (proc == nullptr)
        return false;
    auto_string text(kiv_read_file(path));
    if (!text.is_ok())
        return false;
    const char* p = text;
    while (*p != '\0') {
        size_t len = std::strcspn(p, "\r\n");
        if (len != 0) {
            std::string line(p, len);
            size_t hash = line.find('#');
            if (hash != std::string::npos)
                line.erase(hash);
            apply_line(path, line, proc);
        }
        p += len;
        p += std::strspn(p, "\r\n");
    }
    return true;
}

bool file_modification_time(const char* absolute_path, int64_t* seconds) {
    struct stat st;
    if (absolute_path == nullptr || stat(absolute_path, &st) != 0)
        return false;
    *seconds = static_cast<int64_t>(st.st_mtime);
    return true;
}

}  // namespace kiv

using namespace kiv;

bool kiv_load_environment(const char* path) {
    if (path == nullptr)
        return false;
    kiv_trace("kiv_load_environment('%s')", path);
    if (!apply_environment_file(path))
        return false;
    i_core* core = kiv_core();
    if (core == nullptr)
        return false;
    auto_ptr_t<i_object> service(core->get_service("env_config_reloader"));
    if (!service) {
        // Two threads may get here at once; the registry keeps the first
        // watcher and destroys the refused one.
        core->register_service(new env_config_reloader, "env_config_reloader");
        service.reset(core->get_service("env_config_reloader"));
    }
    env_config_reloader* reloader = kiv_cast_env_config_reloader(service);
    if (reloader != nullptr)
        reloader->add_file(path);
    return true;
}
