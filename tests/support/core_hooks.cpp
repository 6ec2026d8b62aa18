// core_hooks.cpp --
//
//     The core's controls (core_hooks.h) through what kiv_core offered.

#include <kiv_test/core_hooks.h>
#include <kiv_test/host_controls.h>

#include <dlfcn.h>

using kiv_test::control;

void kiv_test_clock_drive(bool on) {
    control<void(bool)>("core.clock_drive", "kiv_core")(on);
}

void kiv_test_clock_advance(unsigned milliseconds) {
    control<void(unsigned)>("core.clock_advance", "kiv_core")(milliseconds);
}

void kiv_test_fail_thread_starts(unsigned count) {
    control<void(unsigned)>("core.fail_thread_starts", "kiv_core")(count);
}

int kiv_test_threads_count() {
    return control<int()>("core.threads_count", "kiv_core")();
}

int kiv_test_worker_limit() {
    return control<int()>("core.worker_limit", "kiv_core")();
}

int kiv_test_idle_workers() {
    return control<int()>("core.idle_workers", "kiv_core")();
}

void* kiv_test_open_library(const char* path) {
    return path != nullptr ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
}
