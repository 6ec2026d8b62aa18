// http_session.cpp --
//
//     Sessions of a virtual server (see http_session.h).

#include "service/http_session.h"

#include <kiv/core/i_core.h>

#include <cstdlib>
#include <cstring>

namespace kiv {

http_session::http_session(const char* sid, const char* host)
    : start_time_(kiv_get_curr_time()), access_time_(start_time_), exp_interval_(3600) {
    i_named_object_impl::set_name(sid);
    if (host != nullptr)
        host_ = host;
}

bool http_session::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_http_session", static_cast<i_http_session*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out) ||
        answer_interface(name, "i_property_manager", static_cast<i_property_manager*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool http_session::set_name(const char*) {
    return false;
}

void http_session::touch(const char* host) {
    access_time_.store(kiv_get_curr_time());
    if (host != nullptr && *host != '\0') {
        std::lock_guard<std::mutex> hold(host_lock_);
        host_ = host;
    }
}

char* http_session::get_host() {
    std::lock_guard<std::mutex> hold(host_lock_);
    return strdup(host_.c_str());
}

bool http_session::expired_at(uint32_t now) const {
    // In 64 bits, so a long interval never wraps round to "expired".
    return uint64_t(access_time_.load()) + exp_interval_.load() < now;
}

}  // namespace kiv
