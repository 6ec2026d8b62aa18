// env.cpp --
//
//     Exported fronts of the platform layer's locked environment.

#include <kiv/core/env.h>

#include "../../platform/platform.h"

bool kiv_get_env(const char* name, std::string& value) {
    return kiv::platform::env_get(name, value);
}

std::string kiv_get_env(const char* name) {
    std::string value;
    kiv::platform::env_get(name, value);
    return value;
}

bool kiv_set_env(const char* name, const char* value) {
    return kiv::platform::env_set(name, value);
}
