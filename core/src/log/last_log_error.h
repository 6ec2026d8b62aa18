// last_log_error.h --
//
//     The core's own hold on the text kiv_last_log_error returns:
//     kiv_load_config empties it as it begins, and the library loader
//     counts the lines an entry wrote, so a line found there afterwards
//     is that entry's own cause.

#ifndef KIV_CORE_SRC_LAST_LOG_ERROR_H
#define KIV_CORE_SRC_LAST_LOG_ERROR_H

#include <cstdint>

namespace kiv {

// Empties the calling thread's last level-0 message.
void clear_last_log_error();
// Returns: how many level-0 messages the calling thread has written.
uint64_t last_log_error_count();

}  // namespace kiv

#endif
