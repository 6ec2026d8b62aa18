// i_http_service.h --
//
//     The HTTP service "svc_http": the embedded web server's virtual
//     servers, their bindings to listening addresses and ports, the media
//     types of file extensions and the proxy settings of the HTTP client.
//     Other libraries and scripts reach it by name:
//
//         auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_http"));
//         kiv::i_http_service* http = kiv_cast_i_http_service(svc);
//         auto_ptr_t<kiv::i_http_server> site(http->create_server("maps", "www"));
//         http->bind_server(site, "127.0.0.1", 8080);
//
//     Named properties and objects (i_property_manager) are free for
//     pages and scripts. Every operation is safe from any thread; text
//     getters hand out malloc-ed copies the caller frees.

#ifndef KIV_HTTP_I_HTTP_SERVICE_H
#define KIV_HTTP_I_HTTP_SERVICE_H

#include <kiv/core/i_object_col.h>
#include <kiv/core/i_property_manager.h>
#include <kiv/http/i_http_client.h>
#include <kiv/http/i_http_server.h>

namespace kiv {

class i_http_service : public virtual i_property_manager {
public:
    // Makes a server whose document root is `root_path` (made absolute
    // under KIV_ROOT_PATH; it must be an existing folder).
    // Returns: the server with one reference for the caller; null for a
    //     null name, a null or empty root, a root that is no folder, or
    //     a name already in use.
    virtual i_http_server* create_server(const char* server_name, const char* root_path) = 0;
    // Removes a server from every binding and from the service. Bindings
    // left without servers keep their sockets open. Null: nothing.
    virtual void delete_server(i_http_server* svr) = 0;
    // Returns: a new collection of every server, one reference for the
    //     caller.
    virtual i_object_col* get_servers() = 0;
    // Serves `svr` on (bind_addr, port); "" or "*" is every local
    // address. The first server of an address and port opens its
    // listening socket through "svc_socket".
    // Returns: false for a null server or address, port 0 or above
    //     65535, a server already bound there, or a socket that cannot
    //     be opened.
    virtual bool bind_server(i_http_server* svr, const char* bind_addr, unsigned int port) = 0;
    // Stops serving `svr` on (bind_addr, port); the last server of a
    // binding closes its listening socket.
    // Returns: false when the server is not bound there.
    virtual bool unbind_server(i_http_server* svr, const char* bind_addr, unsigned int port) = 0;
    // Chooses the server for a request to `name` on (bind_addr, port):
    // the only server of the binding whatever the name; else the first
    // whose name is `name`, or `name` without a leading "www."; else the
    // binding's first server.
    // Returns: the server with one reference for the caller, or null for
    //     a null argument, an unknown binding or one without servers.
    virtual i_http_server* find_server(const char* name, const char* bind_addr, unsigned int port) = 0;
    // Returns: a malloc-ed copy of the media type of the extension `ext`
    //     (with its dot, letter case significant), "application/binary"
    //     for an unknown one; null for null.
    virtual char* get_mime_type(const char* ext) = 0;
    // Sets the media type of an extension; both must be non-empty.
    virtual void set_mime_type(const char* ext, const char* val) = 0;
    // Returns: a new HTTP client with one reference for the caller.
    virtual i_http_client* create_client() = 0;
    // Returns: a malloc-ed copy of the proxy host ("" when none).
    virtual char* get_proxy_host() = 0;
    // Returns: the proxy port (0 when no proxy).
    virtual unsigned short get_proxy_port() = 0;
    // Returns: a malloc-ed copy of the blank-separated host patterns that
    //     bypass the proxy ("" when none).
    virtual char* get_proxy_bypass() = 0;
    // Sets the proxy: null or "" clears the host and the port; a null
    // `bypass` keeps the current one. Returns: true.
    virtual bool set_proxy_server(const char* host, unsigned short port, const char* bypass) = 0;
    // Told by a request that it closes its connection; nothing is kept.
    virtual void update_socket(int sockfd, bool final) = 0;

protected:
    ~i_http_service() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_http_service* kiv_cast_i_http_service(kiv::i_object* obj);

#endif
