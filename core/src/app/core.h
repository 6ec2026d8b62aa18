// core.h --
//
//     The one process-wide core object: the service registry, the list of
//     loaded libraries with their module handles, the streams the pump
//     serves, and the two core threads. kiv_initialize creates it and
//     kiv_terminate deletes it (startup.cpp); everything else reaches it
//     through kiv_core().

#ifndef KIV_CORE_SRC_CORE_H
#define KIV_CORE_SRC_CORE_H

#include <kiv/core/i_core.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>
#include <kiv/core/threads.h>

#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace kiv {

class i_stream;

class core : public object, public mutex, public thread_creator, public virtual i_core {
public:
    // Sets the cached clock to the current time.
    core();
    // Clears the cached clock. The caller has stopped the core's threads.
    ~core() override;

    // Not reference-counted: both do nothing and return 1.
    int addref() override { return 1; }
    int release() override { return 1; }
    // Answers "i_core".
    bool get_interface(const char* name, void** out) override;

    bool register_service(i_object* svc, const char* svc_type) override;
    bool unregister_service(const char* name) override;
    i_object* get_service(const char* svc_type) override;
    i_object_col* get_services() override;
    // The loader (core_loader.cpp). No lock is held while a library's
    // entry or the load events run; a thread asking for a library that
    // another thread is loading waits for that one library.
    void* load_library(const char* library_path) override;
    i_object_col* get_libraries() override;

    // Records a loaded library (its i_kiv_library object, which gets a
    // reference) and its module handle, in load order. For the loader.
    void add_library(i_object* library, void* module);
    // Returns: whether a loaded library's name equals `name`.
    bool library_loaded(const char* name);
    // Returns: the module handles of the loaded libraries in load order.
    std::vector<void*> library_modules();
    // Appends `stream` to the pump's list (adds a reference).
    void register_stream(i_stream* stream);

    // Starts the housekeeping thread, then the stream pump.
    // Returns: false when either could not start.
    bool start_threads();
    // Empties the registry: in name order, each service is taken out
    // under the core mutex and its registry reference released outside
    // it, so the services still to go stay reachable meanwhile. Then
    // empties the library list (the modules stay loaded).
    void release_services();

private:
    void housekeeping(void* arg);
    void stream_pump(void* arg);
    // Returns: the module of the library loaded from `candidate`, or null
    //     when the candidate gave none (the loader then tries the next).
    // Changes: *why, on null for a file that is there, to the cause in
    //     one line; left empty when there is no such file.
    void* load_candidate(std::string candidate, std::string* why);

    // A library being loaded: from its claim by the loading thread until
    // its entry and both events are over.
    struct loading {
        uint64_t id;         // unique among the loads of this core
        std::string path;    // the candidate file, as tried
        void* module;        // its handle once opened; null before
        uint32_t thread;     // the loading thread
    };
    class load_claim;  // ends a load (core_loader.cpp)
    // Under loads_lock_: the load under way for `path` or (when not null)
    // `module` by a thread other than the caller; null when none.
    loading* load_in_progress(const std::string& path, void* module, uint32_t self);
    // Under loads_lock_: whether waiting for `busy` would close a circle
    // of threads each waiting for a library the next one is loading (an
    // entry on one thread needing what an entry on the other loads).
    bool wait_closes_circle(const loading& busy, uint32_t self);
    // Under loads_lock_ (held by `held`): waits until `busy` is over.
    // Returns: false, without waiting, when waiting would never end.
    bool wait_for_load(std::unique_lock<std::mutex>& held, const loading& busy, uint32_t self);

    // Guards loads_ and waits_ only; never held while code outside the
    // core runs (entries, event handlers, a library's constructors).
    std::mutex loads_lock_;
    std::condition_variable load_over_;    // a load left loads_
    std::list<loading> loads_;             // loads under way
    std::map<uint32_t, uint64_t> waits_;   // thread -> id of the load it waits for
    uint64_t next_load_id_ = 1;

    std::map<std::string, i_object*, std::less<>> services_;  // one reference each; guarded by the core mutex
    object_col libraries_;                       // i_kiv_library objects in load order
    std::vector<void*> modules_;                 // their module handles; guarded by the core mutex
    object_col streams_;                         // served by the pump; one reference each
};

}  // namespace kiv

#endif
