// path_form.h --
//
//     One spelling for a path, for the C++ code of every library that
//     keys something by a path it was handed: "a//b", "a/./b" and "a/b"
//     name one file, and a cache or a file named after each spelling
//     would grow with every spelling someone invents. Inline, and never
//     wrapped for scripts.

#ifndef KIV_CORE_PATH_FORM_H
#define KIV_CORE_PATH_FORM_H

#include <string>

namespace kiv {

// Brings `path` to one form: every run of "/" becomes one "/", and every
// "." component goes ("a/./b" is "a/b", "a/." is "a/", "/." is "/", "./a"
// is "a"). A leading "/" stays, and so does a trailing one (also where a
// "." component ended the path), so the form names a folder where the
// path did. ".." stays as it is: what it names depends on the links on
// the way. Nothing else changes, so on Linux the form names the same
// file as the path, or fails to name one just as the path does.
// Returns: the form; "." for a path that was only "." components, ""
//     for "".
inline std::string path_one_form(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    size_t i = 0;
    const size_t n = path.size();
    bool rooted = n > 0 && path[0] == '/';
    if (rooted)
        out.push_back('/');
    bool trailing = false;  // the last component read was "." or the empty one after a final "/"
    while (i < n) {
        while (i < n && path[i] == '/')
            ++i;
        size_t end = path.find('/', i);
        if (end == std::string::npos)
            end = n;
        size_t length = end - i;
        if (length == 0 || (length == 1 && path[i] == '.')) {
            trailing = true;
        } else {
            if (!out.empty() && out.back() != '/')
                out.push_back('/');
            out.append(path, i, length);
            trailing = false;
        }
        i = end;
    }
    if (out.empty())
        return n == 0 ? std::string() : std::string(".");
    if (trailing && out.back() != '/')
        out.push_back('/');
    return out;
}

}  // namespace kiv

#endif
