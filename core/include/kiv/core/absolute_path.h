// absolute_path.h --
//
//     kiv_get_absolute_path (<kiv/core/files.h>) as a std::string, for
//     the C++ code of every library: no heap text to free. Inline, and
//     never wrapped for scripts.

#ifndef KIV_CORE_ABSOLUTE_PATH_H
#define KIV_CORE_ABSOLUTE_PATH_H

#include <kiv/core/files.h>

#include <cstdlib>
#include <string>

namespace kiv {

// kiv_get_absolute_path without the heap text to free.
// Returns: the absolute path; empty when it cannot be made (no root, a
//     failed variable expansion, no core).
inline std::string absolute_path(const char* rel_path) {
    char* absolute = kiv_get_absolute_path(rel_path);
    if (absolute == nullptr)
        return std::string();
    std::string path(absolute);
    std::free(absolute);
    return path;
}

inline std::string absolute_path(const std::string& rel_path) {
    return absolute_path(rel_path.c_str());
}

}  // namespace kiv

#endif
