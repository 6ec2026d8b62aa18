// script_engine.cpp --
//
//     The script engine: one Tcl interpreter per thread, set up with the
//     service's init commands (outside the namespace `kiv`), the preamble
//     and the init files; cleaned between users and rebuilt after a
//     failure. Only a Tcl error counts as a failure of a script.
//
//     Script text from outside (object and cast names, paths) is handed to
//     Tcl as list elements, never pasted into script source.
//
//     Tcl needs the "C" locale: its `format` writes floating-point numbers
//     through the C library's printf, which takes the decimal point from
//     the calling thread's locale, while Tcl reads numbers back only with
//     a "." (under a decimal comma `expr {[format %.1f $v] + 1}` fails).
//     It formats both when a script runs and when it compiles one (a
//     format of constants is folded then), and host programs switch the
//     process's locale whenever they like. So everything here that hands
//     control to Tcl (evaluations and calls, and the set-up, cleaning and
//     deletion of an interpreter, which run Tcl's init script, traces and
//     delete callbacks) runs inside a c_locale_scope, and the thread gets
//     its own locale back afterwards.

#include "script/script_engine.h"

#include "script/script_service.h"

#include "../../platform/platform.h"

#include <kiv/core/absolute_path.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/c_locale.h>
#include <kiv/core/files.h>
#include <kiv/core/log.h>
#include <kiv/core/path_form.h>
#include <kiv/core/process.h>
#include <kiv/core/script_file.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

// The namespace's tables (to empty `kiv` in place) and the call-frame
// functions, which Tcl 8.6 exports but declares only here.
#include <tclInt.h>

namespace kiv {

namespace {

const char reset_script_text[] = "if {[namespace exists kiv]} { namespace delete kiv }";
// The body of the procedure `source` that the preamble defines.
const char source_body[] = "\n\tvariable kiv_script_engine\n\t$kiv_script_engine execute_file $path\n";
const size_t output_reserve = 262144;
const size_t text_cache_max_length = 4096;  // longer texts are compiled each time
const size_t text_cache_entries = 32;       // a full cache is emptied and starts again
// Script files kept compiled per engine. Far more than the pages of a
// site, so a site never waits for a compile twice; the bound holds what
// a worker keeps whatever names reach it (links that lead in circles
// give a folder endless names).
const size_t file_cache_entries = 1024;

// `kiv::puts TEXT ...`: appends TEXT (the first word only; `-nonewline`
// is a word like any other) to the output of the engine in `data`. A
// command of its own, as the pages call it once for every line.
int puts_command(ClientData data, Tcl_Interp* interp, int objc, Tcl_Obj* const objv[]) {
    Tcl_ResetResult(interp);
    if (objc > 1)
        static_cast<script_engine*>(data)->puts_impl(Tcl_GetString(objv[1]));
    return TCL_OK;
}

thread_local script_engine* current_engine = nullptr;

Tcl_Obj* new_held_object(const char* text) {
    Tcl_Obj* obj = Tcl_NewStringObj(text, -1);
    Tcl_IncrRefCount(obj);
    return obj;
}

}  // namespace

script_engine::script_engine() : owner_(kiv_get_thread_id()), registry_(static_cast<i_object*>(this)) {
    registry_.set_keep_tokens(false);
    current_engine = this;
}

script_engine::~script_engine() {
    if (on_owner_thread()) {
        c_locale_scope in_c;
        if (interp_ != nullptr)
            Tcl_ResetResult(interp_);
        registry_.clear(true);
        for (auto& cached : files_)
            cached.second.file->release();
        drop_texts();
        if (reset_script_ != nullptr)
            Tcl_DecrRefCount(reset_script_);
        if (source_body_ != nullptr)
            Tcl_DecrRefCount(source_body_);
        registry_.attach(nullptr);
        if (interp_ != nullptr) {
            Tcl_DeleteInterp(interp_);
            Tcl_Release(interp_);
        }
    } else {
        // Off the owner thread only the native references may go; the
        // interpreter and the Tcl objects stay untouched.
        registry_.clear(false);
        if (interp_ != nullptr)
            kiv_trace("script_engine: released off its thread; its interpreter is left");
    }
    if (current_engine == this)
        current_engine = nullptr;
}

int script_engine::release() {
    int count = object::release();
    if (count == 1)
        clean();
    return count;
}

bool script_engine::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_script_engine", static_cast<i_script_engine*>(this), out))
        return true;
    return object::get_interface(name, out);
}

