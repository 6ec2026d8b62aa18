// temp_beside.cpp --
//
//     Unique temporary files beside a writer's target (mkostemp).

#include "temp_beside.h"

#include <kiv/core/log.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kiv {

int create_temp_beside(const std::string& target, std::string* temp_path) {
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    // A folder would only be refused by the final rename, after the
    // caller had written everything: refuse it before the first byte.
    struct stat st;
    if (base.empty() || (stat(target.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        kiv_log(0, "kiv_zip: cannot write '%s': it is a folder", target.c_str());
        return -1;
    }
    std::string templ = dir + "." + base + ".tmp.XXXXXX";
    std::vector<char> name(templ.begin(), templ.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
        kiv_log(0, "kiv_zip: cannot write '%s': %s", target.c_str(), std::strerror(errno));
        return -1;
    }
    // Readers of the target see the usual mode of a new file.
    fchmod(fd, 0644);
    *temp_path = name.data();
    return fd;
}

}  // namespace kiv
