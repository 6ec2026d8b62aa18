// memory_cap.cpp --
//
//     The memory cap and the test hook that lowers it.

#include <kiv/zip/i_zip.h>
#include <kiv/zip/test_hooks.h>

#include "memory_cap.h"

#include <atomic>

namespace kiv {

namespace {

std::atomic<uint64_t> cap{zip_max_memory_size};

}  // namespace

uint64_t memory_cap() {
    return cap.load(std::memory_order_relaxed);
}

}  // namespace kiv

void kiv_zip_test_memory_cap(uint64_t value) {
    kiv::cap.store(value != 0 ? value : kiv::zip_max_memory_size, std::memory_order_relaxed);
}
