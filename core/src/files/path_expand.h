// path_expand.h --
//
//     ${VAR} expansion of configured paths, done by the string service.

#ifndef KIV_CORE_SRC_PATH_EXPAND_H
#define KIV_CORE_SRC_PATH_EXPAND_H

#include <string>

namespace kiv {

// Expands the variable references of `path` in place.
// Returns: false when the string service is missing or the expansion failed.
bool expand_path_variables(std::string& path);

}  // namespace kiv

#endif