script_engine* script_engine::current() {
    return current_engine;
}

bool script_engine::on_owner_thread() const {
    return kiv_get_thread_id() == owner_;
}

bool script_engine::enter_kiv(Tcl_CallFrame* frame) {
    Tcl_Namespace* ns = Tcl_FindNamespace(interp_, "::kiv", nullptr, 0);
    if (ns == nullptr)
        ns = Tcl_CreateNamespace(interp_, "::kiv", nullptr, nullptr);
    return ns != nullptr && Tcl_PushCallFrame(interp_, frame, ns, 0) == TCL_OK;
}

bool script_engine::failed(int status) {
    if (status != TCL_ERROR)
        return false;
    kiv_log(1, "Script error on line %d: %s", Tcl_GetErrorLine(interp_), Tcl_GetStringResult(interp_));
    dirty_ = true;
    return true;
}

bool script_engine::evaluate(Tcl_Obj* script, bool in_kiv) {
    if (interp_ == nullptr || script == nullptr || !on_owner_thread())
        return false;
    c_locale_scope in_c;
    Tcl_IncrRefCount(script);
    int status;
    if (in_kiv) {
        // As "namespace eval kiv SCRIPT" does, but with the script run by
        // itself in a frame of the namespace, so Tcl counts the lines of
        // this script (inside namespace eval every error is on line 1).
        Tcl_CallFrame frame;
        if (!enter_kiv(&frame)) {
            status = TCL_ERROR;
        } else {
            status = Tcl_EvalObjEx(interp_, script, 0);
            Tcl_PopCallFrame(interp_);
        }
    } else {
        status = Tcl_EvalObjEx(interp_, script, TCL_EVAL_GLOBAL);
    }
    Tcl_DecrRefCount(script);
    return !failed(status);
}

int script_engine::call_words(std::initializer_list<Tcl_Obj*> words) {
    c_locale_scope in_c;
    Tcl_Obj* objv[4];
    int objc = 0;
    for (Tcl_Obj* word : words) {
        Tcl_IncrRefCount(word);
        if (objc < 4)
            objv[objc] = word;
        ++objc;
    }
    int status = objc <= 4 ? Tcl_EvalObjv(interp_, objc, objv, 0) : TCL_ERROR;
    for (Tcl_Obj* word : words)
        Tcl_DecrRefCount(word);
    return status;
}

bool script_engine::evaluate_raw(const char* text) {
    if (text == nullptr)
        return false;
    return evaluate(Tcl_NewStringObj(text, -1), false);
}

bool script_engine::initialize(script_service* service) {
    if (service == nullptr)
        return false;
    c_locale_scope in_c;
    reset_script_ = new_held_object(reset_script_text);
    source_body_ = new_held_object(source_body);

    // A new interpreter copies the process environment into its env array
    // and Tcl_Init reads TCL_LIBRARY and friends from it: both read the
    // environment, so they hold it against writers meanwhile. Only Tcl's
    // own start-up runs here, none of our scripts.
    bool set_up;
    {
        platform::env_reading reading;
        interp_ = Tcl_CreateInterp();
        if (interp_ != nullptr) {
            Tcl_Preserve(interp_);
            registry_.attach(interp_);
        }
        set_up = interp_ != nullptr && Tcl_Init(interp_) == TCL_OK;
    }
    if (interp_ == nullptr) {
        kiv_trace("script_engine::init: error creating interpreter");
        return false;
    }
    if (!set_up) {
        kiv_trace("script_engine::init: error initializing TCL interpreter.");
        return false;
    }
    for (const std::string& cmd : service->init_cmds())
        evaluate_raw(cmd.c_str());
    return init_step(service);
}

