// script_service.cpp --
//
//     The script service: one engine per thread, made on the thread's
//     first request and destroyed on that thread when it ends (through a
//     Tcl thread-exit handler; threads not made by Tcl run the same
//     handler from their thread-local clean-up). Init commands and init
//     files are kept in order and replayed by every engine.
//
//     The service lock guards the table and the two lists only. It is
//     never held while a script runs: init commands and init files load
//     libraries, whose entries and load events come back here (from this
//     thread or another) and may wait for a library another thread is
//     loading. So an engine is made, replayed and validated outside the
//     lock, from copies of the lists taken under it; it sits in the table
//     while it is set up, so a command added meanwhile marks it dirty
//     and it catches up on its next fetch.

#include "script/script_service.h"

#include "script/script_engine.h"

#include "../../platform/platform.h"

#include <kiv/core/ascii_case.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/absolute_path.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/i_kiv_library.h>
#include <kiv/core/log.h>
#include <kiv/core/mutex.h>
#include <kiv/core/process.h>

#include <tcl.h>

#include <cstdlib>
#include <map>

namespace kiv {

struct engine_table {
    struct entry {
        script_engine* engine = nullptr;  // one reference; null between engines
        void* exit_cookie = nullptr;      // the thread-exit handler's data; null when none
        bool building = false;            // the engine is being set up (its thread runs its init scripts)
    };
    mutex lock;                          // the service lock
    std::map<uint32_t, entry> engines;   // by thread id
};

namespace {

const size_t max_library_name = 255;
const char post_load_event[] = "KIV_CORE_EVT_POST_LOAD_LIBRARY";

// Threads not made through Tcl never run Tcl's thread-exit handlers by
// themselves; this clean-up runs them when such a thread ends. A Tcl
// thread has run them already (Tcl_ExitThread) and finds nothing to do.
struct thread_exit_guard {
    int handlers = 0;  // thread-exit handlers of ours registered on this thread
    ~thread_exit_guard() {
        if (handlers > 0)
            Tcl_FinalizeThread();
    }
};

thread_local thread_exit_guard exit_guard;

typedef std::shared_ptr<engine_table> table_ref;

// Destroys the ending thread's engine on that thread.
void engine_thread_ended(ClientData data) {
    table_ref* holder = static_cast<table_ref*>(data);
    table_ref table = *holder;
    delete holder;
    --exit_guard.handlers;
    script_engine* engine = nullptr;
    {
        mutex_locker lock(&table->lock);
        auto found = table->engines.find(kiv_get_thread_id());
        if (found != table->engines.end() && found->second.exit_cookie == data) {
            engine = found->second.engine;
            table->engines.erase(found);
        }
    }
    if (engine != nullptr)
        engine->release();
}

bool valid_library_name(const char* name) {
    size_t length = 0;
    for (const char* p = name; *p != '\0'; ++p, ++length) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (length >= max_library_name || !(ascii_isalnum(c) || c == '_'))
            return false;
    }
    return length > 0;
}

// Returns: the absolute path of `dir_var`/`script` when the variable is
//     set and the file exists, else "".
std::string find_script(const std::string& dir_var, const std::string& script) {
    std::string dir;
    if (!kiv_get_env(dir_var.c_str(), dir) || dir.empty())
        return "";
    std::string rel = "${" + dir_var + "}/" + script;
    std::string path = absolute_path(rel);
    return !path.empty() && kiv_file_exists(path.c_str()) ? path : "";
}

}  // namespace

script_service::script_service() : table_(std::make_shared<engine_table>()) {
    set_name("script_service");
    events_.reset(find_service("svc_event"));
    if (i_event_proc* proc = kiv_cast_i_event_proc(events_))
        proc->install_handler(proc->get_event_type(post_load_event), 0, this,
                              static_cast<kiv_event_function>(&script_service::on_library_loaded));
}

script_service::~script_service() {
    if (i_event_proc* proc = kiv_cast_i_event_proc(events_))
        proc->uninstall_handler(proc->get_event_type(post_load_event), 0, this,
                                static_cast<kiv_event_function>(&script_service::on_library_loaded));
    events_.reset();
    uint32_t self = kiv_get_thread_id();
    script_engine* own = nullptr;
    {
        mutex_locker lock(&table_->lock);
        auto found = table_->engines.find(self);
        if (found != table_->engines.end()) {
            own = found->second.engine;
            if (found->second.exit_cookie != nullptr) {
                Tcl_DeleteThreadExitHandler(engine_thread_ended, found->second.exit_cookie);
                delete static_cast<table_ref*>(found->second.exit_cookie);
                --exit_guard.handlers;
            }
            table_->engines.erase(found);
        }
    }
    if (own != nullptr)
        own->release();
}

