// startup.cpp --
//
//     Start-up and shut-down of the framework (kiv_initialize,
//     kiv_terminate) and the core's library entry. They sit on top of the
//     core: they start and stop the pool, the event service and the paths
//     below them, which read the process-wide state from core_state.cpp
//     and never call back up here.
//
//     Shut-down releases what others may still be using only once they
//     are gone: the core's threads are stopped before the core (and its
//     registry) can go, and the core object and the loaded libraries stay
//     when threads started through the core outlive the wait, since those
//     threads may still call into the core or run library code.

#include "app/core.h"
#include "app/core_state.h"
#include "threads/thread_start.h"
#include "threads/worker_pool.h"
#include "time/clock.h"
#include "time/time_zone.h"

#include "../../platform/platform.h"

#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/library_protocol.h>
#include <kiv/core/log.h>

#include <tcl.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

namespace kiv {

namespace {

const unsigned core_threads_stop_seconds = 5;
const uint64_t threads_wait_ms = 10 * 1000;

// Cores that threads outlived at shut-down. Kept reachable on purpose:
// a late thread may still be inside one.
std::vector<core*>& abandoned_cores() {
    static std::vector<core*>* list = new std::vector<core*>;
    return *list;
}

// Returns: empty when `path` is (or now is) a folder of this account
//     that no other account may enter: made with mode 0700 when missing,
//     never followed when it is a link. Otherwise the one-line reason,
//     naming the folder.
std::string own_private_folder(const std::string& path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return "cannot create the temp folder '" + path + "': " + std::strerror(errno);
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        return "cannot examine the temp folder '" + path + "': " + std::strerror(errno);
    if (S_ISLNK(st.st_mode))
        return "the temp folder '" + path + "' is a symbolic link; remove it";
    if (!S_ISDIR(st.st_mode))
        return "the temp folder '" + path + "' is not a folder; remove it";
    if (st.st_uid != geteuid())
        return "the temp folder '" + path + "' belongs to user " + std::to_string(st.st_uid) + ", not to user " +
               std::to_string(geteuid());
    // Someone else may have put files in a folder open to others before
    // we came: it is refused, not made private after the fact.
    if ((st.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        return "the temp folder '" + path + "' is open to other users (mode " + mode + "); remove it";
    }
    return std::string();
}

// The first candidate that is set, not empty and fits the buffer: "tmp"
// under the root when it exists, TEMP, TMP, then TMPDIR and "/tmp",
// where Linux keeps its temporary files (it sets neither of the first).
// The last two are shared by every account, where Windows' TEMP is each
// user's own: from them the account's own "kiv-UID" under it is taken,
// so two accounts never share or block each other's folders.
void choose_temp_path() {
    set_temp_path("");
    set_temp_path_error("");
    struct candidate {
        std::string path;
        bool shared;
    };
    std::vector<candidate> candidates;
    std::string root = kiv_get_env("KIV_ROOT_PATH");
    if (!root.empty()) {
        std::string tmp = root + "/tmp";
        if (kiv_dir_exists(tmp.c_str()))
            candidates.push_back({tmp, false});
    }
    candidates.push_back({kiv_get_env("TEMP"), false});
    candidates.push_back({kiv_get_env("TMP"), false});
    candidates.push_back({kiv_get_env("TMPDIR"), true});
    candidates.push_back({"/tmp", true});
    for (candidate& c : candidates) {
        if (c.path.empty())
            continue;
        if (c.shared) {
            while (c.path.size() > 1 && c.path.back() == '/')
                c.path.pop_back();
            c.path = (c.path == "/" ? std::string() : c.path) + "/kiv-" + std::to_string(geteuid());
        }
        if (c.path.size() > temp_path_max) {
            kiv_log(0, "kiv_initialize: temp path longer than %zu characters ignored", temp_path_max);
            continue;
        }
        if (c.shared) {
            std::string why = own_private_folder(c.path);
            if (!why.empty()) {
                kiv_log(0, "kiv_initialize: %s", why.c_str());
                set_temp_path_error(why);
                return;
            }
        }
        set_temp_path(c.path);
        return;
    }
}

void worker_limit_from_env() {
    int limit = 150;
    std::string value;
    if (kiv_get_env("KIV_MAX_THREADS_COUNT", value)) {
        int asked = std::atoi(value.c_str());
        if (asked > 10)
            limit = asked;
    }
    threads::set_worker_limit(limit);
}

}  // namespace

}  // namespace kiv

using namespace kiv;

bool kiv_initialize() {
    if (current_core() != nullptr)
        return false;
    static std::once_flag tcl_told;
    std::call_once(tcl_told, [] {
        platform::env_reading reading;  // Tcl sets up its encodings from the environment
        Tcl_FindExecutable(nullptr);
    });
    std::srand(static_cast<unsigned>(std::time(nullptr)));
    time_zone_refresh();

    std::string root;
    if (!kiv_get_env("KIV_ROOT_PATH", root)) {
        root = platform::current_dir();
        if (root.empty())
            return false;
        for (char& c : root)
            if (c == '\\')
                c = '/';
        kiv_set_env("KIV_ROOT_PATH", root.c_str());
    }
    platform::sockets_startup();
    choose_temp_path();
    kiv_set_local_charset("cp1251");

    core* c = new core;
    set_current_core(c);
    register_initial_services(*c);
    set_running(true);
    return true;
}

void kiv_terminate() {
    kiv_trace("kiv_terminate()");
    core* c = current_core();
    if (c == nullptr)
        return;
    kiv_generate_event("KIV_CORE_EVT_TERMINATING", 0, nullptr, true);
    set_running(false);
    pool_wake_all();

    std::vector<void*> modules = c->library_modules();
    c->release_services();
    bool core_threads_ended = c->stop_threads(core_threads_stop_seconds);
    // The workers that were idle when the flag fell end at once and run
    // nobody's code on their way out: they are waited for here, so the
    // threads counted below are those still busy with someone's work.
    pool_wait_idle_ended(clock::mono_ms() + threads_wait_ms);

    int left = threads::count();
    if (left > 0) {
        kiv_trace("kiv_terminate: awaiting for thread to be finished (%d)", left);
        left = threads::wait_for_zero(clock::mono_ms() + threads_wait_ms);
        kiv_trace("kiv_terminate: threads left: %d", left);
    }

    set_current_core(nullptr);
    if (left == 0 && core_threads_ended) {
        delete c;
        for (void* module : modules)
            platform::dl_close(module);
    } else {
        set_cached_clock(0);
        abandoned_cores().push_back(c);
        if (!modules.empty())
            kiv_trace("kiv_terminate: %zu libraries stay loaded while threads run", modules.size());
    }
    log_close_files();
    platform::sockets_cleanup();
}

void kiv_library_entry() {
    core* c = current_core();
    if (c == nullptr)
        return;
    worker_limit_from_env();
    threads::permit();
    register_entry_services(*c);
    if (c->get_threads_count() == 0 && !c->start_threads())
        kiv_log(0, "kiv_core: could not start the core threads");
}

const char* kiv_library_name() {
    return "kiv_core";
}

const char* kiv_library_version() {
    return "3.18.0152";
}

bool kiv_library_initialized() {
    return true;
}

