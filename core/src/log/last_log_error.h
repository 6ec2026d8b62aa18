// last_log_error.h --
//
//     The core's own hold on the text kiv_last_log_error returns: the
//     library loader empties it before an entry runs, so a line found
//     there afterwards is that entry's own cause.

#ifndef KIV_CORE_SRC_LAST_LOG_ERROR_H
#define KIV_CORE_SRC_LAST_LOG_ERROR_H

namespace kiv {

// Empties the calling thread's last level-0 message.
void clear_last_log_error();

}  // namespace kiv

#endif
