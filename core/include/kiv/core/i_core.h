// i_core.h --
//
//     The core: the process-wide registry of named services and the list
//     of loaded libraries, and the plain functions that bracket a host's
//     life (kiv_initialize, kiv_terminate). Every other library reaches
//     the core through kiv_core(), looks services up by name and casts
//     them with the interface cast functions:
//
//         auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_xml"));
//         kiv::i_xml_proc* xml = kiv_cast_i_xml_proc(svc);
//
//     kiv_initialize registers the services that need no thread; the
//     core's library entry (run by the loader, or directly by a host
//     without a loader) registers the rest and starts the core's threads:
//     the housekeeping thread (50 ms passes; queues "KIV_CORE_EVT_BG_TASK"
//     once per new second, flushes log files) and the stream pump (serves
//     registered streams every 100 ms).

#ifndef KIV_CORE_I_CORE_H
#define KIV_CORE_I_CORE_H

#include <kiv/core/i_object.h>

#include <cstdint>

namespace kiv {

class i_object_col;
class i_stream;

class i_core : public virtual i_object {
public:
    // Registers `svc` under `svc_type`, adding a reference. The first
    // registration of a name stays.
    // Returns: false for a null object, a null or empty name, or a name
    //     already taken (the refused object keeps only its caller's
    //     references; a new object with count 0 is then destroyed).
    virtual bool register_service(i_object* svc, const char* svc_type) = 0;
    // Removes a service and releases the registry's reference.
    // Returns: false for a null, empty or unknown name.
    virtual bool unregister_service(const char* name) = 0;
    // Returns: the service with one reference for the caller, or null.
    virtual i_object* get_service(const char* svc_type) = 0;
    // Returns: a new collection of every service in ascending name order
    //     (bytes compared unsigned), one reference for the caller.
    virtual i_object_col* get_services() = 0;
    // Loads a library by name or path and runs its entry. The candidates
    // are the absolute path of the name (relative names are under
    // KIV_ROOT_PATH), then, unless the name starts with "/", the name
    // under each entry of PATH; ".so" is appended to a candidate whose
    // file is missing. A library loaded before is returned without
    // running its entry again. A new one must define kiv_library_entry
    // and kiv_library_initialized itself; it is recorded, announced
    // with "KIV_CORE_EVT_LOAD_LIBRARY", entered, and announced with
    // "KIV_CORE_EVT_POST_LOAD_LIBRARY" when it reports itself
    // initialised (both events synchronous, carrying the library).
    // Loads are serialised; an entry may load further libraries.
    // Returns: the library's module handle, or null when no candidate
    //     gave a library that reports itself initialised.
    virtual void* load_library(const char* library_path) = 0;
    // Returns: a new collection of the loaded libraries in load order,
    //     one reference for the caller.
    virtual i_object_col* get_libraries() = 0;

protected:
    ~i_core() = default;
};

}  // namespace kiv

// Starts the framework on the host's main thread: KIV_ROOT_PATH (the
// working directory when unset), the temp path, the local charset, the
// time-zone cache, the core and its thread-free services.
// Returns: false when the core exists already or the working directory
//     cannot be read; true otherwise.
KIV_EXTERN_C bool kiv_initialize();
// Shuts the framework down on the host's main thread: fires
// "KIV_CORE_EVT_TERMINATING" synchronously, clears the running flag,
// releases the services in name order, stops the core's threads, waits
// at most 10 s for every thread started through the core, deletes the
// core, unloads the libraries and closes the log files. Threads still
// running after the wait keep the core object and the libraries they may
// use alive. Afterwards kiv_initialize may run again.
KIV_EXTERN_C void kiv_terminate();

// Returns: the core, or null before kiv_initialize and after
//     kiv_terminate. No reference is added. Any thread.
KIV_EXTERN_C kiv::i_core* kiv_core();

namespace kiv {

// Returns: the service registered as `svc_type`, with one reference for the
//     caller; null without a core or without such a service. Any thread.
inline i_object* find_service(const char* svc_type) {
    i_core* core = kiv_core();
    return core != nullptr ? core->get_service(svc_type) : nullptr;
}

}  // namespace kiv
// Returns: true from the end of kiv_initialize until kiv_terminate
//     begins. Threads and pool tasks wind down when it turns false.
KIV_EXTERN_C bool kiv_is_running();
// Returns: the cached time in whole seconds since 1970 UTC (advanced by
//     the housekeeping thread), or 0 without a core.
KIV_EXTERN_C uint32_t kiv_get_curr_time();
// Returns: the temp directory chosen by kiv_initialize: "tmp" under the
//     root when it exists, else TEMP, else TMP, else TMPDIR, else "/tmp"
//     (a setting longer than 1023 bytes is skipped). TMPDIR and "/tmp"
//     are shared by every account, so from them the folder is the
//     account's own "kiv-UID" under it (UID the numeric user id), made
//     with mode 0700. Empty when that folder cannot be made or is not a
//     private folder of this user (kiv_temp_path_error says why).
KIV_EXTERN_C const char* kiv_temp_path();
// Returns: one line saying why kiv_temp_path is empty, naming the folder
//     ("'/tmp/kiv-1000' is a symbolic link ..."); empty when it is set.
KIV_EXTERN_C const char* kiv_temp_path_error();
// Returns: true when a loaded library's own name (not its path) equals
//     `lib_name` exactly; false for null or without a core.
KIV_EXTERN_C bool kiv_library_loaded(const char* lib_name);
// Hands `stream` to the stream pump, which holds a reference until the
// stream reports itself disconnected. Duplicates are not refused.
// Null, or no core: nothing happens.
KIV_EXTERN_C void kiv_register_stream(kiv::i_stream* stream);
KIV_EXTERN_C kiv::i_core* kiv_cast_i_core(kiv::i_object* obj);

#endif
