// time.cpp --
//
//     The zone cache, kiv_calc_time, kiv_format_time and the time object.
//     Calls that read TZ from the environment go through the platform
//     layer, which serialises them with changes of the environment.
//
//     Reading fields as UTC uses timegm, and formatting for a foreign
//     offset uses gmtime, so neither borrows the daylight-saving state of
//     today for a date on the other side of a change.

#include "time/clock.h"
#include "time/time_zone.h"

#include "../../platform/platform.h"

#include <kiv/core/i_time.h>
#include <kiv/core/object.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <climits>
#include <cstring>
#include <ctime>

namespace kiv {

namespace {

std::atomic<int> zone_offset{0};  // seconds east of UTC, daylight saving excluded
std::atomic<int> zone_dst{0};     // 1 when daylight saving was in force at the refresh

// A Unix time in the unsigned 32-bit range, or 0.
unsigned to_unix32(time_t t) {
    if (t < 0 || static_cast<long long>(t) > 0xFFFFFFFFLL)
        return 0;
    return static_cast<unsigned>(t);
}

class time_impl : public object, public virtual i_time {
public:
    explicit time_impl(unsigned absolute) {
        std::memset(&fields_, 0, sizeof fields_);
        if (absolute != 0)
            set_absolute(absolute);
    }

    bool get_interface(const char* name, void** out) override {
        if (answer_interface(name, "i_time", static_cast<i_time*>(this), out))
            return true;
        if (out != nullptr)
            *out = nullptr;
        return false;
    }

    // A setter refuses (false, field unchanged) a value whose field would
    // not fit a signed 32-bit member: scripts pass any unsigned number.
    unsigned get_year() override { return static_cast<unsigned>(fields_.tm_year + 1900); }
    bool set_year(unsigned val) override { return store(fields_.tm_year, val, 1900); }
    unsigned get_month() override { return static_cast<unsigned>(fields_.tm_mon + 1); }
    bool set_month(unsigned val) override { return store(fields_.tm_mon, val, 1); }
    unsigned get_day() override { return static_cast<unsigned>(fields_.tm_mday); }
    bool set_day(unsigned val) override { return store(fields_.tm_mday, val, 0); }
    unsigned get_hour() override { return static_cast<unsigned>(fields_.tm_hour); }
    bool set_hour(unsigned val) override { return store(fields_.tm_hour, val, 0); }
    unsigned get_minute() override { return static_cast<unsigned>(fields_.tm_min); }
    bool set_minute(unsigned val) override { return store(fields_.tm_min, val, 0); }
    unsigned get_second() override { return static_cast<unsigned>(fields_.tm_sec); }
    bool set_second(unsigned val) override { return store(fields_.tm_sec, val, 0); }

    unsigned get_absolute() override {
        fields_.tm_isdst = -1;
        return to_unix32(static_cast<time_t>(platform::mktime_local(&fields_)));
    }

    bool set_absolute(unsigned val) override {
        time_t t = val != 0 ? static_cast<time_t>(val) : static_cast<time_t>(clock::wall_seconds());
        return localtime_r(&t, &fields_) != nullptr;
    }

private:
    // Stores val - offset; values over INT_MAX are refused, which also
    // keeps get_year's tm_year + 1900 in range.
    static bool store(int& field, unsigned val, int offset) {
        if (val > static_cast<unsigned>(INT_MAX))
            return false;
        field = static_cast<int>(val) - offset;
        return true;
    }

    std::tm fields_;  // broken-down local time, as the setters left it
};

}  // namespace

namespace {

// Caches the offset tzset left and today's daylight-saving flag. The
// conversion reads no environment once the zone was set up.
void store_zone() {
    time_t now = static_cast<time_t>(clock::wall_seconds());
    std::tm local;
    int dst = 0;
    if (localtime_r(&now, &local) != nullptr && local.tm_isdst > 0)
        dst = 1;
    zone_dst.store(dst);
    zone_offset.store(static_cast<int>(-timezone));
}

}  // namespace

void time_zone_refresh() {
    platform::tz_refresh();
    store_zone();
}

void time_zone_tick() {
    platform::tz_refresh_if_changed();  // a busy lock waits for the next second
    store_zone();
}

}  // namespace kiv

using namespace kiv;

int kiv_local_timezone() {
    return zone_offset.load();
}

int kiv_timezone_dst() {
    return zone_dst.load();
}

unsigned kiv_calc_time(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                       unsigned second, bool calc_from_utc) {
    if (year < 1970 || year > 2106 || month > 12 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return 0;
    std::tm fields;
    std::memset(&fields, 0, sizeof fields);
    fields.tm_sec = static_cast<int>(second);
    fields.tm_min = static_cast<int>(minute);
    fields.tm_hour = static_cast<int>(hour);
    fields.tm_mday = static_cast<int>(day);
    fields.tm_mon = static_cast<int>(month) - 1;
    fields.tm_year = static_cast<int>(year) - 1900;
    fields.tm_isdst = -1;
    time_t t = calc_from_utc ? timegm(&fields) : static_cast<time_t>(platform::mktime_local(&fields));
    return to_unix32(t);
}

kiv::i_time* kiv_construct_time(unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                                unsigned second, bool calc_from_utc) {
    unsigned t = kiv_calc_time(year, month, day, hour, minute, second, calc_from_utc);
    if (t == 0)
        return nullptr;
    return kiv_get_time(t);
}

kiv::i_time* kiv_get_time(unsigned absolute) {
    time_impl* t = new time_impl(absolute);
    t->addref();
    return t;
}

bool kiv_format_time_impl(char* dst, unsigned size, int tmval, int tz_offset, unsigned char flags) {
    if (dst == nullptr || size == 0)
        return false;
    dst[0] = '\0';
    bool date = (flags & 2) != 0;
    bool time_of_day = (flags & 1) != 0;
    if (!date && !time_of_day)
        return false;
    std::tm shown;
    long long instant = static_cast<long long>(static_cast<unsigned>(tmval));
    bool converted;
    if (tz_offset == kiv_local_timezone()) {
        time_t t = static_cast<time_t>(instant);
        converted = localtime_r(&t, &shown) != nullptr;
    } else {
        time_t t = static_cast<time_t>(instant + tz_offset);
        converted = gmtime_r(&t, &shown) != nullptr;
    }
    if (!converted)
        return false;
    if (date && time_of_day)
        std::snprintf(dst, size, "%04d-%02d-%02d %02d:%02d:%02d", shown.tm_year + 1900, shown.tm_mon + 1,
                      shown.tm_mday, shown.tm_hour, shown.tm_min, shown.tm_sec);
    else if (date)
        std::snprintf(dst, size, "%04d-%02d-%02d", shown.tm_year + 1900, shown.tm_mon + 1, shown.tm_mday);
    else
        std::snprintf(dst, size, "%02d:%02d:%02d", shown.tm_hour, shown.tm_min, shown.tm_sec);
    return true;
}

char* kiv_format_time(unsigned tmval, int tz_offset, unsigned flags) {
    char buffer[256];
    if (!kiv_format_time_impl(buffer, sizeof buffer, static_cast<int>(tmval), tz_offset,
                              static_cast<unsigned char>(flags)))
        return nullptr;
    return strdup(buffer);
}

kiv::i_time* kiv_cast_i_time(kiv::i_object* obj) {
    return cast_interface<i_time>(obj, "i_time");
}
