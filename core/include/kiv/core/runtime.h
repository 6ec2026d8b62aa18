// runtime.h -- for the include switch only; goes in the next commit.
#ifndef KIV_CORE_RUNTIME_H
#define KIV_CORE_RUNTIME_H
#include <kiv/core/calendar.h>
#include <kiv/core/next_id.h>
#endif
