// zip_hooks.cpp --
//
//     kiv_zip's controls (zip_hooks.h) through what the library offered.

#include <kiv_test/host_controls.h>
#include <kiv_test/zip_hooks.h>

void kiv_zip_test_memory_cap(uint64_t cap) {
    kiv_test::control<void(uint64_t)>("zip.memory_cap", "kiv_zip")(cap);
}

void kiv_zip_test_index_caps(uint64_t entries, uint64_t name_bytes) {
    kiv_test::control<void(uint64_t, uint64_t)>("zip.index_caps", "kiv_zip")(entries, name_bytes);
}
