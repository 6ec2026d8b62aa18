// plugins.cpp --
//
//     Plug-ins and sites started through their "start.tcl" (see
//     plugins.h). Every value handed to the start script is one
//     list-quoted word, so roots and names with quotes, "$", brackets or
//     backslashes neither break a command nor run code; status and error
//     are read back as the results of commands, so the engine's output
//     (a page that loads a plug-in keeps what it printed) stays.
//
//     A name is one folder under a root: a name holding "/" or "\\", or
//     "." or "..", would reach a start script outside every root, and is
//     refused before any root is looked at.

#include <kiv/core/plugins.h>

#include <kiv/core/ascii_case.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/config.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv/core/service_ref.h>

#include <tcl.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Returns: the Tcl command "set NAME VALUE", the value one list word.
std::string set_command(const std::string& name, const std::string& value) {
    const char* words[] = {"set", name.c_str(), value.c_str()};
    char* merged = Tcl_Merge(3, words);
    std::string command = merged != nullptr ? merged : "";
    Tcl_Free(merged);
    return command;
}

// Returns: whether `name` names one folder inside a root.
bool stays_in_root(const char* name) {
    return std::strchr(name, '/') == nullptr && std::strchr(name, '\\') == nullptr && std::strcmp(name, ".") != 0 &&
           std::strcmp(name, "..") != 0;
}

// Returns: the non-empty pieces of `text` between `separator`s.
std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos)
            end = text.size();
        if (end > start)
            pieces.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return pieces;
}

// Returns: the value of the variable `name` of the engine's namespace,
//     "" when it cannot be read. The engine's output is not touched.
std::string read_variable(kiv::i_script_engine* engine, const std::string& name) {
    if (!engine->execute_text(("set " + name).c_str()))
        return std::string();
    const char* value = engine->get_error();
    return value != nullptr ? value : "";
}

// The calling thread's engine, with one reference; null without
// "svc_script".
auto_ptr_t<kiv::i_script_engine> calling_engine() {
    auto_ptr_t<kiv::i_script_service> scripts = kiv::service_ref("svc_script", kiv_cast_i_script_service);
    return auto_ptr_t<kiv::i_script_engine>(scripts ? scripts->get_script_engine() : nullptr);
}

}  // namespace

bool kiv_load_resource(const char* name, const char* kind, kiv::i_script_engine* engine) {
    std::string k = kind != nullptr ? kind : "";
    if (engine == nullptr) {
        kiv_trace("kiv_load_%s('%s'): Error fetching script engine. Check if kiv_core library is loaded into core.",
                  k.c_str(), name != nullptr ? name : "(null)");
        return false;
    }
    if (name == nullptr || *name == '\0') {
        kiv_trace("kiv_load_%s: error loading %s with empty name", k.c_str(), k.c_str());
        return false;
    }
    if (!stays_in_root(name)) {
        kiv_log(0, "kiv_load_%s('%s'): refused: a %s name may not hold '/' or '\\' nor be '.' or '..'", k.c_str(),
                name, k.c_str());
        return false;
    }
    std::string roots_variable = "KIV_" + kiv::ascii_upper(k) + "S_ROOT";
    std::string roots;
    if (!kiv_get_env(roots_variable.c_str(), roots) || roots.empty())
        roots = "${KIV_ROOT_PATH}/" + k + "s";
    auto_string absolute(kiv_get_absolute_path(roots.c_str()));
    if (!absolute.is_ok()) {
        kiv_trace("kiv_load_%s('%s'): Invalid %ss path pointed by environment variable '%s'", k.c_str(), name,
                  k.c_str(), roots_variable.c_str());
        return false;
    }
    std::string root;
    std::string script;
    for (const std::string& candidate : split(static_cast<const char*>(absolute), ';')) {
        std::string path = candidate + "/" + name + "/start.tcl";
        if (kiv_file_exists(path.c_str())) {
            root = candidate;
            script = path;
            break;
        }
    }
    if (script.empty()) {
        kiv_trace("kiv_load_%s('%s'): Could not find %s directory.", k.c_str(), name, k.c_str());
        return false;
    }
    engine->execute_text(set_command(k + "_name", name).c_str());
    engine->execute_text(set_command(k + "_root", root + "/" + name).c_str());
    engine->execute_text(set_command(k + "_error", "").c_str());
    engine->execute_text(set_command(k + "_status", "0").c_str());
    if (!engine->execute_file(script.c_str())) {
        const char* error = engine->get_error();
        kiv_log(0, "kiv_load_%s('%s'). Error loading %s. %s", k.c_str(), name, k.c_str(),
                error != nullptr ? error : "(null)");
        return false;
    }
    if (std::atoi(read_variable(engine, k + "_status").c_str()) != 0)
        return true;
    std::string error = read_variable(engine, k + "_error");
    kiv_log(0, "kiv_load_%s('%s'). Error loading %s. %s", k.c_str(), name, k.c_str(), error.c_str());
    return false;
}

bool kiv_load_plugin(const char* plugin_name) {
    auto_ptr_t<kiv::i_script_engine> engine(calling_engine());
    return kiv_load_resource(plugin_name, "plugin", engine.get());
}

bool kiv_load_site(const char* site_name) {
    auto_ptr_t<kiv::i_script_engine> engine(calling_engine());
    return kiv_load_resource(site_name, "site", engine.get());
}

bool kiv_init_app(const char* env_path) {
    kiv_log(0, "kiv_init_app('%s')", env_path != nullptr ? env_path : "(null)");
    if (!kiv_load_environment(env_path)) {
        kiv_log(0, "kiv_init_app: Error loading environment");
        return false;
    }
    auto_ptr_t<kiv::i_script_engine> engine(calling_engine());
    for (const std::string& name : split(kiv_get_env("KIV_PLUGINS_LIST"), ',')) {
        kiv_trace("Loading KIV plugin: '%s'...", name.c_str());
        if (!kiv_load_resource(name.c_str(), "plugin", engine.get())) {
            kiv_log(0, "Error: couldn`t load KIV plugin: '%s'.", name.c_str());
            return false;
        }
    }
    bool http_loaded = false;
    for (const std::string& name : split(kiv_get_env("KIV_SITES_LIST"), ',')) {
        if (!http_loaded) {
            kiv::i_core* core = kiv_core();
            if (core == nullptr || core->load_library("kiv_http") == nullptr) {
                kiv_log(0, "Error: couldn`t load kiv_http module into core.");
                return false;
            }
            http_loaded = true;
        }
        kiv_trace("Loading KIV site: '%s'...", name.c_str());
        if (!kiv_load_resource(name.c_str(), "site", engine.get())) {
            kiv_log(0, "Error: couldn`t load KIV site: '%s'.", name.c_str());
            return false;
        }
    }
    return true;
}
