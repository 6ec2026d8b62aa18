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

#endif
