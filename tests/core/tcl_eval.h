// tcl_eval.h --
//
//     Runs a script in an interpreter of the test's own, for the tests of
//     the core's Tcl package as a plain interpreter sees it.

#ifndef KIV_TESTS_CORE_TCL_EVAL_H
#define KIV_TESTS_CORE_TCL_EVAL_H

#include <tcl.h>

#include <string>

namespace kiv_test {

// Returns: the script's result, or "error: " and the message.
inline std::string tcl_eval(Tcl_Interp* interp, const std::string& script) {
    int code = Tcl_Eval(interp, script.c_str());
    std::string result = Tcl_GetStringResult(interp);
    return code == TCL_OK ? result : "error: " + result;
}

}  // namespace kiv_test

#endif
