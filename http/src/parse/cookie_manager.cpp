// cookie_manager.cpp --
//
//     The cookie store shared by the server's requests and the client.

#include "parse/cookie_manager.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>

namespace kiv {

const char* cookie_manager::get_cookie(const char* name) {
    if (name == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> hold(lock_);
    auto found = cookies_.find(name);
    return found != cookies_.end() ? found->second.value.c_str() : "";
}

void cookie_manager::set_cookie(const char* name, const char* value, unsigned lifetime) {
    if (name == nullptr || value == nullptr)
        return;
    std::lock_guard<std::mutex> hold(lock_);
    cookie& entry = cookies_[name];
    entry.name = name;
    entry.value = value;
    entry.lifetime = lifetime;
}

i_object_col* cookie_manager::get_cookies() {
    object_col* col = new object_col;
    col->addref();
    std::lock_guard<std::mutex> hold(lock_);
    for (const auto& entry : cookies_) {
        auto_ptr_t<named_string> item(new named_string(entry.second.name.c_str(), entry.second.value.c_str()));
        item->addref();
        col->add_item(item, false);
    }
    return col;
}

std::vector<cookie_manager::cookie> cookie_manager::get_cookie_list() {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<cookie> list;
    list.reserve(cookies_.size());
    for (const auto& entry : cookies_)
        list.push_back(entry.second);
    return list;
}

void cookie_manager::clear_cookies() {
    std::lock_guard<std::mutex> hold(lock_);
    cookies_.clear();
}

}  // namespace kiv
