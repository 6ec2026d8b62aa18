// calendar.cpp --
//
//     Lengths of Gregorian years and months.

#include <kiv/core/calendar.h>

namespace {
const int month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
}  // namespace

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
