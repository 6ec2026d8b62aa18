// http_session.h --
//
//     The session object: an id that never changes, its times on the
//     core clock, the host of the last request that used it, and the
//     properties pages hang on it. Times are atomic and the host has its
//     own lock, because one browser's parallel requests touch one
//     session from several pool workers at once.

#ifndef KIV_HTTP_SRC_HTTP_SESSION_H
#define KIV_HTTP_SRC_HTTP_SESSION_H

#include <kiv/core/property_manager.h>
#include <kiv/core/string_impl.h>
#include <kiv/http/i_http_session.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

namespace kiv {

class http_session : public object,
                     public i_property_manager_impl,
                     public i_named_object_impl,
                     public virtual i_http_session {
public:
    // A session named `sid` (made by the server: never empty), started
    // and touched now, with `host` (null allowed) and an interval of one
    // hour.
    http_session(const char* sid, const char* host);

    // Answers "i_http_session", "i_named_object" and "i_property_manager".
    bool get_interface(const char* name, void** out) override;
    // Refused: the id never changes. Returns: false.
    bool set_name(const char* name) override;

    unsigned get_exp_interval() override { return exp_interval_.load(); }
    void set_exp_interval(unsigned val) override { exp_interval_.store(val); }
    unsigned get_start_time() override { return start_time_; }
    unsigned get_access_time() override { return access_time_.load(); }
    void touch(const char* host) override;
    char* get_host() override;

    // Returns: whether the session's idle time has passed by `now` (a
    //     touch at t with interval i survives until t + i, inclusive).
    bool expired_at(uint32_t now) const;

    // Notes that a request came back with the session's id (the server's
    // lookup found it); until then the session is one a single request
    // made, which the server ends first when it must make room.
    void mark_returned() { returned_.store(true, std::memory_order_relaxed); }
    bool returned() const { return returned_.load(std::memory_order_relaxed); }

private:
    const uint32_t start_time_;            // core clock at creation
    std::atomic<uint32_t> access_time_;    // core clock of the last touch
    std::atomic<uint32_t> exp_interval_;   // seconds of idleness allowed
    std::atomic<bool> returned_{false};    // found by its id since it was made
    std::mutex host_lock_;                 // guards host_
    std::string host_;                     // "" until a request names one
};

}  // namespace kiv

#endif