bool script_engine::init_step(script_service* service) {
    c_locale_scope in_c;
    initialized_ = true;
    registry_.set_keep_tokens(true);
    if (!run_preamble())
        return false;
    Tcl_CreateObjCommand(interp_, "::kiv::puts", puts_command, static_cast<script_engine*>(this), nullptr);
    for (const std::string& path : service->init_files())
        execute_file_impl(path.c_str(), false, nullptr, nullptr);
    return true;
}

bool script_engine::run_preamble() {
    if (interp_ == nullptr || !on_owner_thread())
        return false;
    // The preamble, called word by word in the namespace kiv, as the
    // script "variable kiv_script_engine [_kiv_get_script_engine 0xADDR]
    // ; proc source {path} {...}" would run it: it runs at every hand-out
    // of the engine, and calling its three commands directly spares
    // building, parsing and compiling a script around them.
    Tcl_CallFrame frame;
    if (!enter_kiv(&frame))
        return !failed(TCL_ERROR);
    char address[32];
    std::snprintf(address, sizeof address, "0x%" PRIxPTR, reinterpret_cast<uintptr_t>(this));
    int status = call_words({Tcl_NewStringObj("_kiv_get_script_engine", -1), Tcl_NewStringObj(address, -1)});
    if (status == TCL_OK)
        status = call_words({Tcl_NewStringObj("variable", -1), Tcl_NewStringObj("kiv_script_engine", -1),
                             Tcl_GetObjResult(interp_)});
    if (status == TCL_OK)
        status = call_words({Tcl_NewStringObj("proc", -1), Tcl_NewStringObj("source", -1),
                             Tcl_NewStringObj("path", -1), source_body_});
    Tcl_PopCallFrame(interp_);
    return !failed(status);
}

bool script_engine::validate(script_service* service) {
    if (initialized_)
        return true;
    if (dirty_)
        return false;
    return init_step(service);
}

void script_engine::clean() {
    c_locale_scope in_c;
    reset();
    initialized_ = false;
    if (interp_ != nullptr && on_owner_thread() && !empty_kiv())
        evaluate(reset_script_, false);
    registry_.clear(true);
    registry_.set_keep_tokens(false);
}

namespace {

// Returns: whether the namespace holds only what emptying it in place
//     removes (its variables and commands), with none of the settings a
//     new namespace would lack.
bool plain_namespace(const Namespace* ns) {
    return ns->childTable.numEntries == 0 && ns->ensembles == nullptr && ns->commandPathLength == 0 &&
           ns->commandPathSourceList == nullptr && ns->unknownHandlerPtr == nullptr &&
           ns->numExportPatterns == 0 && ns->cmdResProc == nullptr && ns->varResProc == nullptr &&
           ns->compiledVarResProc == nullptr && ns->deleteProc == nullptr && ns->earlyDeleteProc == nullptr &&
           ns->clientData == nullptr && ns->activationCount == 0 && (ns->flags & (NS_DYING | NS_DEAD)) == 0;
}

// The variable of an entry of a namespace's variable table.
Var* var_of(Tcl_HashEntry* entry) {
    return reinterpret_cast<Var*>(reinterpret_cast<char*>(entry) - offsetof(VarInHash, entry));
}

// Returns: whether a variable entry left in the namespace is one that
//     scripts cannot see (unset and not declared with `variable`).
bool invisible_var(Var* var) {
    return TclIsVarUndefined(var) && !TclIsVarNamespaceVar(var) && !TclIsVarTraced(var) && !TclIsVarLink(var);
}

}  // namespace

