// library_loader.cpp --
//
//     The core's library loader: turns a library name or path into
//     candidate files, recognises a library already loaded, loads a new
//     one, checks that it follows the library protocol, records it, runs
//     its entry between the two load events and returns its module.
//
//     Candidates: the absolute path of the name (relative names are under
//     KIV_ROOT_PATH), then, unless the name starts with "/", the name
//     under each entry of PATH. A candidate whose file is missing gets
//     ".so" appended unless it already ends so; one still missing is
//     skipped.
//
//     Loads are serialised on the loader mutex, held across the entry:
//     the loading thread may load again from inside an entry (a library
//     loading what it needs), and its nested loads run their entries and
//     events inside the outer load; another thread waits, so one
//     library's entry never runs twice. A library is only ever returned
//     when it reports itself initialised: one whose entry failed stays
//     recorded and loaded, but a later request goes on to the next
//     candidate instead of succeeding.

#include "core.h"
#include "kiv_library.h"

#include "../platform/platform.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/log.h>

#include <string>
#include <vector>

namespace kiv {

namespace {

const char library_suffix[] = ".so";

typedef void (*entry_function)();
typedef bool (*initialized_function)();

bool ends_with(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// Returns: the candidate files for `library_path` in the order they are
//     tried; none when no absolute path can be formed.
std::vector<std::string> candidates_of(const char* library_path) {
    std::vector<std::string> list;
    auto_string absolute(kiv_get_absolute_path(library_path));
    if (!absolute.is_ok())
        return list;
    list.push_back(static_cast<const char*>(absolute));
    if (library_path[0] == '/')
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

void* core::load_library(const char* library_path) {
    if (library_path == nullptr || *library_path == '\0')
        return nullptr;
    kiv_trace("core::load_library(%s)", library_path);
    std::vector<std::string> candidates = candidates_of(library_path);
    mutex_locker lock(&loader_mutex_);
    for (std::string& candidate : candidates) {
        void* module = load_candidate(std::move(candidate));
        if (module != nullptr)
            return module;
    }
    return nullptr;
}

void* core::load_candidate(std::string work) {
    if (!kiv_file_exists(work.c_str())) {
        if (!ends_with(work, library_suffix))
            work += library_suffix;
        if (!kiv_file_exists(work.c_str()))
            return nullptr;
    }
    if (auto_ptr_t<i_kiv_library> known = find_loaded(*this, work, nullptr))
        return loaded_module(known);

    std::string error;
    void* module = platform::dl_open(work.c_str(), &error);
    if (module == nullptr) {
        kiv_trace("Error loading library %s: %s", work.c_str(), error.c_str());
        return nullptr;
    }
    entry_function entry = reinterpret_cast<entry_function>(platform::dl_own_symbol(module, "kiv_library_entry"));
    initialized_function initialized = initialized_export(module);
    if (entry == nullptr || initialized == nullptr) {
        platform::dl_close(module);
        return nullptr;
    }
    // The same module reached by another path (a link, "./", "//") is
    // the same library: its entry must not run again.
    if (auto_ptr_t<i_kiv_library> known = find_loaded(*this, work, module)) {
        platform::dl_close(module);
        return loaded_module(known);
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
    entry();
    if (!initialized())
        return nullptr;
    announced->set_event_type("KIV_CORE_EVT_POST_LOAD_LIBRARY");
    kiv_fire_event(announcement, true);
    return module;
}

}  // namespace kiv
