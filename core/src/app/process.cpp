// process.cpp --
//
//     Exported fronts of the platform layer for the running process:
//     thread id, sleeping and usable CPUs.

#include <kiv/core/process.h>

#include "../../platform/platform.h"

uint32_t kiv_get_thread_id() {
    return kiv::platform::thread_id();
}

unsigned kiv_usable_cpus() {
    return kiv::platform::usable_cpus();
}

void sleepms(unsigned milliseconds) {
    kiv::platform::sleep_ms(milliseconds);
}
