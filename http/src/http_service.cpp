// http_service.cpp --
//
//     The service "svc_http" (see http_service.h).
//
//     Accepted connections arrive as "KIV_EVT_TCP_CONN_OPENED" on the
//     handler installed per bound port. Until requests are served, the
//     handler passes every connection on, and the socket service closes
//     what nobody kept.

#include "http_service.h"

#include "http_server.h"
#include "proxy_config.h"

#include <kiv/core/auto_string.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_socket_service.h>
#include <kiv/core/log.h>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kiv {

namespace {

const char conn_opened_event[] = "KIV_EVT_TCP_CONN_OPENED";
const unsigned listen_backlog = 4096;
const unsigned request_pass_ms = 50;
const uint32_t server_pass_seconds = 5;
const unsigned thread_stop_seconds = 30;

kiv_event_function connection_callback() {
    return static_cast<kiv_event_function>(&http_service::on_connection);
}

const char* const default_mime_types[][2] = {
    {".html", "text/html; charset=utf-8"},
    {".php", "text/html; charset=utf-8"},
    {".htm", "text/html"},
    {".gif", "image/gif"},
    {".bmp", "image/bmp"},
    {".jpg", "image/jpeg"},
    {".jpeg", "image/jpeg"},
    {".png", "image/png"},
    {".css", "text/css"},
    {".js", "text/javascript"},
    {".txt", "text/plain"},
    {".exe", "application/binary"},
    {".zip", "application/zip"},
    {".gz", "application/x-gzip"},
    {".wml", "text/vnd.wap.wml"},
    {".wbmp", "image/vnd.wap.wbmp"},
    {".wmlc", "application/vnd.wap.wmlc"},
    {".wmls", "text/vnd.wap.wmlscript"},
    {".wmlsc", "application/vnd.wap.wmlscriptc"},
    {".kmz", "application/vnd.google-earth.kmz"},
    {".kml", "application/vnd.google-earth.kml+xml"},
    {".pdf", "application/pdf"},
};

const char unknown_mime_type[] = "application/binary";

std::string address_or_any(const char* bind_addr) {
    return (bind_addr == nullptr || *bind_addr == '\0') ? std::string("*") : std::string(bind_addr);
}

// The socket service, looked up for one call. Returns: null when gone.
auto_ptr_t<i_object> socket_service() {
    i_core* core = kiv_core();
    return auto_ptr_t<i_object>(core != nullptr ? core->get_service("svc_socket") : nullptr);
}

}  // namespace

http_service::http_service() {
    i_named_object_impl::set_name("http_service");
    for (const auto& row : default_mime_types)
        mime_types_[row[0]] = row[1];
    proxy_config proxy = read_proxy_config();
    if (!proxy.host.empty())
        set_proxy_server(proxy.host.c_str(), proxy.port, proxy.bypass.c_str());
    i_core* core = kiv_core();
    events_.reset(core != nullptr ? core->get_service("svc_event") : nullptr);
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0)
        kiv_log(0, "http_service: no wake-up descriptor: %s", std::strerror(errno));
    if (!create_thread(this, static_cast<thread_function>(&http_service::service_thread), nullptr))
        kiv_log(0, "http_service: the service thread could not start");
}

http_service::~http_service() {
    kiv_trace("http_service::~http_service()");
    stopping_.store(true);
    wake();
    stop_threads(thread_stop_seconds);
    std::vector<binding> bindings;
    {
        std::lock_guard<std::mutex> hold(bindings_lock_);
        for (const binding& b : bindings_)
            close_binding(b);
        bindings.swap(bindings_);
    }
    for (binding& b : bindings)
        for (i_http_server* svr : b.servers)
            svr->release();
    servers_.clear();
    events_.reset();
    if (wake_fd_ >= 0)
        close(wake_fd_);
}

bool http_service::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_http_service", static_cast<i_http_service*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out) ||
        answer_interface(name, "i_property_manager", static_cast<i_property_manager*>(this), out))
        return true;
    return object::get_interface(name, out);
}

