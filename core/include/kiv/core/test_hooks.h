// test_hooks.h --
//
//     Nothing here is exported any more: the project's tests reach the
//     core's controls through their support library (tests/support, and
//     host_offer.h for how the libraries hand them over). This leftover
//     declaration keeps the old helper that opens a library for the
//     script-service tests out of the exported interface (hidden
//     visibility); the support library has its own.

#ifndef KIV_CORE_TEST_HOOKS_H
#define KIV_CORE_TEST_HOOKS_H

extern "C" __attribute__((visibility("hidden"))) void* kiv_test_open_library(const char* path);

#endif
