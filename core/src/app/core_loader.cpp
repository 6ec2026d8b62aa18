// core_loader.cpp --
//
//     The core's library loader: turns a library name or path into
//     candidate files, recognises a library already loaded, loads a new
//     one, checks that it follows the library protocol, records it, runs
//     its entry between the two load events and returns its module.
//
//     Candidates: the absolute path of the name (relative names are under
//     KIV_ROOT_PATH), then, for a bare name without any folder part, the
//     name under each entry of PATH; a name that holds "/" or "\\" is
//     only ever taken from its own folder, as a shell does, so
//     "../../x" never wanders along PATH. A candidate whose file is
//     missing gets ".so" appended unless it already ends so; one still
//     missing is skipped.
//
//     No lock is held while a library's constructors, its entry or the
//     handlers of the load events run: those load further libraries,
//     fetch script engines and take the locks of other services, on this
//     thread or others. A library being loaded is claimed instead, under
//     a small lock that only guards the list of claims: another thread
//     asking for the same library waits for that claim to end (and so for
//     its one entry call), not for the loader; the loading thread itself
//     may load more from inside an entry. Were a wait to close a circle
//     (thread A's entry needs what thread B is loading while B's entry
//     needs A's library) the request is answered at once as the loading
//     thread's own nested request would be: with the library's state as
//     it is. A library is only ever returned when it reports itself
//     initialised: one whose entry failed stays recorded and loaded, but
//     a later request goes on to the next candidate instead of
//     succeeding.

#include "app/core.h"
#include "app/kiv_library.h"
#include "log/last_log_error.h"

#include "../../platform/platform.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/text_checks.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/log.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace kiv {

namespace {

const char library_suffix[] = ".so";

typedef void (*entry_function)();
typedef bool (*initialized_function)();

// Returns: the candidate files for `library_path` in the order they are
//     tried; none when no absolute path can be formed.
std::vector<std::string> candidates_of(const char* library_path) {
    std::vector<std::string> list;
    auto_string absolute(kiv_get_absolute_path(library_path));
    if (!absolute.is_ok())
        return list;
    list.push_back(static_cast<const char*>(absolute));
    if (std::strchr(library_path, '/') != nullptr || std::strchr(library_path, '\\') != nullptr)
        return list;
    std::string search;
    if (!kiv_get_env("PATH", search))
        return list;
    size_t start = 0;
    while (start <= search.size()) {
        size_t colon = search.find(':', start);
        if (colon == std::string::npos)
            colon = search.size();
        if (colon > start)
            list.push_back(search.substr(start, colon - start) + "/" + library_path);
        start = colon + 1;
    }
    return list;
}

initialized_function initialized_export(void* module) {
    return reinterpret_cast<initialized_function>(platform::dl_own_symbol(module, "kiv_library_initialized"));
}

// Returns: the recorded library loaded from `path` (or, with `module`
//     not null, holding that module), with a reference; null when none.
auto_ptr_t<i_kiv_library> find_loaded(i_core& c, const std::string& path, void* module) {
    auto_ptr_t<i_object_col> libraries(c.get_libraries());
    for (unsigned i = 0; libraries && i < libraries->get_count(); ++i) {
        auto_ptr_t<i_object> item(libraries->get_item_by_pos(i));
        i_kiv_library* library = kiv_cast_i_kiv_library(item);
        if (library == nullptr)
            continue;
        if (module != nullptr ? library->get_handle() == module : path == library->get_path()) {
            library->addref();
            return auto_ptr_t<i_kiv_library>(library);
        }
    }
    return auto_ptr_t<i_kiv_library>();
}

// Returns: the module of a recorded library when it reports itself
//     initialised; null (try the next candidate) when it does not.
void* loaded_module(i_kiv_library* library) {
    initialized_function initialized = initialized_export(library->get_handle());
    return initialized != nullptr && initialized() ? library->get_handle() : nullptr;
}

}  // namespace

// Ends a claimed load when it goes out of scope: the claim leaves the
// list and every thread waiting for a load looks again.
class core::load_claim {
public:
    load_claim(core& owner, uint64_t id) : owner_(owner), id_(id) {}
    load_claim(const load_claim&) = delete;
    load_claim& operator=(const load_claim&) = delete;
    ~load_claim() {
        {
            std::lock_guard<std::mutex> lock(owner_.loads_lock_);
            owner_.loads_.remove_if([this](const loading& l) { return l.id == id_; });
        }
        owner_.load_over_.notify_all();
    }
    // Under loads_lock_: notes the module opened for the claimed path.
    void set_module(void* module) {
        for (loading& l : owner_.loads_)
            if (l.id == id_)
                l.module = module;
    }

private:
    core& owner_;
    uint64_t id_;
};

core::loading* core::load_in_progress(const std::string& path, void* module, uint32_t self) {
    for (loading& l : loads_)
        if (l.thread != self && (l.path == path || (module != nullptr && l.module == module)))
            return &l;
    return nullptr;
}

bool core::wait_closes_circle(const loading& busy, uint32_t self) {
    uint32_t thread = busy.thread;
    // Each step follows a thread to the load it waits for; a chain
    // longer than the number of waiting threads has gone round already.
    for (size_t step = 0; step <= waits_.size(); ++step) {
        if (thread == self)
            return true;
        auto waiting = waits_.find(thread);
        if (waiting == waits_.end())
            return false;
        const loading* next = nullptr;
        for (const loading& l : loads_)
            if (l.id == waiting->second)
                next = &l;
        if (next == nullptr)
            return false;
        thread = next->thread;
    }
    return true;
}