// Only the owner thread puts an engine into its slot or takes it out
// (here, at thread end and in the destructor on that thread), so the
// engine found in the calling thread's slot stays alive outside the lock.
i_script_engine* script_service::get_script_engine() {
    uint32_t self = kiv_get_thread_id();
    script_engine* engine = nullptr;
    bool building = false;
    {
        mutex_locker lock(&table_->lock);
        engine_table::entry& slot = table_->engines[self];
        engine = slot.engine;
        building = slot.building;
    }
    if (engine != nullptr) {
        // Asked for again by a script of its own set-up: the same engine.
        if (building || engine->validate(this)) {
            engine->addref();
            return engine;
        }
        {
            mutex_locker lock(&table_->lock);
            table_->engines[self].engine = nullptr;
        }
        engine->release();
    }
    engine = new script_engine;
    engine->addref();  // the table's
    engine->addref();  // the caller's, so a nested fetch and release during set-up never cleans it
    {
        mutex_locker lock(&table_->lock);
        engine_table::entry& slot = table_->engines[self];
        slot.engine = engine;
        slot.building = true;
        if (slot.exit_cookie == nullptr) {
            slot.exit_cookie = new table_ref(table_);
            Tcl_CreateThreadExitHandler(engine_thread_ended, slot.exit_cookie);
            ++exit_guard.handlers;
        }
    }
    bool ok = engine->initialize(this);
    {
        mutex_locker lock(&table_->lock);
        engine_table::entry& slot = table_->engines[self];
        slot.building = false;
        if (!ok && slot.engine == engine)
            slot.engine = nullptr;
    }
    if (!ok) {
        engine->release();
        engine->release();
        return nullptr;
    }
    return engine;
}

script_engine* script_service::note_addition(bool command, const std::string& text) {
    uint32_t self = kiv_get_thread_id();
    script_engine* own = nullptr;
    mutex_locker lock(&table_->lock);
    (command ? init_cmds_ : init_files_).push_back(text);
    for (auto& slot : table_->engines) {
        if (slot.second.engine == nullptr)
            continue;
        if (slot.first == self)
            own = slot.second.engine;
        else
            slot.second.engine->mark_dirty();
    }
    return own;
}

bool script_service::add_init_cmd(const char* cmd_text) {
    if (cmd_text == nullptr)
        return false;
    if (script_engine* own = note_addition(true, cmd_text))
        own->apply_init_cmd(cmd_text);
    return true;
}

bool script_service::add_init_file(const char* file_path) {
    std::string path = file_path != nullptr ? absolute_path(file_path) : std::string();
    if (path.empty())
        return false;
    if (script_engine* own = note_addition(false, path))
        own->apply_init_file(path.c_str());
    return true;
}

std::vector<std::string> script_service::init_cmds() const {
    mutex_locker lock(&table_->lock);
    return init_cmds_;
}

std::vector<std::string> script_service::init_files() const {
    mutex_locker lock(&table_->lock);
    return init_files_;
}

bool script_service::on_library_loaded(i_event* evt) {
    auto_ptr_t<i_object> payload(evt != nullptr ? evt->get_event_object() : nullptr);
    i_kiv_library* library = kiv_cast_i_kiv_library(payload);
    if (library != nullptr)
        bind_library(library->get_handle(), library->get_path());
    return true;
}

void script_service::bind_library(void* module, const char* library_path) {
    if (module == nullptr)
        return;
    typedef const char* (*name_function)();
    name_function library_name =
        reinterpret_cast<name_function>(platform::dl_own_symbol(module, "kiv_library_name"));
    if (library_name == nullptr)
        return;
    const char* raw_name = library_name();
    if (raw_name == nullptr || !valid_library_name(raw_name)) {
        kiv_log(0, "script_service: library name not usable for Tcl; no package or init script bound");
        return;
    }
    std::string name = ascii_lower(raw_name);

    std::string init_function = name + "_Init";
    init_function[0] = static_cast<char>(ascii_toupper(static_cast<unsigned char>(init_function[0])));
    if (library_path != nullptr && platform::dl_own_symbol(module, init_function.c_str()) != nullptr) {
        // load PATH NAME, the path quoted as one word and the package
        // named, so Tcl never guesses it from the file name.
        const char* words[] = {"load", library_path, name.c_str()};
        char* command = Tcl_Merge(3, words);
        add_init_cmd(command);
        Tcl_Free(command);
    }

    std::string script = name + "_init.tcl";
    std::string found = find_script(ascii_upper(name) + "_SCRIPT_PATH", script);
    if (found.empty())
        found = find_script("KIV_SCRIPT_PATH", script);
    if (!found.empty())
        add_init_file(found.c_str());
}

bool script_service::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_script_service", static_cast<i_script_service*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out) ||
        answer_interface(name, "script_service", this, out))
        return true;
    return object::get_interface(name, out);
}

}  // namespace kiv

kiv::script_service* kiv_cast_script_service(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::script_service>(obj, "script_service");
}

kiv::i_script_service* kiv_cast_i_script_service(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_script_service>(obj, "i_script_service");
}

