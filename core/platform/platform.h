// platform.h --
//
//     The one layer of kiv_core that calls the operating system directly
//     for dynamic libraries, the process environment, thread ids,
//     sleeping, byte order and socket start-up. Everything else in the
//     project goes through these functions (or the exported wrappers in
//     <kiv/core/env.h>, <kiv/core/process.h> and
//     <kiv/core/net_byte_order.h>), so a port touches only this folder.

#ifndef KIV_CORE_PLATFORM_H
#define KIV_CORE_PLATFORM_H

#include <cstdint>
#include <string>

struct tm;

namespace kiv::platform {

// Dynamic libraries. `path` must contain a "/" (a bare name would make the
// system search its own folders). Returns: a handle, or null with the
// system's reason in *error (when error is given).
void* dl_open(const char* path, std::string* error);
// Returns: the exported symbol, or null. The lookup also searches the
//     libraries the module depends on.
void* dl_symbol(void* handle, const char* name);
// Returns: the symbol when the module itself defines it, or null; a
//     symbol that only one of its dependencies defines does not count
//     (every library links kiv_core, which exports the same protocol
//     names as every other library).
void* dl_own_symbol(void* handle, const char* name);
// Returns: false when the system refused to unload.
bool dl_close(void* handle);

// The process environment, guarded by one process-wide lock: writers
// take it alone; readers share it. Names are case-sensitive.
// Returns: true and the value in `value` when the variable is set.
bool env_get(const char* name, std::string& value);
// Sets a variable; an empty or null value unsets it. Neither arrays nor
// entry strings are ever freed and no name moves within an array, so a
// reader that holds no lock (glibc's getenv anywhere, name resolution,
// Tcl) walks whole arrays and finds every variable that stays set
// (environment.cpp tells how). Setting a variable to the value it has
// allocates nothing; memory grows with the distinct names, values and
// orders of names set, not with the number of calls.
// Returns: false for an invalid name (null, empty, or holding "=") or
//     when memory runs out (the environment is then unchanged).
bool env_set(const char* name, const char* value);

// Holds the environment lock for reading while it lives, for our calls
// that read the environment inside the C library or Tcl rather than
// through env_get: making a Tcl interpreter (Tcl_CreateInterp, Tcl_Init),
// charset converters (iconv_open). env_set waits meanwhile; other
// readers do not. Hold it only across such a short call, never across
// our scripts or callbacks (one of them could set a variable and wait
// for itself), nor across a call that can wait on the network.
class env_reading {
public:
    env_reading();
    ~env_reading();
    env_reading(const env_reading&) = delete;
    env_reading& operator=(const env_reading&) = delete;
};

// Time-zone work that reads TZ from the environment (tzset, and mktime,
// which re-reads TZ on every call). Each takes the environment lock
// alone, since both also rewrite the C library's time-zone state.
void tz_refresh();
// Re-reads the zone settings when TZ differs from what the last refresh
// read, without waiting for the lock.
// Returns: false when the lock was busy (nothing done; try again later).
bool tz_refresh_if_changed();
long long mktime_local(struct tm* fields);

// The calling thread's system id (non-zero).
uint32_t thread_id();
// Sleeps `ms` milliseconds; 0 sleeps one.
void sleep_ms(unsigned ms);
// The CPUs this process may run on (its affinity, as taskset sets it);
// at least 1.
unsigned usable_cpus();
// The process's working directory; empty when it cannot be read.
std::string current_dir();

// Socket library start-up and clean-up: no-ops here, except that SIGPIPE
// is ignored from start-up on, so a write to a closed peer reports an
// error instead of ending the process.
void sockets_startup();
void sockets_cleanup();

// Byte order: big-endian loads and stores at unaligned addresses.
uint16_t load_be16(const void* p);
uint32_t load_be32(const void* p);
void store_be16(void* p, uint16_t v);
void store_be32(void* p, uint32_t v);
// Swaps a 64-bit value between network and host order.
uint64_t swap_net64(uint64_t v);

}  // namespace kiv::platform

#endif
