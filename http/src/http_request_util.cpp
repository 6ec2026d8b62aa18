// http_request_util.cpp --
//
//     Small helpers shared by the parts of a request (see
//     http_request_util.h).

#include "http_request_util.h"

#include <kiv/core/i_core.h>
#include <kiv/http/http_text.h>

namespace kiv {

std::string http_date(int64_t t) {
    // An answer names the same few seconds again and again (now, a day
    // ahead, the file's time): each thread keeps the last texts it made,
    // which spares the formatter and its process-wide lock.
    struct entry {
        bool used = false;
        int64_t t = 0;
        char text[64] = "";
    };
    thread_local entry cache[4];
    thread_local unsigned next = 0;
    for (const entry& e : cache)
        if (e.used && e.t == t)
            return e.text;
    entry& e = cache[next];
    next = (next + 1) % 4;
    kiv_http_print_time(e.text, sizeof e.text, t);
    e.t = t;
    e.used = true;
    return e.text;
}

int64_t http_now_seconds() {
    return static_cast<int64_t>(kiv_get_curr_time());
}

}  // namespace kiv
