// plain_library.cpp --
//
//     A library for the script service's binding tests: it names itself
//     (in mixed case) but exports no Tcl package initialiser.

#include <kiv/core/export.h>

KIV_EXTERN_C const char* kiv_library_name() {
    return "Plain_Lib";
}
