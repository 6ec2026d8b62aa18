// run_command.h --
//
//     A shell command run from a test (an independent tool such as unzip,
//     gzip, curl, or a Python snippet on zipfile or Pillow) with its
//     standard output collected. Used by the tests of several libraries;
//     headers only.

#ifndef KIV_TEST_RUN_COMMAND_H
#define KIV_TEST_RUN_COMMAND_H

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace kiv_test {

// Returns: `s` as one word of a shell command, whatever blanks, quotes
//     or other characters the shell reads it holds (a path of the build
//     or the temp folder).
inline std::string shell_quoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// Runs `command` through the shell and waits for it.
// Returns: its exit status (-1 when it did not run or did not exit), with
//     its standard output in *out when given.
inline int run_command(const std::string& command, std::string* out = nullptr) {
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr)
        return -1;
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        text.append(buf, n);
    int status = pclose(p);
    if (out != nullptr)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace kiv_test

#endif
