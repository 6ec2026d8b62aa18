// http_pack_service.h --
//
//     The packer services "svc_http_js_packer" and "svc_http_css_packer"
//     (see http_pack.h): each answers page requests for "/pack.<ext>"
//     before the request serves a file, from the pack configurations of
//     the request's server and a cache under the framework's temp folder.

#ifndef KIV_HTTP_SRC_HTTP_PACK_SERVICE_H
#define KIV_HTTP_SRC_HTTP_PACK_SERVICE_H

#include <kiv/core/i_event.h>
#include <kiv/core/object.h>

#include <string>

namespace kiv {

class http_pack_service : public object {
public:
    // Installs the page-request handler when the cache folder can be
    // made; without it the packer never answers.
    http_pack_service(const char* mime_type, const char* extension);
    // Uninstalls the handler.
    ~http_pack_service() override;

    // The page-request handler (a pool worker, during processing).
    // Returns: false when the request was answered, or refused by a bad
    //     parameter (later handlers are then not called); true otherwise.
    bool on_page(i_event* evt);

private:
    std::string mime_type_;  // "text/javascript" or "text/css"
    std::string extension_;  // "js" or "css"
    bool installed_ = false; // the handler is installed
};

// Releases every pack configuration kept so far (the HTTP service's
// destructor calls it).
void http_pack_clear_registry();

}  // namespace kiv

#endif
