// plain_library.cpp --
//
//     A library for the script service's binding tests: it follows the
//     library protocol and names itself (in mixed case), but exports no
//     Tcl package initialiser.

#include <kiv/core/library_protocol.h>

const char* kiv_library_name() {
    return "Plain_Lib";
}

const char* kiv_library_version() {
    return "1.0";
}

bool kiv_library_initialized() {
    return true;
}

void kiv_library_entry() {}
