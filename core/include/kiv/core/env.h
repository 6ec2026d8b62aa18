// env.h --
//
//     The locked process environment. Every read and write of environment
//     variables in the project goes through these functions, because the
//     C library's setenv races with getenv on other threads.

#ifndef KIV_CORE_ENV_H
#define KIV_CORE_ENV_H

#include <kiv/core/export.h>

#include <string>

// Returns: true and the value in `value` when the variable is set.
// Safe from any thread.
KIV_EXPORT bool kiv_get_env(const char* name, std::string& value);
// Returns: the value, or the empty text when the variable is unset.
KIV_EXPORT std::string kiv_get_env(const char* name);
// Sets a variable; an empty or null value unsets it. Names are
// case-sensitive. Returns: false for a null, empty or "="-holding name.
KIV_EXPORT bool kiv_set_env(const char* name, const char* value);

#endif
