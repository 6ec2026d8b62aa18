// plugins.h --
//
//     Plug-ins and sites: directories of Tcl scripts started through
//     their "start.tcl" in the calling thread's script engine. Plug-ins
//     are found under KIV_PLUGINS_ROOT (default "${KIV_ROOT_PATH}/plugins"),
//     sites under KIV_SITES_ROOT (default "${KIV_ROOT_PATH}/sites"); both
//     may list several roots separated by ";", the first holding the
//     start script wins. Before the start script runs, the namespace kiv
//     holds <kind>_name, <kind>_root, <kind>_error ("") and <kind>_status
//     (0); the script reports success by setting <kind>_status to a
//     non-zero integer, or a reason in <kind>_error.
//
//         kiv_init_app env/app.env   ;# loads KIV_PLUGINS_LIST, then KIV_SITES_LIST
//
//     Everything runs on the calling thread; the script has run when the
//     call returns. Failures write one trace or log line.

#ifndef KIV_CORE_PLUGINS_H
#define KIV_CORE_PLUGINS_H

#include <kiv/core/export.h>
#include <kiv/core/i_script.h>

// Starts the resource `name` of `kind` ("plugin" or "site") in `engine`.
// Returns: true when its start script ran and set <kind>_status to a
//     non-zero integer; false without an engine or name, when no root
//     holds the start script, or when the script failed or left the
//     status 0. The engine's output is kept.
KIV_EXTERN_C bool kiv_load_resource(const char* name, const char* kind, kiv::i_script_engine* engine);
// kiv_load_resource(name, "plugin", the calling thread's engine).
KIV_EXTERN_C bool kiv_load_plugin(const char* plugin_name);
// kiv_load_resource(name, "site", the calling thread's engine).
KIV_EXTERN_C bool kiv_load_site(const char* site_name);
// Loads the environment file `env_path`, then every plug-in of
// KIV_PLUGINS_LIST and every site of KIV_SITES_LIST (names separated by
// ","; empty ones skipped), loading kiv_http before the first site.
// Returns: false at the first failure (what loaded before stays).
KIV_EXTERN_C bool kiv_init_app(const char* env_path);

#endif
