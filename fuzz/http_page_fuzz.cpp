// http_page_fuzz.cpp --
//
//     Translates any bytes as a Tcl page (HTML with code between "<?" and
//     "?>") into the script that prints it, and runs the script of every
//     page without code in a Tcl interpreter whose "puts" collects what
//     it prints: the page text must come out exactly as it was, so no
//     byte of it can end the quoted word or run as code. Pages of
//     printable ASCII and blanks are run; other pages are only
//     translated, into a script of bounded size (Tcl reads other bytes
//     in the system encoding).

#include "page/http_page_text.h"

#include <tcl.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

Tcl_Interp* interp = nullptr;  // lives as long as the process

bool plain_text(const char* text, size_t size) {
    for (size_t i = 0; i < size; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (!(c >= 0x20 && c < 0x7F) && c != '\n' && c != '\r' && c != '\t')
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    interp = Tcl_CreateInterp();
    if (interp == nullptr ||
        Tcl_Eval(interp, "rename puts {}; proc puts {text} {append ::printed $text}") != TCL_OK)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    const char* text = reinterpret_cast<const char*>(data);
    std::string script = kiv::http_translate_page(text, size);
    // Each byte escapes to at most two, each text stretch adds nine.
    check(script.size() <= 5 * size + 9);
    // Every line of the script comes from a line of the page, in order.
    int page_lines = 1 + static_cast<int>(std::count(text, text + size, '\n'));
    int script_lines = 1 + static_cast<int>(std::count(script.begin(), script.end(), '\n'));
    int before = 1;
    for (int line = 1; line <= script_lines; line += 1 + script_lines / 64) {
        int from = kiv::http_page_line(text, size, line);
        check(from >= before && from <= page_lines);
        before = from;
    }
    std::string page(text, size);
    if (page.find("<?") != std::string::npos || !plain_text(text, size))
        return 0;
    Tcl_SetVar(interp, "printed", "", TCL_GLOBAL_ONLY);
    check(Tcl_EvalEx(interp, script.data(), int(script.size()), TCL_EVAL_GLOBAL) == TCL_OK);
    const char* printed = Tcl_GetVar(interp, "printed", TCL_GLOBAL_ONLY);
    check(printed != nullptr && page == printed);
    return 0;
}
