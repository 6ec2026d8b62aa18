// helpers.h -- for the include switch only; goes in the next commit.
#ifndef KIV_CORE_HELPERS_H
#define KIV_CORE_HELPERS_H
#include <kiv/core/absolute_path.h>
#include <kiv/core/text_checks.h>
#endif
