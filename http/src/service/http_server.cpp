// http_server.cpp --
//
//     Virtual servers: settings, URL mapping and sessions.
//
//     URL mapping looks each prefix of the URL up exactly, shortest
//     first, so the shortest mapped source that is a plain prefix of the
//     URL wins however the other sources sort between them. Only the
//     lengths that some source has are tried, so a long URL costs one
//     look-up per distinct source length.

#include "service/http_server.h"

#include "service/http_session.h"
#include "request/http_files.h"
#include "request/http_log.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/log.h>
#include <kiv/core/object_col.h>
#include <kiv/core/next_id.h>

#include <sys/random.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace kiv {

namespace {

const char session_started_event[] = "KIV_EVT_HTTP_SESSION_STARTED";
const char session_expired_event[] = "KIV_EVT_HTTP_SESSION_EXPIRED";

// Live sessions a server keeps at most (KIV_HTTP_MAX_SESSIONS may set
// another number): each costs memory for its idle hour, and a client
// without a cookie makes a new one with every request to a page that
// wants one.
const size_t default_session_cap = 20000;

// Returns: the cap on live sessions for a server made now.
size_t session_cap_from_env() {
    std::string value = kiv_get_env("KIV_HTTP_MAX_SESSIONS");
    char* end = nullptr;
    unsigned long long asked = value.empty() ? 0 : std::strtoull(value.c_str(), &end, 10);
    if (asked == 0 || end == nullptr || *end != '\0' || asked > 100000000ull)
        return default_session_cap;
    return static_cast<size_t>(asked);
}

// A new session id: 128 bits of the system's random source as 32
// lower-case hexadecimal digits. Returns: "" when the source fails.
std::string random_session_id() {
    unsigned char bytes[16];
    size_t got = 0;
    while (got < sizeof bytes) {
        ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            kiv_log(0, "http_server: no random session id: %s", std::strerror(errno));
            return "";
        }
        got += static_cast<size_t>(n);
    }
    static const char digits[] = "0123456789abcdef";
    std::string id;
    for (unsigned char b : bytes) {
        id += digits[b >> 4];
        id += digits[b & 15];
    }
    return id;
}

}  // namespace

http_server::http_server(const char* name, const char* doc_root)
    : doc_root_(doc_root != nullptr ? doc_root : ""), default_page_("index.html"), session_cap_(session_cap_from_env()) {
    id_ = kiv_get_next_id();
    i_named_object_impl::set_name(name);
    kiv_trace("http_server::http_server('%s', %d)", get_name(), static_cast<int>(id_));
}

http_server::~http_server() {
    kiv_trace("http_server::~http_server('%s', %d)", get_name(), static_cast<int>(id_));
    std::map<std::string, http_session*> sessions;
    {
        std::lock_guard<std::mutex> hold(session_lock_);
        sessions.swap(sessions_);
    }
    for (auto& entry : sessions)
        entry.second->release();
}

