// paths.cpp --
//
//     Turning configured and relative paths into absolute ones under the
//     installation root.

#include <kiv/core/env.h>
#include <kiv/core/files.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Folds "." and ".." and repeated separators of an absolute path; ".."
// never climbs above "/".
std::string fold_path(const std::string& path) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t end = path.find('/', pos);
        if (end == std::string::npos)
            end = path.size();
        std::string part = path.substr(pos, end - pos);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        pos = end + 1;
    }
    std::string folded;
    for (const std::string& part : parts)
        folded += "/" + part;
    if (folded.empty())
        folded = "/";
    else if (path.size() > 1 && path.back() == '/')
        folded += "/";
    return folded;
}

// Drops trailing "/" and backslash one at a time, stopping at one character or
// at a drive root such as "C:/", so a root keeps its separator.
std::string strip_trailing_separators(const char* pathname) {
    std::string path(pathname);
    while (path.size() > 1 && !(path.size() == 3 && path[1] == ':') &&
           (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    return path;
}

// Returns: the entry's status, or false when it does not exist.
bool stat_path(const char* pathname, struct stat* st) {
    if (pathname == nullptr || *pathname == '\0')
        return false;
    return stat(strip_trailing_separators(pathname).c_str(), st) == 0;
}

}  // namespace

char* kiv_get_absolute_path(const char* rel_path) {
    if (rel_path == nullptr)
        return nullptr;
    std::string path(rel_path);
    for (char& c : path)
        if (c == '\\')
            c = '/';
    if (path.empty() || path[0] != '/') {
        std::string root;
        if (!kiv_get_env("KIV_ROOT_PATH", root) || root.empty())
            return nullptr;
        for (char& c : root)
            if (c == '\\')
                c = '/';
        path = root + "/" + path;
    }
    return strdup(fold_path(path).c_str());
}

bool kiv_dir_exists(const char* pathname) {
    struct stat st;
    return stat_path(pathname, &st) && S_ISDIR(st.st_mode);
}

bool kiv_file_exists(const char* pathname) {
    struct stat st;
    return stat_path(pathname, &st) && !S_ISDIR(st.st_mode);
}
