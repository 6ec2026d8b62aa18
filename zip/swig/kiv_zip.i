// kiv_zip.i --
//
//     The Tcl package "kiv_zip" (Kiv_zip_Init, Kiv_zip_SafeInit), built
//     into kiv_zip.so by cmake's kiv_add_tcl_package: the archive service,
//     readers and writers (each with its own addref and release commands),
//     and the core's command set under the same names as in the core's
//     own package.

%module kiv_zip

%include "kiv_swig.i"
%include "kiv_core_api.i"

%{
#include <kiv/zip/i_zip.h>
%}

KIV_SCRIPT_REFERENCE_COUNT(i_zip_service)
KIV_SCRIPT_REFERENCE_COUNT(i_zip_reader)
KIV_SCRIPT_REFERENCE_COUNT(i_zip_writer)
KIV_SCRIPT_REFERENCE_COUNT(i_gzip_writer)

%include <kiv/zip/i_zip.h>
