// paths.cpp --
//
//     Absolute paths under the installation root, existence tests and the
//     local charset name.

#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>

#include "files/path_expand.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

void to_slashes(std::string& s) {
    for (char& c : s)
        if (c == '\\')
            c = '/';
}

// Every "/" ends a component, so a leading "/" gives an empty first
// component and "//" an empty one between; a trailing "/" adds none.
// Double quotes are dropped from each component.
std::vector<std::string> components(const std::string& path) {
    std::vector<std::string> parts;
    std::string current;
    for (char c : path) {
        if (c == '/') {
            parts.push_back(current);
            current.clear();
        } else if (c != '"') {
            current += c;
        }
    }
    if (!current.empty())
        parts.push_back(current);
    return parts;
}

char* full_case(const std::string& root, const std::string& rel) {
    std::string expanded = rel;
    to_slashes(expanded);
    if (!kiv::expand_path_variables(expanded))
        return nullptr;
    to_slashes(expanded);
    std::vector<std::string> path = components(expanded);
    std::vector<std::string> all;
    if (path.empty() || !path[0].empty())
        all = components(root);
    all.insert(all.end(), path.begin(), path.end());
    std::vector<std::string> kept;
    for (const std::string& part : all)
        if (part != ".")
            kept.push_back(part);
    // ".." removes itself and the component before it; a leading ".."
    // stays, and ".." never climbs above "/".
    std::vector<std::string> folded;
    for (const std::string& part : kept) {
        if (part != "..") {
            folded.push_back(part);
        } else if (folded.empty() || folded.back() == "..") {
            folded.push_back(part);
        } else if (!(folded.size() == 1 && folded[0].empty())) {
            folded.pop_back();
        }
    }
    std::string joined;
    for (size_t i = 0; i < folded.size(); ++i) {
        if (i > 0)
            joined += '/';
        joined += folded[i];
    }
    if (joined.empty())
        joined = "/";
    return strdup(joined.c_str());
}

std::string trim_separators(const char* pathname) {
    std::string path(pathname);
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\'))
        path.pop_back();
    return path;
}

std::mutex charset_mutex;
char local_charset[1024] = "cp1251";

}  // namespace

char* kiv_get_absolute_path(const char* rel_path) {
    if (rel_path == nullptr || kiv_core() == nullptr)
        return nullptr;
    std::string rel(rel_path);
    to_slashes(rel);
    bool is_absolute = !rel.empty() && rel[0] == '/';
    // An absolute path needs no root; a relative one does.
    std::string root;
    if ((!kiv_get_env("KIV_ROOT_PATH", root) || root.empty()) && !is_absolute)
        return nullptr;
    to_slashes(root);
    bool simple = rel.find("..") == std::string::npos && rel.find('$') == std::string::npos &&
                  root.find("..") == std::string::npos;
    if (!simple)
        return full_case(root, rel);
    if (is_absolute)
        return strdup(rel.c_str());
    return strdup((root + "/" + rel).c_str());
}

bool kiv_dir_exists(const char* pathname) {
    if (pathname == nullptr || *pathname == '\0')
        return false;
    struct stat st;
    return stat(trim_separators(pathname).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool kiv_file_exists(const char* pathname) {
    if (pathname == nullptr || *pathname == '\0')
        return false;
    struct stat st;
    return stat(trim_separators(pathname).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool kiv_set_local_charset(const char* chs) {
    if (chs == nullptr || std::strlen(chs) > 1022)
        return false;
    std::lock_guard<std::mutex> lock(charset_mutex);
    std::strcpy(local_charset, chs);
    return true;
}

const char* kiv_get_local_charset() {
    return local_charset;
}
