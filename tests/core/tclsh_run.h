// tclsh_run.h --
//
//     Runs a script in a plain tclsh8.6, for the tests of the generated
//     Tcl packages: the script gets $bin, the folder of the built
//     libraries, and sanitizer builds preload their runtime into tclsh
//     (which is not instrumented) through KIV_TCLSH_ENV.

#ifndef KIV_TESTS_CORE_TCLSH_RUN_H
#define KIV_TESTS_CORE_TCLSH_RUN_H

#include "test_util.h"

#include <cstdio>
#include <fstream>
#include <string>

namespace kiv_test {

// Returns: the path of tclsh8.6 on PATH, or "" when there is none.
inline std::string find_tclsh() {
    FILE* which = popen("which tclsh8.6 2>/dev/null", "r");
    if (which == nullptr)
        return "";
    char line[1024] = "";
    std::string path = std::fgets(line, sizeof line, which) != nullptr ? line : "";
    pclose(which);
    while (!path.empty() && (path.back() == '\n' || path.back() == '\r'))
        path.pop_back();
    return path;
}

// Runs `script` with `tclsh` in the folder `dir`.
// Returns: what it wrote (standard output and error), and in *status the
//     exit status (-1 when it could not run).
inline std::string run_tclsh(const std::string& tclsh, const temp_dir& dir, const std::string& script,
                             int* status) {
    *status = -1;
    std::string path = dir.file("script.tcl");
    std::ofstream(path) << "set bin {" << KIV_BIN_DIR << "}\ncd {" << dir.path() << "}\n" << script;
    std::string command = std::string(KIV_TCLSH_ENV) + " '" + tclsh + "' '" + path + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    if (pipe == nullptr)
        return output;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    *status = pclose(pipe);
    return output;
}

}  // namespace kiv_test

#endif
