// runtime.cpp --
//
//     The process-wide id counter and the calendar helpers.

#include <kiv/core/calendar.h>
#include <kiv/core/next_id.h>

#include <atomic>

namespace {
std::atomic<int64_t> next_id{1};
const int month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
}  // namespace

int64_t kiv_get_next_id() {
    return next_id.fetch_add(1, std::memory_order_relaxed);
}

int kiv_get_days_in_year(unsigned year) {
    bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return leap ? 366 : 365;
}

int kiv_get_days_in_month(unsigned m, unsigned y) {
    if (m == 0 || m > 12)
        return 0;
    if (m == 2 && kiv_get_days_in_year(y) == 366)
        return 29;
    return month_days[m - 1];
}
