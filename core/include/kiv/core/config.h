// config.h --
//
//     The two files that configure the system, both ending in the process
//     environment:
//
//     - the XML configuration ("config/config.xml"), applied once at
//       start-up by kiv_load_config: its variables/variable entries become
//       environment variables in document order, and its
//       libraries/library entries are loaded by priority;
//     - environment files of KEY=VALUE lines, applied by
//       kiv_load_environment and applied again by the watcher
//       (env_config_reloader, the service "env_config_reloader") whenever
//       a file's modification time changes.
//
//         <config>
//           <variables>
//             <variable name="KIV_FONT_PATH" value="fonts" type="path"/>
//             <variable name="KIV_MAPS" value="${KIV_ROOT_PATH}/maps"/>
//           </variables>
//           <libraries>
//             <library path="kiv_core" priority="100"/>
//             <library path="gis_ozm_driver" priority="50" ignore_error="1"/>
//           </libraries>
//         </config>

#ifndef KIV_CORE_CONFIG_H
#define KIV_CORE_CONFIG_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>

#include <cstdint>
#include <mutex>

// Applies the XML configuration at `file_path` (${VAR} references
// expanded; relative to KIV_ROOT_PATH). Entries with a "platform"
// attribute apply only when it is empty or "win32" (ASCII case ignored).
// Variables: "name" gets "value", made absolute when "type" is "path",
// else with its ${VAR} references expanded, so a variable may use those
// above it. Libraries: loaded highest "priority" first (ties in document
// order; a negative priority is never loaded), each entry once.
// Returns: false without a core, without "svc_xml" or "svc_string", for
//     a null path, an unreadable or malformed file, or a library that
//     failed to load without a non-zero "ignore_error" (libraries loaded
//     so far stay loaded). The host ends its start-up on false; the
//     cause is then kiv_last_log_error(): for a library, "NAME did not
//     start: " and its own cause.
// Runs on the host's start-up thread; library entries run on it too.
KIV_EXTERN_C bool kiv_load_config(const char* file_path);

// Applies an environment file and has the watcher apply it again after
// each change. Lines are split at CR and LF; "#" starts a comment; the
// first "=" splits key from value (both trimmed of blanks); a key ending
// in "^" only sets a variable that is not set yet; the value's ${VAR}
// references are expanded, so a line may use the lines above it.
// Returns: false for a null path, an unreadable file or a missing string
//     service (nothing is watched then).
KIV_EXTERN_C bool kiv_load_environment(const char* path);

namespace kiv {

class i_event;

// The watcher of environment files, one per process, registered as the
// service "env_config_reloader" by the first kiv_load_environment. Once a
// second ("KIV_CORE_EVT_BG_TASK") it compares each file's modification
// time with the last one seen and applies a changed file again, then
// queues "KIV_CORE_EVT_ENV_UPDATED" (id 0, no object).
class KIV_EXPORT env_config_reloader : public object {
public:
    // Installs the once-a-second handler with "svc_event", which it
    // holds until it is destroyed.
    env_config_reloader();
    // Uninstalls it (waiting for a pass under way on another thread).
    ~env_config_reloader() override;

    // Watches the file at `path` (made absolute), remembering its
    // modification time now. A missing file, a file already watched or
    // one whose time cannot be read is not added. Any thread.
    void add_file(const char* path);
    // One pass over the watched files: each whose modification time
    // differs from the last one seen is applied again. Nothing once the
    // core has stopped running.
    // Returns: the number of files applied again. Any thread; passes do
    //     not overlap.
    unsigned check_files();
    // Returns: the number of watched files.
    unsigned get_file_count() { return files_.get_count(); }

    // Answers "env_config_reloader".
    bool get_interface(const char* name, void** out) override;

    // The handler of "KIV_CORE_EVT_BG_TASK" (runs check_files on the
    // event worker). Returns: true, so delivery goes on to the other
    // handlers.
    bool on_bg_task(i_event* event);

private:
    object_col files_;       // named_string: absolute path -> modification time as decimal text
    std::mutex pass_lock_;   // one check_files pass at a time (it changes the stored times)
    auto_ptr_t<i_object> events_;  // "svc_event" as found at construction; null when there was none
};

}  // namespace kiv

// Returns: the watcher when `obj` is one, else null. No reference is added.
KIV_EXTERN_C kiv::env_config_reloader* kiv_cast_env_config_reloader(kiv::i_object* obj);

#endif
