// kiv_core.i --
//
//     The Tcl package "kiv_core" (Kiv_core_Init, Kiv_core_SafeInit),
//     built into kiv_core.so by cmake's kiv_add_tcl_package.

%module kiv_core

%include "kiv_swig.i"
%include "kiv_core_api.i"
