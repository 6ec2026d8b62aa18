// test_hooks.h --
//
//     Hooks for the project's own tests of kiv_zip, exported so that test
//     programs can reach them. Nothing else calls them.

#ifndef KIV_ZIP_TEST_HOOKS_H
#define KIV_ZIP_TEST_HOOKS_H

#include <kiv/core/export.h>

#include <cstdint>

// Lowers the cap on what the service holds in memory for one result
// (inflated buffers, entries read whole, gzip files read back), so a test
// can reach it with small data; 0 restores zip_max_memory_size.
KIV_EXTERN_C void kiv_zip_test_memory_cap(uint64_t cap);

#endif
