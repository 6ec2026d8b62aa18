// cookie_manager.h --
//
//     The cookie store that the server's request and the HTTP client
//     derive from: one entry per cookie name (ASCII case ignored, kept
//     in case-insensitive name order), each with its value and lifetime.
//     The store keeps its own copies of every text, so an entry never
//     points into a buffer that went away. Every operation takes the
//     store's own lock.

#ifndef KIV_HTTP_SRC_COOKIE_MANAGER_H
#define KIV_HTTP_SRC_COOKIE_MANAGER_H

#include <kiv/core/ascii_case.h>
#include <kiv/http/i_http_cookie_manager.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace kiv {

// The lifetime of a cookie that came in with a request: it is not sent
// back with the answer.
constexpr uint32_t cookie_from_request = 0xFFFFFFFFu;

class cookie_manager : public virtual i_http_cookie_manager {
public:
    // One cookie as the answer writer and the client read them.
    struct cookie {
        std::string name;
        std::string value;
        uint32_t lifetime;  // 0: no expiry; cookie_from_request: not sent back
    };

    cookie_manager() = default;
    cookie_manager(const cookie_manager&) = delete;
    cookie_manager& operator=(const cookie_manager&) = delete;
    virtual ~cookie_manager() = default;

    const char* get_cookie(const char* name) override;
    void set_cookie(const char* name, const char* value, unsigned lifetime) override;
    i_object_col* get_cookies() override;

    // Returns: a copy of every cookie in case-insensitive name order.
    std::vector<cookie> get_cookie_list();
    // Removes every cookie.
    void clear_cookies();

private:
    // Keyed by the name as first stored; `cookie::name` holds the letter
    // case last set.
    std::map<std::string, cookie, ascii_iless> cookies_;
    std::mutex lock_;  // guards cookies_
};

}  // namespace kiv

#endif
