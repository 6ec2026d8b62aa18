// core_state.cpp --
//
//     The process-wide state read by every part of the core: the core
//     object, the running flag, the cached seconds clock and the temporary
//     folder. Start-up and shut-down write it; the pool, the event
//     service, the path functions and the rest only read it here, so none
//     of them calls back into start-up.

#include "app/core_state.h"

#include "app/core.h"

#include <kiv/core/i_core.h>

#include <atomic>
#include <cstring>

namespace kiv {

namespace {

std::atomic<core*> the_core{nullptr};
std::atomic<bool> running{false};
std::atomic<uint32_t> cached_clock{0};
char temp_path[temp_path_max + 1];  // written by kiv_initialize only
char temp_path_error[temp_path_max + 1];  // why temp_path is empty; empty when it is set or unset for no fault

}  // namespace

core* current_core() {
    return the_core.load();
}

void set_current_core(core* c) {
    the_core.store(c);
}

void set_running(bool on) {
    running.store(on);
}

void set_cached_clock(uint32_t seconds) {
    cached_clock.store(seconds);
}

void set_temp_path(const std::string& path) {
    size_t n = path.size() > temp_path_max ? 0 : path.size();
    std::memcpy(temp_path, path.c_str(), n);
    temp_path[n] = '\0';
}

void set_temp_path_error(const std::string& why) {
    size_t n = why.size() > temp_path_max ? temp_path_max : why.size();
    std::memcpy(temp_path_error, why.c_str(), n);
    temp_path_error[n] = '\0';
}

}  // namespace kiv

kiv::i_core* kiv_core() {
    return kiv::current_core();
}

bool kiv_is_running() {
    return kiv::running.load();
}

uint32_t kiv_get_curr_time() {
    return kiv::cached_clock.load();
}

const char* kiv_temp_path() {
    return kiv::temp_path;
}

const char* kiv_temp_path_error() {
    return kiv::temp_path_error;
}
