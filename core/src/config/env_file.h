// env_file.h --
//
//     Applying an environment file of KEY=VALUE lines (the rules are in
//     <kiv/core/config.h>), shared by kiv_load_environment and the watcher.

#ifndef KIV_CORE_SRC_ENV_FILE_H
#define KIV_CORE_SRC_ENV_FILE_H

#include <cstdint>

namespace kiv {

// Sets the variables of the file at `path` (relative to KIV_ROOT_PATH),
// line after line. A line that cannot be set is traced and skipped.
// Returns: false when the string service is missing or the file cannot
//     be read.
bool apply_environment_file(const char* path);

// Returns: true and the modification time of the file at `absolute_path`
//     in seconds since 1970 (64-bit), false when it cannot be read.
bool file_modification_time(const char* absolute_path, int64_t* seconds);

}  // namespace kiv

#endif
