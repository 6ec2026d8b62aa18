// slow_lookup_shim.h --
//
//     Controls of the slow-lookup shim (slow_lookup_shim.cpp), a stand-in
//     for the C library's getaddrinfo that makes the lookup of one name
//     wait until the test lets it go, the way a name server that does not
//     answer would.

#ifndef KIV_TESTS_CORE_SLOW_LOOKUP_SHIM_H
#define KIV_TESTS_CORE_SLOW_LOOKUP_SHIM_H

extern "C" {
// From now on a lookup of `name` waits until slow_lookup_release; other
// names go to the C library at once.
void slow_lookup_hold(const char* name);
// Waits until a lookup of the held name is waiting.
void slow_lookup_wait_blocked();
// Returns: whether a lookup of the held name is waiting right now.
bool slow_lookup_blocked();
// Lets every waiting and later lookup of the held name go on.
void slow_lookup_release();
}

#endif
