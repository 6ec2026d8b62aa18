// i_http_cookie_manager.h --
//
//     The cookies of one HTTP exchange as pages, scripts and the HTTP
//     client see them. Names compare without regard to ASCII letter case.

#ifndef KIV_HTTP_I_HTTP_COOKIE_MANAGER_H
#define KIV_HTTP_I_HTTP_COOKIE_MANAGER_H

#include <kiv/core/i_object_col.h>

namespace kiv {

class i_http_cookie_manager : public virtual i_object {
public:
    // Returns: the value of the cookie `name` (any letter case), borrowed
    //     and valid until that cookie is set again or the store is
    //     cleared; "" when there is none; null for a null name.
    virtual const char* get_cookie(const char* name) = 0;
    // Stores a cookie, replacing one of the same name in any letter case
    // (the entry then carries this name's letter case). `lifetime`:
    // seconds from the moment the answer is written to the cookie's
    // expiry; 0 for a cookie without expiry. Nothing for a null name or
    // value.
    virtual void set_cookie(const char* name, const char* value, unsigned lifetime) = 0;
    // Returns: a new collection of named strings (name, value), one per
    //     cookie in case-insensitive name order; one reference for the
    //     caller. Never null.
    virtual i_object_col* get_cookies() = 0;

protected:
    ~i_http_cookie_manager() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_http_cookie_manager* kiv_cast_i_http_cookie_manager(kiv::i_object* obj);

#endif
