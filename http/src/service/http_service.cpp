// http_service.cpp --
//
//     The service "svc_http" (see http_service.h): its virtual servers,
//     their bindings to listening sockets with the connection handler
//     installed per bound port, the media-type table and the proxy
//     setting. The connection handler and the service thread are in
//     http_service_connections.cpp.

#include "service/http_service.h"

#include "client/http_client.h"
#include "client/proxy_config.h"
#include "pack/http_pack_service.h"
#include "request/http_files.h"
#include "request/http_request.h"
#include "service/http_server.h"

#include <kiv/core/auto_string.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_socket_service.h>
#include <kiv/core/service_ref.h>
#include <kiv/core/log.h>
#include <kiv/core/string_impl.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>

#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace kiv {

namespace {

const char conn_opened_event[] = "KIV_EVT_TCP_CONN_OPENED";
const unsigned listen_backlog = 4096;
const unsigned thread_stop_seconds = 30;
// How long shut-down waits for the requests still on workers.
const unsigned worker_wait_seconds = 10;
// Connections held at most, whatever the descriptor limit: every pass of
// the service thread polls each of them.
const uint64_t held_max = 65536;
// Descriptors kept for everything else (listening sockets, logs, files
// being sent, the script engines' files).
const uint64_t spare_descriptors = 64;

// Raises the soft descriptor limit of the process to its hard limit.
// Returns: the soft limit now in force.
uint64_t raise_descriptor_limit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur != limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? held_max * 2 : static_cast<uint64_t>(limit.rlim_cur);
}

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

}  // namespace

http_service::http_service() {
    i_named_object_impl::set_name("http_service");
    for (const auto& row : default_mime_types)
        mime_types_[row[0]] = row[1];
    proxy_config proxy = read_proxy_config();
    if (!proxy.host.empty())
        set_proxy_server(proxy.host.c_str(), proxy.port, proxy.bypass.c_str());
    events_.reset(find_service("svc_event"));
    // A connection costs one descriptor, two while a file is sent: three
    // quarters of the limit go to connections, the rest to their files and
    // everything else; past the cap the service thread makes room, and
    // halfway into the rest new connections wait for it, when it falls
    // behind a burst.
    uint64_t files = raise_descriptor_limit();
    uint64_t cap = files - files / 4;
    cap = cap > 2 * spare_descriptors ? cap - spare_descriptors : spare_descriptors;
    connection_cap_ = static_cast<size_t>(std::min(cap, held_max));
    refuse_at_ = static_cast<size_t>(std::min(connection_cap_ + (files - std::min(files, connection_cap_)) / 2,
                                              held_max + held_max / 8));
    wakeup_ = std::make_shared<http_wakeup>();
    if (wakeup_->fd() < 0)
        kiv_log(0, "http_service: no wake-up descriptor: %s", std::strerror(errno));
    if (!create_thread(this, static_cast<thread_function>(&http_service::service_thread), nullptr))
        kiv_log(0, "http_service: the service thread could not start");
}

http_service::~http_service() {
    kiv_trace("http_service::~http_service()");
    http_pack_clear_registry();
    {
        std::lock_guard<std::mutex> hold(pending_lock_);
        stopping_.store(true);
    }
    passed_.notify_all();
    wake();
    stop_threads(thread_stop_seconds);
    // The bindings leave the table under its lock; their handlers are
    // removed after it is let go, since removing one waits for its
    // running calls, and those may look up a server under that lock.
    std::vector<binding> bindings;
    {
        std::lock_guard<std::mutex> changing(rebind_lock_);
        {
            std::lock_guard<std::mutex> hold(bindings_lock_);
            bindings.swap(bindings_);
        }
        for (const binding& b : bindings)
            close_binding(b);
    }
    for (binding& b : bindings)
        for (i_http_server* svr : b.servers)
            svr->release();
    // The connection handlers are gone now: no request can join any more.
    // Requests no worker took are closed here; those on a worker keep
    // their own reference and end there.
    std::vector<http_request*> requests;
    {
        std::lock_guard<std::mutex> hold(pending_lock_);
        requests.swap(pending_);
    }
    requests.insert(requests.end(), live_.begin(), live_.end());
    live_.clear();
    for (http_request* request : requests)
        if (!request->held_by_worker())
            request->close_connection(nullptr);
    // Those on a worker end there, each with its access-log line. The
    // process may end right after the service, taking the workers with
    // it, while their answers are out already: they are waited for (a
    // page that never ends, for a bounded time).
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(worker_wait_seconds);
    for (http_request* request : requests)
        while (request->held_by_worker() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
    // What came off a worker meanwhile (an answer the socket did not
    // take whole) has no service thread left to send it.
    for (http_request* request : requests) {
        if (!request->held_by_worker())
            request->close_connection(nullptr);
        request->release();
    }
    servers_.clear();
    events_.reset();
    // The access logs close with the last server and request that hold
    // them; the error log is let go here.
    http_release_error_log();
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
    std::lock_guard<std::mutex> changing(rebind_lock_);
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
    auto_ptr_t<i_socket_service> sockets = service_ref("svc_socket", kiv_cast_i_socket_service);
    if (!sockets || !sockets->open_tcp_socket(address.c_str(), port, listen_backlog))
        return false;
    // A client speaks first: the kernel hands a connection over once its
    // request begins to arrive, so the worker that takes it nearly always
    // finds the request there. One that sends nothing comes a second
    // later and is timed as any other.
    int listening = sockets->get_port_socket(static_cast<unsigned short>(port));
    int defer_seconds = 1;
    if (listening >= 0)
        setsockopt(listening, IPPROTO_TCP, TCP_DEFER_ACCEPT, &defer_seconds, sizeof defer_seconds);
    if (!events_) {
        events_.reset(find_service("svc_event"));
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
    // A binding that loses its last server leaves the table under the
    // binding lock; its socket is closed and its handler removed after
    // that lock is let go: removing the handler waits for its running
    // calls, which look up their server under the binding lock. The
    // change lock keeps a bind of the same port from coming between.
    std::lock_guard<std::mutex> changing(rebind_lock_);
    std::vector<binding> emptied;
    {
        std::lock_guard<std::mutex> hold(bindings_lock_);
        auto b = bindings_.begin();
        while (b != bindings_.end() && (b->port != port || b->address != address))
            ++b;
        if (b == bindings_.end())
            return false;
        auto found = std::find(b->servers.begin(), b->servers.end(), svr);
        if (found == b->servers.end())
            return false;
        b->servers.erase(found);
        if (b->servers.empty()) {
            emptied.push_back(std::move(*b));
            bindings_.erase(b);
        }
    }
    for (const binding& b : emptied)
        close_binding(b);
    svr->release();
    return true;
}

void http_service::close_binding(const binding& b) {
    if (auto_ptr_t<i_socket_service> sockets = service_ref("svc_socket", kiv_cast_i_socket_service))
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

i_http_client* http_service::create_client() {
    http_client* client = new http_client;
    client->addref();  // the caller's
    return client;
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

}  // namespace kiv
