// core_state.h --
//
//     Process-wide state of the core that lives outside the core object,
//     so that readers on any thread never touch a core being deleted.

#ifndef KIV_CORE_SRC_CORE_STATE_H
#define KIV_CORE_SRC_CORE_STATE_H

#include <cstdint>

namespace kiv {

class core;

// The cached seconds clock that kiv_get_curr_time returns; 0 without a core.
void set_cached_clock(uint32_t seconds);

// The services each phase of start-up registers (service_list.cpp).
void register_initial_services(core& c);
void register_entry_services(core& c);

}  // namespace kiv

#endif
