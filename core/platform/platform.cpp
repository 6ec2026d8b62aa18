// platform.cpp --
//
//     Linux implementation of the platform layer.

#include "platform.h"

#include <dlfcn.h>
#include <link.h>
#include <pthread.h>
#include <endian.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <shared_mutex>
#include <unordered_set>
#include <vector>

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
// Created on first use and never destroyed, so environment reads at
// process exit stay safe. Reader-preferring (the default of the
// underlying rwlock), so a reader may nest without a waiting writer
// shutting it out.
std::shared_mutex& env_mutex() {
    static std::shared_mutex* m = new std::shared_mutex;
    return *m;
}

// The environment is written copy-on-write: a change builds a new
// array, publishes it in `environ` with one store and keeps the old
// array and the strings it dropped until no unlocked reader (a name
// lookup, env_lookup) can still be walking them. glibc's setenv instead
// reallocates the array in place, which a getenv on another thread may
// be reading; that is why a lookup used to hold the lock for its whole
// length, and stalled every writer (and the time-zone refresh) behind
// a slow name server.
struct env_blocks {
    std::unordered_set<void*> ours;  // arrays and strings allocated here, not yet freed
    std::vector<void*> retired;      // of `ours`, no longer reachable from environ
};

// Guarded by the environment lock held alone; never destroyed.
env_blocks& blocks() {
    static env_blocks* b = new env_blocks;
    return *b;
}

std::atomic<int> lookups_running{0};   // env_lookup objects alive
std::atomic<uint64_t> tz_writes{0};    // env_set calls that named TZ

// Called with the lock held alone, after `environ` was replaced: frees
// what was retired when no lookup runs. A lookup that starts after the
// check reads the new array (the store and the count are sequentially
// consistent), so nothing it could reach is freed.
void free_retired(env_blocks& b) {
    if (lookups_running.load() != 0)
        return;
    for (void* block : b.retired) {
        b.ours.erase(block);
        std::free(block);
    }
    b.retired.clear();
}

void retire(env_blocks& b, void* block) {
    if (b.ours.count(block) != 0)
        b.retired.push_back(block);
}
}  // namespace

env_reading::env_reading() {
    env_mutex().lock_shared();
}

env_reading::~env_reading() {
    env_mutex().unlock_shared();
}

env_lookup::env_lookup() {
    lookups_running.fetch_add(1);
}

env_lookup::~env_lookup() {
    lookups_running.fetch_sub(1);
}

bool env_get(const char* name, std::string& value) {
    if (name == nullptr || *name == '\0')
        return false;
    std::shared_lock<std::shared_mutex> lock(env_mutex());
    const char* v = getenv(name);
    if (v == nullptr)
        return false;
    value = v;
    return true;
}

bool env_set(const char* name, const char* value) {
    if (name == nullptr || *name == '\0' || std::strchr(name, '=') != nullptr)
        return false;
    size_t name_len = std::strlen(name);
    bool unset = value == nullptr || *value == '\0';
    std::unique_lock<std::shared_mutex> lock(env_mutex());
    env_blocks& b = blocks();
    char* entry = nullptr;
    if (!unset) {
        size_t value_len = std::strlen(value);
        entry = static_cast<char*>(std::malloc(name_len + value_len + 2));
        if (entry == nullptr)
            return false;
        std::memcpy(entry, name, name_len);
        entry[name_len] = '=';
        std::memcpy(entry + name_len + 1, value, value_len + 1);
    }
    // Every entry of the name goes (a hand-made environment may hold
    // two); the new one takes the place of the first.
    char** old = environ;
    std::vector<char*> kept;
    std::vector<char*> dropped;
    for (char** p = old; p != nullptr && *p != nullptr; ++p) {
        if (std::strncmp(*p, name, name_len) == 0 && (*p)[name_len] == '=') {
            if (dropped.empty() && entry != nullptr)
                kept.push_back(entry);
            dropped.push_back(*p);
        } else {
            kept.push_back(*p);
        }
    }
    if (dropped.empty()) {
        if (entry == nullptr)
            return true;  // unsetting a variable that is not set
        kept.push_back(entry);
    }
    char** fresh = static_cast<char**>(std::malloc((kept.size() + 1) * sizeof(char*)));
    if (fresh == nullptr) {
        std::free(entry);
        return false;
    }
    std::memcpy(fresh, kept.data(), kept.size() * sizeof(char*));
    fresh[kept.size()] = nullptr;
    b.ours.insert(fresh);
    if (entry != nullptr)
        b.ours.insert(entry);
    __atomic_store_n(&environ, fresh, __ATOMIC_SEQ_CST);
    retire(b, old);
    for (char* gone : dropped)
        retire(b, gone);
    free_retired(b);
    if (std::strcmp(name, "TZ") == 0)
        tz_writes.fetch_add(1);
    return true;
}

uint64_t tz_changes() {
    return tz_writes.load();
}

// tzset and mktime rewrite the C library's time-zone state (mktime
// runs tzset itself), so they take the lock alone, not beside readers:
// two of them side by side would write that state together.
void tz_refresh() {
    std::unique_lock<std::shared_mutex> lock(env_mutex());
    tzset();
}

bool tz_try_refresh() {
    std::unique_lock<std::shared_mutex> lock(env_mutex(), std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    tzset();
    return true;
}

long long mktime_local(struct tm* fields) {
    std::unique_lock<std::shared_mutex> lock(env_mutex());
    return static_cast<long long>(mktime(fields));
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
