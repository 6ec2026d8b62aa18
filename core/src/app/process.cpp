// system.cpp --
//
//     Exported fronts of the platform layer: environment, thread id,
//     sleeping, usable CPUs and byte order.

#include <kiv/core/env.h>
#include <kiv/core/net_byte_order.h>
#include <kiv/core/process.h>

#include "../../platform/platform.h"

bool kiv_get_env(const char* name, std::string& value) {
    return kiv::platform::env_get(name, value);
}

std::string kiv_get_env(const char* name) {
    std::string value;
    kiv::platform::env_get(name, value);
    return value;
}

bool kiv_set_env(const char* name, const char* value) {
    return kiv::platform::env_set(name, value);
}

uint32_t kiv_get_thread_id() {
    return kiv::platform::thread_id();
}

unsigned kiv_usable_cpus() {
    return kiv::platform::usable_cpus();
}

void sleepms(unsigned milliseconds) {
    kiv::platform::sleep_ms(milliseconds);
}

uint64_t ntohll(uint64_t value) {
    return kiv::platform::swap_net64(value);
}
