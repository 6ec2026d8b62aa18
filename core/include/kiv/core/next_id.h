// next_id.h --
//
//     The process-wide id counter: ids that tell apart streams, servers
//     and other objects made at any time on any thread.

#ifndef KIV_CORE_NEXT_ID_H
#define KIV_CORE_NEXT_ID_H

#include <kiv/core/export.h>

#include <cstdint>

// Returns: the next id of the process-wide counter; the first is 1.
//     Every call in the process gets a different id. Safe from any thread.
KIV_EXTERN_C int64_t kiv_get_next_id();

#endif
