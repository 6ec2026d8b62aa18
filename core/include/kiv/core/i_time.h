// i_time.h --
//
//     Time helpers: the cached local time zone, building a Unix time from
//     calendar fields, formatting a Unix time as text, and i_time, a
//     broken-down local time. Times are unsigned 32-bit Unix times
//     (seconds since 1970-01-01 00:00 UTC).

#ifndef KIV_CORE_I_TIME_H
#define KIV_CORE_I_TIME_H

#include <kiv/core/i_object.h>

#include <cstdint>

namespace kiv {

// A broken-down local time. Setters store any value that fits the
// signed 32-bit field (true) and refuse larger ones (false, field kept);
// get_absolute normalises the fields (month 13 becomes January of the
// next year). Not locked: one user at a time.
class i_time : public virtual i_object {
public:
    virtual unsigned get_year() = 0;    // e.g. 2009
    virtual bool set_year(unsigned val) = 0;
    virtual unsigned get_month() = 0;   // 1-12
    virtual bool set_month(unsigned val) = 0;
    virtual unsigned get_day() = 0;
    virtual bool set_day(unsigned val) = 0;
    virtual unsigned get_hour() = 0;
    virtual bool set_hour(unsigned val) = 0;
    virtual unsigned get_minute() = 0;
    virtual bool set_minute(unsigned val) = 0;
    virtual unsigned get_second() = 0;
    virtual bool set_second(unsigned val) = 0;
    // Returns: the fields read as local time, or 0 when they give no time
    //     in the 32-bit range. Normalises the fields in place.
    virtual unsigned get_absolute() = 0;
    // Loads the local time of `val` (0: the current time).
    // Returns: false when the conversion failed.
    virtual bool set_absolute(unsigned val) = 0;

protected:
    ~i_time() = default;
};

}  // namespace kiv

// Returns: the cached zone offset, seconds east of UTC, daylight saving
//     excluded. Refreshed by kiv_initialize and every new second.
KIV_EXTERN_C int kiv_local_timezone();
// Returns: 1 when daylight saving was in force at the last refresh, else 0.
KIV_EXTERN_C int kiv_timezone_dst();

// Builds a Unix time from calendar fields read as local time, or as UTC
// when `calc_from_utc`. Month 0 and day 0 are allowed and normalised (to
// the previous December, to the last day of the previous month).
// Returns: 0 for a year before 1970, month > 12, day > 31, hour > 23,
//     minute > 59, second > 59, or a time outside the 32-bit range.
KIV_EXTERN_C unsigned kiv_calc_time(unsigned year, unsigned month, unsigned day, unsigned hour,
                                    unsigned minute, unsigned second, bool calc_from_utc = false);
// Returns: a new i_time of kiv_calc_time's result with one reference for
//     the caller, or null when that result is 0.
KIV_EXTERN_C kiv::i_time* kiv_construct_time(unsigned year, unsigned month, unsigned day, unsigned hour,
                                             unsigned minute, unsigned second, bool calc_from_utc = false);
// Returns: a new i_time of `absolute` with one reference for the caller.
//     0 gives all fields zero (year 1900, month 1, day 0, 00:00:00).
KIV_EXTERN_C kiv::i_time* kiv_get_time(unsigned absolute);

// Formats `tmval` as seen in a zone `tz_offset` seconds east of UTC. An
// offset equal to kiv_local_timezone() shows local time (with daylight
// saving as it applied on that date); any other offset shows UTC shifted
// by the offset. `flags` bit 1 adds the date "YYYY-MM-DD", bit 0 the time
// "HH:MM:SS"; both give "YYYY-MM-DD HH:MM:SS". Other bits are ignored.
// Returns: true and the text in `dst` (cut to size - 1, always
//     terminated); false for a null dst, size 0, or neither bit set.
KIV_EXTERN_C bool kiv_format_time_impl(char* dst, unsigned size, int tmval, int tz_offset, unsigned char flags);
// Returns: the same text as a malloc-ed string the caller frees, or null
//     when nothing was formatted.
KIV_EXTERN_C char* kiv_format_time(unsigned tmval, int tz_offset, unsigned flags = 3);

KIV_EXTERN_C kiv::i_time* kiv_cast_i_time(kiv::i_object* obj);

#endif
