// http_client.h --
//
//     The HTTP/1.1 client (see i_http_client.h): one request per open,
//     directly or through the service's proxy, with its own cookies.

#ifndef KIV_HTTP_SRC_HTTP_CLIENT_H
#define KIV_HTTP_SRC_HTTP_CLIENT_H

#include "parse/cookie_manager.h"
#include "parse/http_header_map.h"

#include <kiv/core/object.h>
#include <kiv/core/property_manager.h>
#include <kiv/http/i_http_client.h>

#include <string>

namespace kiv {

class http_client : public object,
                    public i_property_manager_impl,
                    public cookie_manager,
                    public virtual i_http_client {
public:
    // Sets Accept, Connection: Close and the User-Agent.
    http_client();

    bool get_interface(const char* name, void** out) override;
    bool set_request_method(const char* method) override;
    void set_header(const char* name, const char* value) override;
    i_http_stream* open(const char* resource, const char* host, unsigned short port, const void* body,
                        unsigned body_size) override;
    void set_use_proxy(bool use) override { use_proxy_ = use; }
    bool get_use_proxy() override { return use_proxy_; }
    void set_timeout(unsigned val) override { timeout_ = val; }
    unsigned get_timeout() override { return timeout_; }
    int get_error_code() override { return error_code_; }
    int get_status() override { return status_; }
    const char* get_reply_header(const char* name) override { return reply_headers_.find(name); }

private:
    // Reads the reply head from `socket` into `head` and the bytes that
    // followed it into `body`. Returns: false on a close, an error, the
    // time-out or a head beyond http_client_head_limit.
    bool read_head(int socket, std::string& head, std::string& body);

    std::string method_ = "GET";
    http_header_map headers_;
    int error_code_ = 0;
    bool use_proxy_ = true;
    unsigned timeout_ = 30;
    int status_ = 0;                // status of the last reply head; 0: none arrived
    http_header_map reply_headers_; // headers of that head; empty when none
};

}  // namespace kiv

#endif