i_http_server* http_service::create_server(const char* server_name, const char* root_path) {
    if (server_name == nullptr || root_path == nullptr || *root_path == '\0')
        return nullptr;
    kiv_trace("http_service::create_server('%s', '%s')", server_name, root_path);
    auto_string root(kiv_get_absolute_path(root_path));
    if (!root.is_ok() || !kiv_dir_exists(root))
        return nullptr;
    mutex_locker hold(&servers_);
    auto_ptr_t<i_object> existing(servers_.get_item_by_name(server_name));
    if (existing)
        return nullptr;
    http_server* svr = new http_server(server_name, root);
    svr->addref();  // the caller's
    servers_.add_item(static_cast<i_http_server*>(svr), false);
    return svr;
}

void http_service::delete_server(i_http_server* svr) {
    if (svr == nullptr)
        return;
    kiv_trace("http_service::delete_server('%s')", svr->get_name());
    std::vector<i_http_server*> released;
    {
        std::lock_guard<std::mutex> hold(bindings_lock_);
        for (binding& b : bindings_) {
            auto found = std::find(b.servers.begin(), b.servers.end(), svr);
            if (found != b.servers.end()) {
                released.push_back(*found);
                b.servers.erase(found);
            }
        }
    }
    for (i_http_server* s : released)
        s->release();
    servers_.remove_item(svr);
}

i_object_col* http_service::get_servers() {
    object_col* copy = servers_.copy();
    return copy;
}

bool http_service::bind_server(i_http_server* svr, const char* bind_addr, unsigned int port) {
    if (svr == nullptr || bind_addr == nullptr || port == 0 || port > 65535)
        return false;
    std::string address = address_or_any(bind_addr);
    kiv_trace("http_service::bind_server('%s', '%s', %d)", svr->get_name(), address.c_str(), static_cast<int>(port));
    std::lock_guard<std::mutex> hold(bindings_lock_);
    for (binding& b : bindings_) {
        if (b.port != port || b.address != address)
            continue;
        if (std::find(b.servers.begin(), b.servers.end(), svr) != b.servers.end())
            return false;
        svr->addref();
        b.servers.push_back(svr);
        return true;
    }
    auto_ptr_t<i_object> sockets_object = socket_service();
    i_socket_service* sockets = kiv_cast_i_socket_service(sockets_object);
    if (sockets == nullptr || !sockets->open_tcp_socket(address.c_str(), port, listen_backlog))
        return false;
    if (!events_) {
        i_core* core = kiv_core();
        events_.reset(core != nullptr ? core->get_service("svc_event") : nullptr);
    }
    if (i_event_proc* proc = kiv_cast_i_event_proc(events_))
        proc->install_handler(proc->get_event_type(conn_opened_event), port, this, connection_callback());
    svr->addref();
    bindings_.push_back(binding{address, static_cast<uint16_t>(port), {svr}});
    return true;
}

bool http_service::unbind_server(i_http_server* svr, const char* bind_addr, unsigned int port) {
    if (svr == nullptr || bind_addr == nullptr || port == 0)
        return false;
    std::string address = address_or_any(bind_addr);
    kiv_trace("http_service::unbind_server('%s', '%s', %d)", svr->get_name(), address.c_str(),
              static_cast<int>(port));
    std::unique_lock<std::mutex> hold(bindings_lock_);
    for (auto b = bindings_.begin(); b != bindings_.end(); ++b) {
        if (b->port != port || b->address != address)
            continue;
        auto found = std::find(b->servers.begin(), b->servers.end(), svr);
        if (found == b->servers.end())
            return false;
        b->servers.erase(found);
        if (b->servers.empty()) {
            close_binding(*b);
            bindings_.erase(b);
        }
        hold.unlock();
        svr->release();
        return true;
    }
    return false;
}

void http_service::close_binding(const binding& b) {
    auto_ptr_t<i_object> sockets_object = socket_service();
    if (i_socket_service* sockets = kiv_cast_i_socket_service(sockets_object))
        sockets->close_tcp_socket(b.address.c_str(), b.port);
    if (i_event_proc* proc = kiv_cast_i_event_proc(events_))
        proc->uninstall_handler(proc->get_event_type(conn_opened_event), b.port, this, connection_callback());
}

