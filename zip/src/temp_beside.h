// temp_beside.h --
//
//     The temporary file a writer fills before it takes its target's
//     place: made with O_EXCL in the target's own folder, so the final
//     rename never crosses file systems and never meets another writer's
//     file. Shared by the gzip and zip writers.

#ifndef KIV_ZIP_SRC_TEMP_BESIDE_H
#define KIV_ZIP_SRC_TEMP_BESIDE_H

#include <string>

namespace kiv {

// Creates ".<name>.tmp.XXXXXX" beside the absolute path `target`, with
// the usual mode of a new file (0644).
// Returns: the open descriptor (the caller closes it) and its path in
//     *temp_path, or -1 when `target` names no file, names a folder or
//     the file cannot be made (the reason goes to kiv_log).
int create_temp_beside(const std::string& target, std::string* temp_path);

}  // namespace kiv

#endif
