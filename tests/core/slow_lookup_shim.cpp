// slow_lookup_shim.cpp --
//
//     A getaddrinfo that takes the C library's place, as an LD_PRELOAD
//     shim does: the test program links this shared object ahead of the
//     C library (and of the sanitizers' interceptors' next lookup), so
//     kiv_core's calls land here. A lookup of the held name waits on a
//     condition until the test releases it, then resolves 127.0.0.1;
//     every other name goes straight to the C library's function.

#include "slow_lookup_shim.h"

#include <dlfcn.h>
#include <netdb.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex guard;
std::condition_variable changed;
std::string held_name;  // empty: nothing is held
bool released = false;  // guarded; true once slow_lookup_release ran
int waiting = 0;        // guarded; lookups of the held name waiting now

using getaddrinfo_fn = int (*)(const char*, const char*, const addrinfo*, addrinfo**);

getaddrinfo_fn next_getaddrinfo() {
    static getaddrinfo_fn next = reinterpret_cast<getaddrinfo_fn>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return next;
}

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int getaddrinfo(const char* node, const char* service,
                                                       const addrinfo* hints, addrinfo** res) {
    bool slow;
    {
        std::unique_lock<std::mutex> lock(guard);
        slow = node != nullptr && !held_name.empty() && held_name == node;
        if (slow) {
            ++waiting;
            changed.notify_all();
            changed.wait(lock, [] { return released; });
            --waiting;
        }
    }
    return next_getaddrinfo()(slow ? "127.0.0.1" : node, service, hints, res);
}

__attribute__((visibility("default"))) void slow_lookup_hold(const char* name) {
    std::lock_guard<std::mutex> lock(guard);
    held_name = name;
    released = false;
}

__attribute__((visibility("default"))) void slow_lookup_wait_blocked() {
    std::unique_lock<std::mutex> lock(guard);
    changed.wait(lock, [] { return waiting > 0; });
}

__attribute__((visibility("default"))) bool slow_lookup_blocked() {
    std::lock_guard<std::mutex> lock(guard);
    return waiting > 0;
}

__attribute__((visibility("default"))) void slow_lookup_release() {
    std::lock_guard<std::mutex> lock(guard);
    released = true;
    changed.notify_all();
}
}