i_http_server* http_service::find_server(const char* name, const char* bind_addr, unsigned int port) {
    if (name == nullptr || bind_addr == nullptr)
        return nullptr;
    std::string address = address_or_any(bind_addr);
    std::lock_guard<std::mutex> hold(bindings_lock_);
    for (const binding& b : bindings_) {
        if (b.port != port || b.address != address)
            continue;
        if (b.servers.empty())
            return nullptr;
        i_http_server* chosen = b.servers.front();
        if (b.servers.size() > 1) {
            const char* bare = std::strncmp(name, "www.", 4) == 0 ? name + 4 : nullptr;
            for (i_http_server* svr : b.servers) {
                const char* svr_name = svr->get_name();
                if (std::strcmp(svr_name, name) == 0 || (bare != nullptr && std::strcmp(svr_name, bare) == 0)) {
                    chosen = svr;
                    break;
                }
            }
        }
        chosen->addref();
        return chosen;
    }
    return nullptr;
}

char* http_service::get_mime_type(const char* ext) {
    if (ext == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> hold(mime_lock_);
    auto found = mime_types_.find(ext);
    return strdup(found != mime_types_.end() ? found->second.c_str() : unknown_mime_type);
}

void http_service::set_mime_type(const char* ext, const char* val) {
    if (ext == nullptr || *ext == '\0' || val == nullptr || *val == '\0')
        return;
    std::lock_guard<std::mutex> hold(mime_lock_);
    mime_types_[ext] = val;
}

char* http_service::get_proxy_host() {
    std::lock_guard<std::mutex> hold(proxy_lock_);
    return strdup(proxy_host_.c_str());
}

unsigned short http_service::get_proxy_port() {
    std::lock_guard<std::mutex> hold(proxy_lock_);
    return proxy_port_;
}

char* http_service::get_proxy_bypass() {
    std::lock_guard<std::mutex> hold(proxy_lock_);
    return strdup(proxy_bypass_.c_str());
}

bool http_service::set_proxy_server(const char* host, unsigned short port, const char* bypass) {
    std::lock_guard<std::mutex> hold(proxy_lock_);
    proxy_host_ = host != nullptr ? host : "";
    proxy_port_ = proxy_host_.empty() ? 0 : port;
    if (bypass != nullptr)
        proxy_bypass_ = bypass;
    return true;
}

void http_service::update_socket(int, bool) {}

bool http_service::on_connection(i_event*) {
    // No request engine takes connections yet: pass it on, so the
    // socket service closes it.
    return true;
}

void http_service::wake() {
    if (wake_fd_ < 0)
        return;
    uint64_t one = 1;
    ssize_t written = write(wake_fd_, &one, sizeof one);
    (void)written;  // a full counter already wakes the thread
}

void http_service::service_thread(void*) {
    uint32_t last_server_pass = kiv_get_curr_time();
    while (thread_running() && kiv_is_running() && !stopping_.load()) {
        uint32_t now = kiv_get_curr_time();
        if (now < last_server_pass)
            last_server_pass = now;  // the wall clock went back
        if (uint64_t(last_server_pass) + server_pass_seconds <= now) {
            last_server_pass = now;
            auto_ptr_t<object_col> servers(servers_.copy());
            for (unsigned i = 0; i < servers->get_count(); ++i) {
                auto_ptr_t<i_object> item(servers->get_item_by_pos(i));
                if (i_http_server* svr = kiv_cast_i_http_server(item))
                    svr->bg_task();
            }
            continue;
        }
        if (wake_fd_ < 0) {
            pause_thread(request_pass_ms);
            continue;
        }
        struct pollfd wake_poll = {wake_fd_, POLLIN, 0};
        if (poll(&wake_poll, 1, static_cast<int>(request_pass_ms)) > 0) {
            uint64_t count = 0;
            ssize_t got = read(wake_fd_, &count, sizeof count);
            (void)got;  // only the wake-up matters
        }
    }
}

}  // namespace kiv
