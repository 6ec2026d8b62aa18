// paths.cpp --
//
//     Turning configured and relative paths into absolute ones under the
//     installation root.

#include <kiv/core/env.h>
#include <kiv/core/files.h>

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
