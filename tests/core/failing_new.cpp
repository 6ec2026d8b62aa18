// failing_new.cpp --
//
//     The replaced global operator new and delete of failing_new.h: plain
//     malloc and free, with one chosen allocation of one thread failing.

#include "failing_new.h"

#include <cstdlib>
#include <new>

namespace {

thread_local unsigned countdown = 0;  // allocations left before the failing one; 0: none fails
thread_local bool failed = false;

void* allocate(std::size_t size) {
    if (countdown != 0 && --countdown == 0) {
        failed = true;
        throw std::bad_alloc();
    }
    void* p = std::malloc(size != 0 ? size : 1);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

}  // namespace

namespace kiv_test {

void fail_allocation_after(unsigned n) {
    countdown = n;
    failed = false;
}

bool allocation_failed() {
    return failed;
}

}  // namespace kiv_test

void* operator new(std::size_t size) {
    return allocate(size);
}

void* operator new[](std::size_t size) {
    return allocate(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete[](void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
