// http_server.h --
//
//     One virtual web site (see i_http_server.h): settings under one
//     lock, the URL mapping under another, and the sessions under a
//     third. Live sessions are capped: a new one past the cap first ends
//     the longest idle ones, with a line in the error log. None of the three locks is held while another is taken, nor
//     while an event is fired or an object released.

#ifndef KIV_HTTP_SRC_HTTP_SERVER_H
#define KIV_HTTP_SRC_HTTP_SERVER_H

#include <kiv/core/property_manager.h>
#include <kiv/core/string_impl.h>
#include <kiv/http/i_http_server.h>

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kiv {

class http_log;
class http_session;

class http_server : public object,
                    public i_property_manager_impl,
                    public i_named_object_impl,
                    public i_typed_object_impl,
                    public virtual i_http_server {
public:
    // Made by the service only, with an absolute path of an existing
    // folder. Takes a new process-wide id.
    http_server(const char* name, const char* doc_root);
    // Releases every session without any event.
    ~http_server() override;

    // Answers "i_http_server", "i_property_manager", "i_typed_object"
    // and "i_named_object".
    bool get_interface(const char* name, void** out) override;
    // Refused: a server keeps its name. Returns: false.
    bool set_name(const char* name) override;

    void map_url(const char* src_url, const char* target_path) override;
    char* get_url_mapping(const char* src_url) override;
    char* get_doc_root() override;
    char* get_error_page() override;
    void set_error_page(const char* val) override;
    char* get_default_page() override;
    void set_default_page(const char* val) override;
    i_http_session* find_session(const char* sid, bool create_if_not_found, const char* host) override;
    i_object_col* get_sessions() override;
    // Makes `file_path` absolute and opens it as the access log (shared
    // with other servers of the same path); "" turns the log off.
    void set_log_file(const char* file_path) override;
    char* get_log_file() override;
    void bg_task() override;

    // Returns: the open access log, null when the server has none. Safe
    //     from any thread; the log stays usable while the caller holds it.
    std::shared_ptr<http_log> access_log();

private:
    // Returns: a malloc-ed copy of `text` under the settings lock.
    char* copy_setting(const std::string& text);

    std::mutex settings_lock_;     // guards the four texts below and the access log
    std::string doc_root_;         // absolute folder of the site's files
    std::string error_page_;       // "" or begins with "/"
    std::string default_page_;     // never begins with "/"
    std::string log_file_;         // absolute access-log path, "" for none
    std::shared_ptr<http_log> access_log_;  // the log of log_file_, null for none

    std::mutex url_lock_;                                    // guards the two maps below
    std::map<std::string, std::string, std::less<>> urls_;   // source prefix -> target
    std::map<size_t, unsigned> source_lengths_;              // length -> number of sources of it

    // Takes sessions out of the map, under the session lock, to make
    // room: those no request came back to, the idle longest first, then
    // (only when too few) the idle longest of the others.
    // Returns: them, with the map's reference each,
    //     for the caller to announce and release without the lock.
    std::vector<http_session*> end_idle_sessions();

    std::mutex session_lock_;                      // guards sessions_
    std::map<std::string, http_session*> sessions_; // id -> session, one reference each
    const size_t session_cap_;                     // live sessions kept at most; never 0
};

}  // namespace kiv

#endif
