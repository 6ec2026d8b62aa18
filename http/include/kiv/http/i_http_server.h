// i_http_server.h --
//
//     One virtual web site of the HTTP service: its name (matched
//     against a request's host name), document root, default and error
//     pages, URL mapping, access-log path and sessions. Servers are made
//     by i_http_service::create_server and keep the name they were made
//     with (set_name is refused). Its id (i_typed_object) is unique in
//     the process and is the event id of its session events.
//
//     Every operation is safe from any thread. Text getters hand out
//     malloc-ed copies the caller frees, since pages on other threads
//     may change the settings at any time.

#ifndef KIV_HTTP_I_HTTP_SERVER_H
#define KIV_HTTP_I_HTTP_SERVER_H

#include <kiv/core/i_object_col.h>
#include <kiv/core/i_property_manager.h>
#include <kiv/core/i_string.h>
#include <kiv/http/i_http_session.h>

namespace kiv {

class i_http_server : public virtual i_named_object,
                      public virtual i_typed_object,
                      public virtual i_property_manager {
public:
    // Maps the URL prefix `src_url` (must begin with "/") to
    // `target_path` (not empty). A prefix already mapped keeps its first
    // target. Anything else is ignored.
    virtual void map_url(const char* src_url, const char* target_path) = 0;
    // Applies the mapping with the shortest source that is a plain
    // prefix of `src_url` ("/img" also maps "/imgx"): its target
    // followed by the rest of the URL.
    // Returns: a malloc-ed text the caller frees, or null for a null URL
    //     or when no mapping applies.
    virtual char* get_url_mapping(const char* src_url) = 0;
    // Returns: a malloc-ed copy of the absolute document root.
    virtual char* get_doc_root() = 0;
    // Returns: a malloc-ed copy of the error page ("" when none; else it
    //     begins with "/").
    virtual char* get_error_page() = 0;
    // Sets the error page; "/" is put in front when missing. Null: nothing.
    virtual void set_error_page(const char* val) = 0;
    // Returns: a malloc-ed copy of the default page ("index.html" at
    //     first; never begins with "/").
    virtual char* get_default_page() = 0;
    // Sets the default page; a leading "/" is dropped. Null: nothing.
    virtual void set_default_page(const char* val) = 0;
    // Looks a session up by id (exact bytes). With `create_if_not_found`
    // an unknown id makes a new session under that id (an empty
    // id gets a new random id of 32 lower-case hexadecimal digits) and
    // queues "KIV_EVT_HTTP_SESSION_STARTED". Finding does not touch.
    // A server at its cap of live sessions (20,000, or
    // KIV_HTTP_MAX_SESSIONS when the server was made) first ends the
    // longest idle sixteenth of them, each with
    // "KIV_EVT_HTTP_SESSION_EXPIRED", and says so in the error log.
    // Returns: the session with one reference for the caller, or null
    //     for a null id, an unknown one without `create_if_not_found`,
    //     or when no random id could be made.
    virtual i_http_session* find_session(const char* sid, bool create_if_not_found, const char* host) = 0;
    // Returns: a new collection of every session in id order, one
    //     reference for the caller.
    virtual i_object_col* get_sessions() = 0;
    // Sets the access-log path, made absolute under KIV_ROOT_PATH; a
    // path that cannot be made absolute keeps the previous one.
    virtual void set_log_file(const char* file_path) = 0;
    // Returns: a malloc-ed copy of the access-log path ("" when none).
    virtual char* get_log_file() = 0;
    // The session sweep: removes every session whose last touch plus
    // its interval lies before the core clock, queuing
    // "KIV_EVT_HTTP_SESSION_EXPIRED" for each. The service thread runs
    // it every 5 s or more.
    virtual void bg_task() = 0;

protected:
    ~i_http_server() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_http_server* kiv_cast_i_http_server(kiv::i_object* obj);

#endif
