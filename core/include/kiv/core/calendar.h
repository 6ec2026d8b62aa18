// calendar.h --
//
//     Lengths of Gregorian years and months.

#ifndef KIV_CORE_CALENDAR_H
#define KIV_CORE_CALENDAR_H

#include <kiv/core/export.h>

// Returns: the number of days of the Gregorian year: 366 for a leap year
//     (divisible by 4, and by 400 when divisible by 100), else 365.
KIV_EXTERN_C int kiv_get_days_in_year(unsigned year);

// Returns: the number of days of month m (1 to 12) of year y; 0 for
//     month 0 or above 12.
KIV_EXTERN_C int kiv_get_days_in_month(unsigned m, unsigned y);

#endif
