// host_controls.cpp --
//
//     kiv_host_offer, which the libraries call while they load (often
//     before this program's own globals exist: the table is made on first
//     use), and the look-up of what they offered.

#include <kiv_test/host_controls.h>

#include <dlfcn.h>
#include <unistd.h>

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

namespace {

void* find_control(const char* name) {
    offered_controls& t = offered();
    std::lock_guard<std::mutex> guard(t.lock);
    auto found = t.by_name.find(name);
    return found != t.by_name.end() ? found->second : nullptr;
}

// Loads `library` from the folder of the running program (never
// unloaded: its controls stay offered).
void load_beside_program(const char* library) {
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0)
        return;
    std::string path(exe, static_cast<size_t>(n));
    path = path.substr(0, path.rfind('/') + 1) + library + ".so";
    dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
}

}  // namespace

void* host_control(const char* name, const char* library) {
    void* found = find_control(name);
    if (found == nullptr && library != nullptr) {
        load_beside_program(library);  // offers its controls as it loads
        found = find_control(name);
    }
    if (found == nullptr) {
        std::fprintf(stderr, "test support: no library offered the control \"%s\"\n", name);
        std::abort();
    }
    return found;
}

}  // namespace kiv_test
