// temp_folder.h --
//
//     Making a private temporary folder under TMPDIR, as every test
//     program's own folder (private_tmpdir.cpp) and each test's
//     kiv_test::temp_dir are made. Headers only.

#ifndef KIV_TEST_TEMP_FOLDER_H
#define KIV_TEST_TEMP_FOLDER_H

#include <stdlib.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace kiv_test {

// Makes a new folder (mode 0700) named `prefix` and six random
// characters in the folder `under`, or when that is null under TMPDIR
// (when it is an absolute path), else /tmp.
// Returns: its path, "" when it could not be made.
inline std::string make_temp_folder(const char* prefix, const char* under = nullptr) {
    const char* base = under != nullptr ? under : std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/" + prefix + "XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    return mkdtemp(path.data()) != nullptr ? std::string(path.data()) : std::string();
}

}  // namespace kiv_test

#endif
