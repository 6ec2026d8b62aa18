// time_zone.h --
//
//     The cached local time zone (offset and daylight-saving flag) that
//     kiv_local_timezone and kiv_timezone_dst read.

#ifndef KIV_CORE_SRC_TIME_ZONE_H
#define KIV_CORE_SRC_TIME_ZONE_H

namespace kiv {

// Re-reads the zone settings (TZ) and caches the offset and today's
// daylight-saving flag. kiv_initialize calls it; it may wait for the
// environment lock.
void time_zone_refresh();
// The housekeeping thread's refresh, once a second: re-reads the zone
// settings only when TZ changed since the last time, and never waits
// for the environment lock (a busy lock leaves it for the next second);
// the daylight-saving flag is recomputed every time.
void time_zone_tick();

}  // namespace kiv

#endif
