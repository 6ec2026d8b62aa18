// memory_cap.h --
//
//     The cap on bytes held in memory for one result of the service:
//     zip_max_memory_size, lowered only by a control offered to the
//     project's tests.

#ifndef KIV_ZIP_SRC_MEMORY_CAP_H
#define KIV_ZIP_SRC_MEMORY_CAP_H

#include <cstdint>

namespace kiv {

// Returns: the cap in bytes. Safe from any thread.
uint64_t memory_cap();

}  // namespace kiv

#endif
