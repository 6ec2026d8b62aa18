// core_state.h --
//
//     Process-wide state of the core that lives outside the core object,
//     so that readers on any thread never touch a core being deleted.

#ifndef KIV_CORE_SRC_CORE_STATE_H
#define KIV_CORE_SRC_CORE_STATE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kiv {

class core;

// The longest temporary folder kiv_temp_path holds.
const size_t temp_path_max = 1023;

// The core object kiv_core returns: set by kiv_initialize, cleared by
// kiv_terminate before the core goes.
core* current_core();
void set_current_core(core* c);

// The flag kiv_is_running returns; kiv_terminate clears it before it
// wakes the pool.
void set_running(bool on);

// The cached seconds clock that kiv_get_curr_time returns; 0 without a core.
void set_cached_clock(uint32_t seconds);

// The folder kiv_temp_path returns; a path longer than temp_path_max
// leaves it empty.
void set_temp_path(const std::string& path);
// The text kiv_temp_path_error returns (cut at temp_path_max bytes).
void set_temp_path_error(const std::string& why);

// The services each phase of start-up registers (service_list.cpp).
void register_initial_services(core& c);
void register_entry_services(core& c);

}  // namespace kiv

#endif
