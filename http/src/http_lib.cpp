// http_lib.cpp --
//
//     The library's face: the loader protocol, whose entry loads kiv_zip,
//     makes the private folder "http" under the framework's temp folder
//     and registers "svc_http"; the JSON writer factory; and the
//     interface casts.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/library_protocol.h>
#include <kiv/core/log.h>
#include <kiv/http/i_http_json_writer.h>
#include <kiv/http/i_http_request.h>
#include <kiv/http/i_http_service.h>

#include "pack/http_pack_service.h"
#include "page/json_writer.h"
#include "parse/cookie_manager.h"
#include "service/http_service.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

using namespace kiv;

namespace {

std::atomic<bool> initialized{true};

// Makes (or accepts) the private folder `path`: a real folder of ours
// with mode 0700. One that another user made, or a symbolic link, is
// refused, since the temp folder may be shared.
// Returns: whether the folder is ready.
bool make_private_dir(const std::string& path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        kiv_log(0, "kiv_http: cannot create '%s': %s", path.c_str(), std::strerror(errno));
        return false;
    }
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid()) {
        kiv_log(0, "kiv_http: '%s' is not a folder of this user", path.c_str());
        return false;
    }
    if ((st.st_mode & 07777) != 0700 && chmod(path.c_str(), 0700) != 0) {
        kiv_log(0, "kiv_http: cannot make '%s' private: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

bool entry() {
    i_core* core = kiv_core();
    if (core == nullptr)
        return false;
    if (!kiv_library_loaded("kiv_zip") && core->load_library("kiv_zip") == nullptr)
        return false;
    std::string temp = kiv_temp_path();
    if (temp.empty()) {
        kiv_log(0, "kiv_http: no temp folder: %s", *kiv_temp_path_error() != '\0' ? kiv_temp_path_error() : "none set");
        return false;
    }
    if (!kiv_make_path(temp.c_str())) {
        kiv_log(0, "kiv_http: cannot create the temp folder '%s'", temp.c_str());
        return false;
    }
    if (!make_private_dir(temp + "/http"))
        return false;
    http_service* svc = new http_service;
    // The core keeps the service; our reference goes at scope end.
    svc->addref();
    auto_ptr_t<http_service> holder(svc);
    core->register_service(static_cast<i_http_service*>(svc), "svc_http");
    // The packers answer "/packjs" and "/packcss" page requests.
    for (const auto& kind : {std::make_pair("text/javascript", "js"), std::make_pair("text/css", "css")}) {
        http_pack_service* packer = new http_pack_service(kind.first, kind.second);
        packer->addref();
        auto_ptr_t<http_pack_service> packer_holder(packer);
        core->register_service(packer, (std::string("svc_http_") + kind.second + "_packer").c_str());
    }
    return true;
}

}  // namespace

KIV_EXTERN_C const char* kiv_library_name() {
    return "kiv_http";
}

KIV_EXTERN_C const char* kiv_library_version() {
    return "3.18.0094";
}

KIV_EXTERN_C bool kiv_library_initialized() {
    return initialized.load();
}

KIV_EXTERN_C void kiv_library_entry() {
    initialized.store(entry());
}

i_http_json_writer* kiv_http_create_json_writer(bool collection) {
    json_writer* writer = new json_writer(collection);
    writer->addref();
    return writer;
}

i_http_service* kiv_cast_i_http_service(i_object* obj) {
    return cast_interface<i_http_service>(obj, "i_http_service");
}

i_http_client* kiv_cast_i_http_client(i_object* obj) {
    return cast_interface<i_http_client>(obj, "i_http_client");
}

i_http_stream* kiv_cast_i_http_stream(i_object* obj) {
    return cast_interface<i_http_stream>(obj, "i_http_stream");
}

i_http_server* kiv_cast_i_http_server(i_object* obj) {
    return cast_interface<i_http_server>(obj, "i_http_server");
}

i_http_session* kiv_cast_i_http_session(i_object* obj) {
    return cast_interface<i_http_session>(obj, "i_http_session");
}

i_http_cookie_manager* kiv_cast_i_http_cookie_manager(i_object* obj) {
    return cast_interface<i_http_cookie_manager>(obj, "i_http_cookie_manager");
}

i_http_json_writer* kiv_cast_i_http_json_writer(i_object* obj) {
    return cast_interface<i_http_json_writer>(obj, "i_http_json_writer");
}

i_http_file_data* kiv_cast_i_http_file_data(i_object* obj) {
    return cast_interface<i_http_file_data>(obj, "i_http_file_data");
}

i_http_request* kiv_cast_i_http_request(i_object* obj) {
    return cast_interface<i_http_request>(obj, "i_http_request");
}