bool script_engine::empty_kiv() {
    // The namespace `kiv` stays the same namespace from user to user, so
    // the byte code Tcl compiled for pages and script files in it stays
    // valid (a new namespace makes Tcl compile every script again). What
    // a user left in it goes as deleting the namespace would take it:
    // variables first (their unset traces run), then commands. Anything
    // else (child namespaces, a path, exports, an unknown handler,
    // ensembles, links to other variables) is rare, and the namespace is
    // then deleted as a whole.
    Tcl_Namespace* found = Tcl_FindNamespace(interp_, "::kiv", nullptr, 0);
    if (found == nullptr)
        return true;
    Namespace* ns = reinterpret_cast<Namespace*>(found);
    // A trace or delete callback may put things back; a few rounds at most.
    for (int round = 0; round < 3; ++round) {
        if (!plain_namespace(ns))
            return false;
        std::vector<std::string> vars;
        Tcl_HashSearch search;
        for (Tcl_HashEntry* entry = Tcl_FirstHashEntry(&ns->varTable.table, &search); entry != nullptr;
             entry = Tcl_NextHashEntry(&search)) {
            Var* var = var_of(entry);
            if (invisible_var(var))
                continue;
            const char* name = TclGetString(entry->key.objPtr);
            // A link would unset what it points to, a declared variable
            // without a value stays declared, and a name with a
            // parenthesis would name an array element.
            if (TclIsVarLink(var) || TclIsVarUndefined(var) || std::strchr(name, '(') != nullptr)
                return false;
            vars.push_back(std::string("::kiv::") + name);
        }
        std::vector<std::string> commands;
        for (Tcl_HashEntry* entry = Tcl_FirstHashEntry(&ns->cmdTable, &search); entry != nullptr;
             entry = Tcl_NextHashEntry(&search))
            commands.emplace_back(static_cast<const char*>(Tcl_GetHashKey(&ns->cmdTable, entry)));
        if (vars.empty() && commands.empty())
            return true;
        for (const std::string& name : vars)
            Tcl_UnsetVar2(interp_, name.c_str(), nullptr, TCL_GLOBAL_ONLY);
        // A command's delete callback may delete others of the list, so
        // each is looked up again before it goes.
        for (const std::string& name : commands) {
            Tcl_HashEntry* entry = Tcl_FindHashEntry(&ns->cmdTable, name.c_str());
            if (entry != nullptr)
                Tcl_DeleteCommandFromToken(interp_, static_cast<Tcl_Command>(Tcl_GetHashValue(entry)));
        }
        Tcl_ResetResult(interp_);
    }
    return false;
}

void script_engine::set_pending_token(i_object*, Tcl_Command token) {
    if (on_owner_thread())
        registry_.set_pending_token(token);
}

void script_engine::apply_init_cmd(const char* text) {
    if (on_owner_thread() && interp_ != nullptr)
        evaluate_raw(text);
    dirty_ = true;
}

void script_engine::apply_init_file(const char* path) {
    if (on_owner_thread() && interp_ != nullptr)
        execute_file_impl(path, false, nullptr, nullptr);
    dirty_ = true;
}

bool script_engine::execute_text(const char* code) {
    if (code == nullptr)
        return false;
    // Short texts that come again (a page's set-up, at every request) run
    // from a kept object: the namespace `kiv` stays, so Tcl compiles them
    // once per interpreter.
    size_t length = std::strlen(code);
    if (length > text_cache_max_length || !on_owner_thread())
        return evaluate(Tcl_NewStringObj(code, static_cast<int>(length)), true);
    std::string key(code, length);
    auto kept = texts_.find(key);
    if (kept == texts_.end()) {
        if (texts_.size() >= text_cache_entries)
            drop_texts();
        kept = texts_.emplace(std::move(key), new_held_object(code)).first;
    }
    // evaluate holds its own reference while the text runs, so a nested
    // execute_text that empties the cache cannot free it.
    return evaluate(kept->second, true);
}

void script_engine::drop_texts() {
    for (auto& text : texts_)
        Tcl_DecrRefCount(text.second);
    texts_.clear();
}

bool script_engine::execute_file(const char* path, kiv_script_file_load_function func, const void* fparam) {
    return execute_file_impl(path, false, func, fparam);
}

bool script_engine::execute_file_impl(const char* path, bool raw, kiv_script_file_load_function func,
                                      const void* fparam) {
    if (path == nullptr || !on_owner_thread())
        return false;
    // The cache knows a file by one spelling of its path: "a//b" and
    // "a/./b" would each keep the same file compiled once more.
    std::string key = path_one_form(absolute_path(path));
    if (key.empty())
        return false;
    // The file's stat call is the one load makes: a file that cannot be
    // examined fails there, cached or not.

    auto cached = find_file(key);
    if (cached != files_.end() && cached->second.file->is_raw() == raw) {
        // Held across the run: a nested run may let it go from the cache.
        auto_ptr_t<script_file> file(cached->second.file);
        file->addref();
        if (!file->load(key.c_str(), func, fparam))
            return false;
        return evaluate(file->get_object(), !raw);
    }
    auto_ptr_t<script_file> file(new script_file(raw));
    file->addref();
    if (!file->load(key.c_str(), func, fparam))
        return false;
    if (cached == files_.end()) {
        file->addref();
        keep_file(key, file.get());
    }
    // Else the cache keeps its entry for the other flavour.
    return evaluate(file->get_object(), !raw);
}

