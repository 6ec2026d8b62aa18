// host_controls.cpp --
//
//     kiv_host_offer, which the libraries call while they load (often
//     before this program's own globals exist: the table is made on first
//     use), and the look-up of what they offered.

#include <kiv_test/host_controls.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

namespace {

struct offered_controls {
    std::mutex lock;
    std::map<std::string, void*> by_name;
};

// Never destroyed: libraries may still be loaded (and offer) while the
// program's globals go away.
offered_controls& offered() {
    static offered_controls* table = new offered_controls;
    return *table;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void kiv_host_offer(const char* name, void* control) {
    if (name == nullptr || control == nullptr)
        return;
    offered_controls& t = offered();
    std::lock_guard<std::mutex> guard(t.lock);
    t.by_name[name] = control;
}

namespace kiv_test {

void* host_control(const char* name) {
    offered_controls& t = offered();
    std::lock_guard<std::mutex> guard(t.lock);
    auto found = t.by_name.find(name);
    if (found == t.by_name.end()) {
        std::fprintf(stderr, "test support: no library offered the control \"%s\"\n", name);
        std::abort();
    }
    return found->second;
}

}  // namespace kiv_test
