// memory_cap.cpp --
//
//     The memory cap, and the control that lowers it for the project's
//     tests (offered to test programs only, host_offer.h).

#include <kiv/core/host_offer.h>
#include <kiv/zip/i_zip.h>

#include "memory_cap.h"

#include <atomic>

namespace kiv {

namespace {

std::atomic<uint64_t> cap{zip_max_memory_size};

// Lowers the cap so a test can reach it with small data; 0 restores
// zip_max_memory_size.
void set_memory_cap(uint64_t value) {
    cap.store(value != 0 ? value : zip_max_memory_size, std::memory_order_relaxed);
}

const bool offered = offer_to_host("zip.memory_cap", &set_memory_cap);

}  // namespace

uint64_t memory_cap() {
    return cap.load(std::memory_order_relaxed);
}

}  // namespace kiv