bool core::wait_for_load(std::unique_lock<std::mutex>& held, const loading& busy, uint32_t self) {
    if (wait_closes_circle(busy, self))
        return false;
    uint64_t id = busy.id;
    waits_[self] = id;
    load_over_.wait(held, [this, id] {
        for (const loading& l : loads_)
            if (l.id == id)
                return false;
        return true;
    });
    waits_.erase(self);
    return true;
}

void* core::load_library(const char* library_path) {
    if (library_path == nullptr || *library_path == '\0')
        return nullptr;
    kiv_trace("core::load_library(%s)", library_path);
    // Why the most telling candidate failed: a file that is there but
    // fails says more than a name found nowhere.
    std::string why;
    bool found = false;
    for (std::string& candidate : candidates_of(library_path)) {
        std::string tried = candidate;
        std::string failure;
        void* module = load_candidate(std::move(candidate), &failure);
        if (module != nullptr)
            return module;
        if (!failure.empty()) {
            if (!found)
                why = failure;
            found = true;
        } else if (!found && why.empty()) {
            why = "no file '" + tried + "'";
            if (!ends_with(tried, library_suffix))
                why += " or '" + tried + library_suffix + "'";
        }
    }
    // One line a host can show: the library and its cause, which may be
    // the line of a library its entry needed.
    kiv_log(0, "%s did not start: %s", library_path, why.empty() ? "no file for it" : why.c_str());
    return nullptr;
}

void* core::load_candidate(std::string work, std::string* why) {
    if (!kiv_file_exists(work.c_str())) {
        if (!ends_with(work, library_suffix))
            work += library_suffix;
        if (!kiv_file_exists(work.c_str()))
            return nullptr;
    }
    uint32_t self = platform::thread_id();
    std::unique_ptr<load_claim> claim;
    {
        std::unique_lock<std::mutex> held(loads_lock_);
        bool circle = false;
        while (loading* busy = load_in_progress(work, nullptr, self)) {
            if (!wait_for_load(held, *busy, self)) {
                circle = true;
                break;
            }
        }
        if (auto_ptr_t<i_kiv_library> known = find_loaded(*this, work, nullptr)) {
            held.unlock();
            void* module = loaded_module(known);
            if (module == nullptr)
                *why = "its start-up failed earlier";
            return module;
        }
        if (circle) {
            *why = "it is being loaded on another thread that waits for this one";
            return nullptr;
        }
        for (const loading& l : loads_)
            if (l.thread == self && l.path == work) {
                // asked for again from inside its own load, before it is recorded
                *why = "it needs itself to start";
                return nullptr;
            }
        uint64_t id = next_load_id_++;
        loads_.push_back(loading{id, work, nullptr, self});
        claim.reset(new load_claim(*this, id));
    }

    std::string error;
    void* module = platform::dl_open(work.c_str(), &error);
    if (module == nullptr) {
        kiv_trace("Error loading library %s: %s", work.c_str(), error.c_str());
        *why = "cannot load '" + work + "': " + error;
        return nullptr;
    }
    entry_function entry = reinterpret_cast<entry_function>(platform::dl_own_symbol(module, "kiv_library_entry"));
    initialized_function initialized = initialized_export(module);
    if (entry == nullptr || initialized == nullptr) {
        platform::dl_close(module);
        *why = "'" + work + "' has no kiv_library_entry or kiv_library_initialized";
        return nullptr;
    }
    {
        // The same module reached by another path (a link, "./", "//") is
        // the same library: its entry must not run again.
        std::unique_lock<std::mutex> held(loads_lock_);
        claim->set_module(module);
        bool circle = false;
        while (loading* busy = load_in_progress(work, module, self)) {
            if (!wait_for_load(held, *busy, self)) {
                circle = true;
                break;
            }
        }
        auto_ptr_t<i_kiv_library> known = find_loaded(*this, work, module);
        if (known || circle) {
            held.unlock();
            platform::dl_close(module);
            void* found = known ? loaded_module(known) : nullptr;
            if (found == nullptr && known)
                *why = "its start-up failed earlier";
            else if (found == nullptr)
                *why = "it is being loaded on another thread that waits for this one";
            return found;
        }
    }

    kiv_library* created = new kiv_library(module, work);
    auto_ptr_t<i_kiv_library> library(created);
    created->addref();
    add_library(library, module);
    kiv_trace("Loaded '%s' version '%s'", library->get_name(), library->get_version());
    // One event object for both announcements: handlers of the load event
    // see the library recorded but not entered yet; the same event,
    // re-typed, tells them the entry succeeded.
    event* announced = new event("KIV_CORE_EVT_LOAD_LIBRARY", 0, library);
    auto_ptr_t<i_event> announcement(announced);
    announced->addref();
    kiv_fire_event(announcement, true);
    // The entry's last level-0 line, when it wrote one, is its cause.
    uint64_t lines_before = last_log_error_count();
    entry();
    if (!initialized()) {
        const char* said = kiv_last_log_error();
        bool told = last_log_error_count() != lines_before && *said != '\0';
        *why = told ? said : "its start-up failed without saying why";
        // Its own name in front of its line is said once already.
        std::string own = std::string(library->get_name() != nullptr ? library->get_name() : "") + ": ";
        if (told && own.size() > 2 && why->compare(0, own.size(), own) == 0)
            why->erase(0, own.size());
        return nullptr;
    }
    announced->set_event_type("KIV_CORE_EVT_POST_LOAD_LIBRARY");
    kiv_fire_event(announcement, true);
    return module;
}

}  // namespace kiv
