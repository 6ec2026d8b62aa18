// platform.cpp --
//
//     Linux implementation of the platform layer.

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
#include <shared_mutex>
#include <thread>
#include <unordered_map>
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
// array and publishes it in `environ` with one store. glibc's setenv
// instead reallocates the array in place, which a getenv on another
// thread may be reading. Readers that take no lock of ours walk the
// arrays at any time: name resolution (which may wait seconds on a name
// server), and Tcl, which reads `environ` under its own mutex only (a
// script's env() read, a thread's end), index by index, fetching
// `environ` again for every index. So no array published here is ever
// freed, and each is at least as long as the one it replaces, padded
// with nulls: a walk that began in an older array and reads on in a
// newer one ends at a null within it. Entry strings are never freed
// either, as glibc never frees them: a caller may keep what getenv gave
// it. An entry set again with the same text is reused. Memory grows
// with the changes of the environment, not with its readers.
struct env_blocks {
    std::unordered_set<char**> arrays;              // arrays published here, kept for good
    std::unordered_map<std::string, char*> entries;  // "name=value" -> our string, kept for good
};

// Guarded by the environment lock held alone; never destroyed.
env_blocks& blocks() {
    static env_blocks* b = new env_blocks;
    return *b;
}

// TZ as the last tzset of ours read it: whether it was set, and its
// value. Guarded by the environment lock held alone.
bool tz_read_set = false;
std::string tz_read_value;

// Runs tzset and notes the TZ it read. Called with the lock held alone.
void tzset_noted() {
    const char* tz = getenv("TZ");
    tz_read_set = tz != nullptr;
    tz_read_value = tz != nullptr ? tz : "";
    tzset();
}

// Returns: our string "name=value", made on first use; null when memory
//     runs out.
char* env_entry(env_blocks& b, const char* name, const char* value) {
    std::string text = std::string(name) + "=" + value;
    auto known = b.entries.find(text);
    if (known != b.entries.end())
        return known->second;
    char* entry = static_cast<char*>(std::malloc(text.size() + 1));
    if (entry == nullptr)
        return nullptr;
    std::memcpy(entry, text.c_str(), text.size() + 1);
    try {
        b.entries.emplace(std::move(text), entry);
    } catch (const std::bad_alloc&) {
        std::free(entry);
        return nullptr;
    }
    return entry;
}
}  // namespace

env_reading::env_reading() {
    env_mutex().lock_shared();
}

env_reading::~env_reading() {
    env_mutex().unlock_shared();
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
    char** old = environ;
    char** fresh = nullptr;
    try {
        char* entry = nullptr;
        if (!unset && (entry = env_entry(b, name, value)) == nullptr)
            return false;
        // Every entry of the name goes (a hand-made environment may hold
        // two); the new one takes the place of the first.
        std::vector<char*> kept;
        bool found = false;
        for (char** p = old; p != nullptr && *p != nullptr; ++p) {
            if (std::strncmp(*p, name, name_len) == 0 && (*p)[name_len] == '=') {
                if (!found && entry != nullptr)
                    kept.push_back(entry);
                found = true;
            } else {
                kept.push_back(*p);
            }
        }
        if (!found) {
            if (entry == nullptr)
                return true;  // unsetting a variable that is not set
            kept.push_back(entry);
        }
        // As long as the array it replaces, and never shorter than its
        // entries and the null after them.
        size_t old_length = 0;
        for (char** p = old; p != nullptr && *p != nullptr; ++p)
            ++old_length;
        const size_t slots = std::max(kept.size(), old_length) + 1;
        fresh = static_cast<char**>(std::calloc(slots, sizeof(char*)));
        if (fresh == nullptr)
            return false;
        std::memcpy(fresh, kept.data(), kept.size() * sizeof(char*));
        b.arrays.insert(fresh);
    } catch (const std::bad_alloc&) {
        std::free(fresh);
        return false;
    }
    __atomic_store_n(&environ, fresh, __ATOMIC_SEQ_CST);
    return true;
}

// tzset and mktime rewrite the C library's time-zone state (mktime
// runs tzset itself), so they take the lock alone, not beside readers:
// two of them side by side would write that state together.
void tz_refresh() {
    std::unique_lock<std::shared_mutex> lock(env_mutex());
    tzset_noted();
}

bool tz_refresh_if_changed() {
    std::unique_lock<std::shared_mutex> lock(env_mutex(), std::try_to_lock);
    if (!lock.owns_lock())
        return false;
    // Compared with what the last tzset read rather than counted in
    // env_set: TZ may also change behind our wrapper (Tcl's env array).
    const char* tz = getenv("TZ");
    if ((tz != nullptr) != tz_read_set || (tz != nullptr && tz_read_value != tz))
        tzset_noted();
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
