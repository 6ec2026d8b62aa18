// time_zone.h --
//
//     The cached local time zone (offset and daylight-saving flag) that
//     kiv_local_timezone and kiv_timezone_dst read.

#ifndef KIV_CORE_SRC_TIME_ZONE_H
#define KIV_CORE_SRC_TIME_ZONE_H

namespace kiv {

// Re-reads the zone settings (TZ) and caches the offset and today's
// daylight-saving flag. kiv_initialize and the housekeeping thread call it.
void time_zone_refresh();

}  // namespace kiv

#endif
