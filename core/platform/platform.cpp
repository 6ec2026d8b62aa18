// platform.cpp --
//
//     Linux implementation of the platform layer; the environment is in
//     environment.cpp.

#include "platform.h"

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <sched.h>
#include <endian.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <thread>

namespace kiv::platform {

void* dl_open(const char* path, std::string* error) {
    if (path == nullptr || std::strchr(path, '/') == nullptr) {
        if (error != nullptr)
            *error = "library path must contain a '/'";
        return nullptr;
    }
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr && error != nullptr) {
        const char* why = dlerror();
        *error = why != nullptr ? why : "unknown error";
    }
    return handle;
}

void* dl_symbol(void* handle, const char* name) {
    if (handle == nullptr || name == nullptr)
        return nullptr;
    return dlsym(handle, name);
}

void* dl_own_symbol(void* handle, const char* name) {
    void* symbol = dl_symbol(handle, name);
    if (symbol == nullptr)
        return nullptr;
    struct link_map* module_map = nullptr;
    struct link_map* symbol_map = nullptr;
    Dl_info info;
    if (dlinfo(handle, RTLD_DI_LINKMAP, &module_map) != 0 ||
        dladdr1(symbol, &info, reinterpret_cast<void**>(&symbol_map), RTLD_DL_LINKMAP) == 0)
        return nullptr;
    return module_map != nullptr && module_map == symbol_map ? symbol : nullptr;
}

bool dl_close(void* handle) {
    return handle != nullptr && dlclose(handle) == 0;
}

namespace {

// The calling thread's id, asked of the kernel once per thread: callers
// compare thread ids on every script and stream use. 0: not asked yet.
thread_local uint32_t cached_thread_id = 0;

// A forked child runs on a thread with a new id.
void forget_thread_id() {
    cached_thread_id = 0;
}

}  // namespace

uint32_t thread_id() {
    uint32_t id = cached_thread_id;
    if (id == 0) {
        static std::once_flag at_fork;
        std::call_once(at_fork, [] { pthread_atfork(nullptr, nullptr, forget_thread_id); });
        id = static_cast<uint32_t>(syscall(SYS_gettid));
        cached_thread_id = id;
    }
    return id;
}

unsigned usable_cpus() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return static_cast<unsigned>(CPU_COUNT(&set));
    return std::max(1u, std::thread::hardware_concurrency());
}

void sleep_ms(unsigned ms) {
    if (ms == 0)
        ms = 1;
    timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

std::string current_dir() {
    char buf[4096];
    if (getcwd(buf, sizeof buf) == nullptr)
        return std::string();
    return buf;
}

void sockets_startup() {
    signal(SIGPIPE, SIG_IGN);
}

void sockets_cleanup() {}

uint16_t load_be16(const void* p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return be16toh(v);
}

uint32_t load_be32(const void* p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return be32toh(v);
}

void store_be16(void* p, uint16_t v) {
    v = htobe16(v);
    std::memcpy(p, &v, sizeof v);
}

void store_be32(void* p, uint32_t v) {
    v = htobe32(v);
    std::memcpy(p, &v, sizeof v);
}

uint64_t swap_net64(uint64_t v) {
    return be64toh(v);
}

}  // namespace kiv::platform
