// zip_hooks.h --
//
//     Controls of kiv_zip for the project's tests (offered by the library
//     at load, host_offer.h; not exported).

#ifndef KIV_TEST_ZIP_HOOKS_H
#define KIV_TEST_ZIP_HOOKS_H

#include <cstdint>

// Lowers the cap on what the service holds in memory for one result
// (inflated buffers, entries read whole, gzip files read back), so a test
// can reach it with small data; 0 restores zip_max_memory_size.
void kiv_zip_test_memory_cap(uint64_t cap);
// Lowers the caps on what a reader's index of the directory holds: its
// entries and the bytes of their names; 0 restores a cap.
void kiv_zip_test_index_caps(uint64_t entries, uint64_t name_bytes);

#endif
