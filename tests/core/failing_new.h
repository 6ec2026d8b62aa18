// failing_new.h --
//
//     A test program linked with failing_new.cpp replaces the global
//     operator new (the libraries' too: they take it from the program) so
//     that one allocation of the calling thread can be made to fail with
//     std::bad_alloc, for tests that walk every allocation of an
//     operation and check it fails cleanly.

#ifndef KIV_TESTS_CORE_FAILING_NEW_H
#define KIV_TESTS_CORE_FAILING_NEW_H

namespace kiv_test {

// The n-th operator new of this thread from now on throws std::bad_alloc
// (n counts from 1); 0 turns the failure off. Other threads are never
// touched.
void fail_allocation_after(unsigned n);

// Returns: whether the chosen allocation has failed since the last call
//     of fail_allocation_after.
bool allocation_failed();

}  // namespace kiv_test

#endif
