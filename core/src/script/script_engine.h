// script_engine.h --
//
//     One thread's Tcl interpreter as the script service hands it out: the
//     namespace `kiv` with its preamble, the cache of script files, the
//     Tcl object registry of its scripts, and the output of `puts`. The
//     interpreter is used and deleted only on the thread that made the
//     engine; other threads may only mark the engine dirty.

#ifndef KIV_CORE_SRC_SCRIPT_ENGINE_H
#define KIV_CORE_SRC_SCRIPT_ENGINE_H

#include "script/tcl_registry.h"

#include <kiv/core/i_script.h>
#include <kiv/core/object.h>

#include <tcl.h>

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <unordered_map>

namespace kiv {

class script_file;
class script_service;

class KIV_EXPORT script_engine : public object, public virtual i_script_engine {
public:
    // An engine of the calling thread, without an interpreter until
    // initialize. Becomes the thread's current engine.
    script_engine();
    // On the owner thread: drops the registry's objects and commands, the
    // cached files and the interpreter. Elsewhere the interpreter and its
    // Tcl objects are left alone (they may not be touched there).
    ~script_engine() override;

    // A release that leaves only the service's reference cleans the
    // engine for its next user (see clean()).
    int release() override;
    bool get_interface(const char* name, void** out) override;

    bool execute_text(const char* code) override;
    bool execute_file(const char* path, kiv_script_file_load_function func = nullptr,
                      const void* fparam = nullptr) override;
    bool execute_code(i_script_code* code) override;
    bool register_object(i_object* obj, const char* obj_name, const char* cast_func) override;
    const char* get_output() override { return output_.c_str(); }
    const char* get_error() override;
    int get_error_line() override;
    void reset() override;
    void puts_impl(const char* text) override;
    i_object* get_registration_object() override;

    // Makes the interpreter, runs the service's init commands and then
    // the initialisation step. Called by the service on the owner thread,
    // without its lock (the scripts may load libraries).
    // Returns: false when the interpreter could not be made or set up, or
    //     the preamble failed.
    virtual bool initialize(script_service* service);
    // Returns: whether the engine can be handed out again: yes when
    //     initialised; no when dirty; else the initialisation step decides.
    virtual bool validate(script_service* service);
    // Offers a newly made command to the registry (kept only while the
    // engine is initialised).
    virtual void set_pending_token(i_object* obj, Tcl_Command token);
    // A new init command or file: run at once on the owner thread, which
    // holds no lock of the service meanwhile; the engine becomes dirty.
    virtual void apply_init_cmd(const char* text);
    virtual void apply_init_file(const char* path);
    // Marks the engine for rebuilding at its next fetch. Safe from any
    // thread (the only change another thread may make to an engine).
    void mark_dirty() { dirty_ = true; }

    // Returns: the calling thread's current engine, or null. Borrowed.
    static script_engine* current();
    tcl_registry& registry() { return registry_; }
    uint32_t owner_thread() const { return owner_; }
    bool is_dirty() const { return dirty_.load(); }
    // Returns: the interpreter (for tests on the owner thread), or null.
    Tcl_Interp* interp() const { return interp_; }

private:
    // Runs `script` inside the namespace `kiv`, or
    // raw at global level. Only TCL_ERROR fails; the failure is logged
    // and marks the engine dirty.
    bool evaluate(Tcl_Obj* script, bool in_kiv);
    // Pushes a call frame of the namespace `kiv` (made when missing).
    // Returns: false when that failed; otherwise the caller pops it.
    bool enter_kiv(Tcl_CallFrame* frame);
    // A status of TCL_ERROR is logged and marks the engine dirty.
    // Returns: whether the status was TCL_ERROR.
    bool failed(int status);
    // Calls one command given as words (at most four), without compiling
    // anything, in the current frame. Takes fresh (zero-count) words too.
    // Returns: the Tcl status; the result stays in the interpreter.
    int call_words(std::initializer_list<Tcl_Obj*> words);
    // Runs `text` raw (outside the namespace `kiv`).
    bool evaluate_raw(const char* text);
    bool init_step(script_service* service);
    // Gives the namespace `kiv` the engine object and `source`.
    // Returns: false when a step failed (logged; the engine is dirty).
    bool run_preamble();
    bool execute_file_impl(const char* path, bool raw, kiv_script_file_load_function func, const void* fparam);
    bool on_owner_thread() const;
    // Gets the engine ready for its next user: output and result cleared,
    // namespace `kiv` emptied (deleted when empty_kiv cannot), commands
    // deleted and objects released.
    void clean();
    // Empties the namespace `kiv` in place, keeping it (and so the byte
    // code compiled in it).
    // Returns: false when it holds more than variables and commands; the
    //     caller then deletes it.
    bool empty_kiv();
    // Drops the kept texts of execute_text (owner thread).
    void drop_texts();

    Tcl_Interp* interp_ = nullptr;                 // owned (preserved); null until initialize
    uint32_t owner_;                               // the thread that made the engine
    i_object* registration_ = nullptr;             // set only while register_object runs; borrowed
    Tcl_Obj* reset_script_ = nullptr;              // one Tcl reference; null until initialize
    Tcl_Obj* source_body_ = nullptr;               // body of `source`; one Tcl reference; null until initialize
    // A file in the cache, with the tick of its last run (the cache's
    // own count), so that a full cache lets go of the file unused longest.
    struct cached_file {
        script_file* file;  // one reference
        uint64_t used;
    };
    // Finds the file of `key` in the cache and marks it used. Returns:
    //     the entry, or files_.end().
    KIV_HIDDEN std::map<std::string, cached_file>::iterator find_file(const std::string& key);
    // Puts `file` (one reference, which the cache takes) in the cache
    // under `key`, first letting go of the file unused longest when the
    // cache is full.
    KIV_HIDDEN void keep_file(const std::string& key, script_file* file);

    std::map<std::string, cached_file> files_;     // by the absolute path in one form (path_one_form)
    uint64_t file_uses_ = 0;                       // ticks of the cache's clock
    bool initialized_ = false;                     // preamble and init files ran since the last clean
    tcl_registry registry_;                        // what the scripts hold
    std::atomic<bool> dirty_{false};               // a script failed or an init command/file came
    std::string output_;                           // collected by puts_impl
    std::unordered_map<std::string, Tcl_Obj*> texts_;  // short texts run before; one Tcl reference each
};

}  // namespace kiv

#endif