std::map<std::string, script_engine::cached_file>::iterator script_engine::find_file(const std::string& key) {
    auto found = files_.find(key);
    if (found != files_.end())
        found->second.used = ++file_uses_;
    return found;
}

void script_engine::keep_file(const std::string& key, script_file* file) {
    if (files_.size() >= file_cache_entries) {
        auto oldest = files_.begin();
        for (auto it = files_.begin(); it != files_.end(); ++it)
            if (it->second.used < oldest->second.used)
                oldest = it;
        script_file* gone = oldest->second.file;
        files_.erase(oldest);
        gone->release();
    }
    files_.emplace(key, cached_file{file, ++file_uses_});
}

bool script_engine::execute_code(i_script_code* code) {
    if (code == nullptr || code->get_thread_id() != owner_ || !on_owner_thread())
        return false;
    Tcl_Obj* compiled = code->get_compiled_code();
    if (compiled == nullptr)
        return false;
    return evaluate(compiled, true);
}

bool script_engine::register_object(i_object* obj, const char* obj_name, const char* cast_func) {
    if (obj_name == nullptr || interp_ == nullptr || !on_owner_thread())
        return false;
    c_locale_scope in_c;
    // What the script "variable NAME [CAST [$kiv_script_engine
    // get_registration_object]]" does in the namespace kiv, called word
    // by word: pages register three objects per request, and calling the
    // commands directly spares building, parsing and compiling a script
    // each time. Outside texts stay single words.
    Tcl_CallFrame frame;
    if (!enter_kiv(&frame))
        return !failed(TCL_ERROR);
    registration_ = obj;
    int status = TCL_ERROR;
    Tcl_Obj* engine_word = Tcl_GetVar2Ex(interp_, "kiv_script_engine", nullptr,
                                         TCL_NAMESPACE_ONLY | TCL_LEAVE_ERR_MSG);
    if (engine_word != nullptr)
        status = call_words({engine_word, Tcl_NewStringObj("get_registration_object", -1)});
    if (status == TCL_OK && cast_func != nullptr && *cast_func != '\0')
        status = call_words({Tcl_NewStringObj(cast_func, -1), Tcl_GetObjResult(interp_)});
    if (status == TCL_OK)
        status = call_words({Tcl_NewStringObj("variable", -1), Tcl_NewStringObj(obj_name, -1),
                             Tcl_GetObjResult(interp_)});
    registration_ = nullptr;
    Tcl_PopCallFrame(interp_);
    return !failed(status);
}

const char* script_engine::get_error() {
    if (interp_ == nullptr || !on_owner_thread())
        return "";
    return Tcl_GetStringResult(interp_);
}

int script_engine::get_error_line() {
    if (interp_ == nullptr || !on_owner_thread())
        return 0;
    return Tcl_GetErrorLine(interp_);
}

void script_engine::reset() {
    if (interp_ != nullptr && on_owner_thread())
        Tcl_ResetResult(interp_);
    output_.clear();
    output_.reserve(output_reserve);
}

void script_engine::puts_impl(const char* text) {
    if (text != nullptr)
        output_ += text;
}

i_object* script_engine::get_registration_object() {
    if (registration_ != nullptr)
        registration_->addref();
    return registration_;
}

}  // namespace kiv

using namespace kiv;

kiv::i_script_engine* _kiv_get_script_engine(long addr) {
    script_engine* engine = script_engine::current();
    if (addr == 0 || engine == nullptr || reinterpret_cast<long>(engine) != addr)
        return nullptr;
    return engine;
}

kiv::i_script_engine* kiv_cast_i_script_engine(kiv::i_object* obj) {
    return cast_interface<i_script_engine>(obj, "i_script_engine");
}
