// zip_lib.cpp --
//
//     The library's face: the loader protocol, whose entry registers the
//     service "svc_zip" with the core, and the interface casts.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/library_protocol.h>
#include <kiv/zip/i_zip.h>

#include "zip_service.h"

#include <new>

using namespace kiv;

KIV_EXTERN_C const char* kiv_library_name() {
    return "kiv_zip";
}

KIV_EXTERN_C const char* kiv_library_version() {
    return "3.3.0014";
}

KIV_EXTERN_C bool kiv_library_initialized() {
    return true;
}

KIV_EXTERN_C void kiv_library_entry() {
    i_core* core = kiv_core();
    zip_service* svc = new (std::nothrow) zip_service;
    if (core == nullptr || svc == nullptr) {
        delete svc;
        return;
    }
    // The core keeps the service; our reference goes at scope end.
    svc->addref();
    auto_ptr_t<zip_service> holder(svc);
    core->register_service(svc, "svc_zip");
}

i_zip_service* kiv_cast_i_zip_service(i_object* obj) {
    return cast_interface<i_zip_service>(obj, "i_zip_service");
}

i_zip_reader* kiv_cast_i_zip_reader(i_object* obj) {
    return cast_interface<i_zip_reader>(obj, "i_zip_reader");
}

i_zip_writer* kiv_cast_i_zip_writer(i_object* obj) {
    return cast_interface<i_zip_writer>(obj, "i_zip_writer");
}

i_gzip_writer* kiv_cast_i_gzip_writer(i_object* obj) {
    return cast_interface<i_gzip_writer>(obj, "i_gzip_writer");
}