bool http_server::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_http_server", static_cast<i_http_server*>(this), out) ||
        answer_interface(name, "i_property_manager", static_cast<i_property_manager*>(this), out) ||
        answer_interface(name, "i_typed_object", static_cast<i_typed_object*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool http_server::set_name(const char*) {
    return false;
}

void http_server::map_url(const char* src_url, const char* target_path) {
    if (src_url == nullptr || src_url[0] != '/' || target_path == nullptr || target_path[0] == '\0')
        return;
    std::lock_guard<std::mutex> hold(url_lock_);
    if (urls_.emplace(src_url, target_path).second)
        ++source_lengths_[std::strlen(src_url)];
}

char* http_server::get_url_mapping(const char* src_url) {
    if (src_url == nullptr)
        return nullptr;
    std::string_view url(src_url);
    std::string mapped;
    {
        std::lock_guard<std::mutex> hold(url_lock_);
        for (const auto& length : source_lengths_) {
            if (length.first > url.size())
                break;
            auto found = urls_.find(url.substr(0, length.first));
            if (found != urls_.end()) {
                mapped = found->second;
                mapped.append(url.substr(length.first));
                return strdup(mapped.c_str());
            }
        }
    }
    return nullptr;
}

char* http_server::copy_setting(const std::string& text) {
    std::lock_guard<std::mutex> hold(settings_lock_);
    return strdup(text.c_str());
}

char* http_server::get_doc_root() {
    return copy_setting(doc_root_);
}

char* http_server::get_error_page() {
    return copy_setting(error_page_);
}

void http_server::set_error_page(const char* val) {
    if (val == nullptr)
        return;
    std::string page = val[0] == '/' ? std::string(val) : "/" + std::string(val);
    std::lock_guard<std::mutex> hold(settings_lock_);
    error_page_ = page;
}

char* http_server::get_default_page() {
    return copy_setting(default_page_);
}

void http_server::set_default_page(const char* val) {
    if (val == nullptr)
        return;
    std::lock_guard<std::mutex> hold(settings_lock_);
    default_page_ = val[0] == '/' ? val + 1 : val;
}

void http_server::set_log_file(const char* file_path) {
    auto_string absolute(kiv_get_absolute_path(file_path));
    if (!absolute.is_ok())
        return;
    std::string path = static_cast<const char*>(absolute);
    // Opened before the lock is taken; the log let go closes after it,
    // once the lines being written to it are out.
    std::shared_ptr<http_log> log = http_log_at(path);
    std::lock_guard<std::mutex> hold(settings_lock_);
    log_file_ = path;
    access_log_.swap(log);
}

std::shared_ptr<http_log> http_server::access_log() {
    std::lock_guard<std::mutex> hold(settings_lock_);
    return access_log_;
}

char* http_server::get_log_file() {
    return copy_setting(log_file_);
}

i_http_session* http_server::find_session(const char* sid, bool create_if_not_found, const char* host) {
    if (sid == nullptr)
        return nullptr;
    http_session* session = nullptr;
    std::vector<http_session*> ended;
    {
        std::lock_guard<std::mutex> hold(session_lock_);
        auto found = sessions_.find(sid);
        if (found != sessions_.end()) {
            found->second->mark_returned();
            found->second->addref();
            return found->second;
        }
        if (!create_if_not_found)
            return nullptr;
        if (sessions_.size() >= session_cap_)
            ended = end_idle_sessions();
        std::string id = sid;
        while (id.empty() || sessions_.count(id) != 0) {
            id = random_session_id();
            if (id.empty())
                return nullptr;
        }
        session = new http_session(id.c_str(), host);
        session->addref();  // the map's
        sessions_.emplace(id, session);
        session->addref();  // the caller's
    }
    if (!ended.empty()) {
        size_t unused = static_cast<size_t>(
            std::count_if(ended.begin(), ended.end(), [](http_session* gone) { return !gone->returned(); }));
        std::string message = "http_server '" + std::string(get_name()) + "': " + std::to_string(session_cap_) +
                              " live sessions, the cap; the " + std::to_string(ended.size()) +
                              " idle longest were ended (" + std::to_string(unused) +
                              " of them never used again after the request that made them)";
        http_write_error_log("", message.c_str());
        kiv_log(1, "%s", message.c_str());
    }
    for (http_session* gone : ended) {
        kiv_generate_event(session_expired_event, id_, static_cast<i_http_session*>(gone), false);
        gone->release();
    }
    kiv_generate_event(session_started_event, id_, static_cast<i_http_session*>(session), false);
    return session;
}

std::vector<http_session*> http_server::end_idle_sessions() {
    // A sixteenth of the cap at once (at least one), so that a flood of
    // new sessions costs one pass over the map per many sessions.
    size_t count = std::max<size_t>(1, session_cap_ / 16);
    count = std::min(count, sessions_.size());
    // Sessions no request came back to go first: a flood of clients
    // without cookies makes only such sessions, and must not end those
    // of clients that use theirs. Within each kind the idle longest go.
    typedef std::pair<uint32_t, http_session*> by_time;
    std::vector<by_time> once, returned;
    once.reserve(sessions_.size());
    for (const auto& entry : sessions_)
        (entry.second->returned() ? returned : once).emplace_back(entry.second->get_access_time(), entry.second);
    auto idle_longest = [](std::vector<by_time>& sessions, size_t n) {
        n = std::min(n, sessions.size());
        if (n > 0)
            std::nth_element(sessions.begin(), sessions.begin() + static_cast<ptrdiff_t>(n - 1), sessions.end(),
                             [](const by_time& a, const by_time& b) { return a.first < b.first; });
        sessions.resize(n);
    };
    idle_longest(once, count);
    idle_longest(returned, count - once.size());
    std::vector<http_session*> ended;
    ended.reserve(count);
    for (const std::vector<by_time>* kind : {&once, &returned})
        for (const by_time& entry : *kind) {
            sessions_.erase(entry.second->get_name());
            ended.push_back(entry.second);
        }
    return ended;
}

i_object_col* http_server::get_sessions() {
    object_col* col = new object_col;
    col->addref();
    std::lock_guard<std::mutex> hold(session_lock_);
    col->reserve(static_cast<unsigned>(sessions_.size()));
    for (const auto& entry : sessions_)
        col->add_item(static_cast<i_http_session*>(entry.second), false);
    return col;
}

void http_server::bg_task() {
    uint32_t now = kiv_get_curr_time();
    std::vector<http_session*> expired;
    {
        std::lock_guard<std::mutex> hold(session_lock_);
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            if (it->second->expired_at(now)) {
                expired.push_back(it->second);
                it = sessions_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (http_session* session : expired) {
        kiv_generate_event(session_expired_event, id_, static_cast<i_http_session*>(session), false);
        session->release();
    }
}

}  // namespace kiv
