// tcl_registry.cpp --
//
//     The Tcl object registry: the per-interpreter bookkeeping of the
//     references scripts own and of the commands made for each object,
//     the flat functions that reach it through the calling thread's
//     engine, and the variants the generated packages call with their
//     interpreter.
//
//     Commands are deleted only through tokens the registry still knows:
//     every command made for an object tells the registry when Tcl deletes
//     it, so a token is never used after its command is gone.

#include "script/tcl_registry.h"

#include "script/script_engine.h"

#include <kiv/core/c_locale.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_script.h>
#include <kiv/core/object.h>
#include <kiv/core/process.h>
#include <kiv/core/tcl_binding.h>
#include <kiv/core/tcl_registry.h>

#include <iterator>
#include <utility>
#include <vector>

namespace kiv {

namespace {

const char assoc_key[] = "kiv_tcl_registry";

// What a registry call applies to once the object is resolved.
enum class target {
    pass,     // no object or no registry: report success, change nothing
    invalid,  // a substitutor standing for nothing
    exempt,   // the engine, the core, or another thread: success, no change
    counted   // an object the registry counts
};

bool is_exempt(tcl_registry* reg, i_object* obj) {
    i_core* core = kiv_core();
    return obj == reg->exempt() || (core != nullptr && obj == static_cast<i_object*>(core)) ||
           kiv_get_thread_id() != reg->owner_thread();
}

// Resolves a real object (one a C++ caller or a command's result hands
// over): a wrapper is replaced by the object it stands for.
target resolve(tcl_registry* reg, i_object*& obj) {
    if (obj == nullptr || reg == nullptr)
        return target::pass;
    i_script_object_subsitutor* sub =
        cast_interface<i_script_object_subsitutor>(obj, "i_script_object_subsitutor");
    if (sub != nullptr) {
        obj = sub->get_object_pointer();
        if (obj == nullptr)
            return target::invalid;
    }
    return is_exempt(reg, obj) ? target::exempt : target::counted;
}

tcl_registry* thread_registry() {
    script_engine* engine = script_engine::current();
    return engine != nullptr ? &engine->registry() : nullptr;
}

void offer(tcl_registry* reg, Tcl_Command token) {
    if (reg != nullptr && token != nullptr && kiv_get_thread_id() == reg->owner_thread())
        reg->set_pending_token(token);
}

int addref_in(tcl_registry* reg, i_object* obj, bool add) {
    switch (resolve(reg, obj)) {
    case target::exempt:
        return 1;
    case target::counted:
        return reg->addref(obj, add);
    default:
        return 0;
    }
}

int release_in(tcl_registry* reg, i_object* obj, bool release) {
    switch (resolve(reg, obj)) {
    case target::exempt:
        return 1;
    case target::counted:
        return reg->release(obj, release);
    default:
        return 0;
    }
}

bool test_in(tcl_registry* reg, i_object* obj) {
    switch (resolve(reg, obj)) {
    case target::invalid:
        return false;
    case target::counted:
        return reg->test(obj);
    default:
        return true;
    }
}

void register_cast_in(tcl_registry* reg, i_object* obj) {
    if (resolve(reg, obj) == target::counted)
        reg->register_cast(obj);
}

// A plain interpreter's own registry goes with the interpreter. By then
// Tcl is deleting the commands, so only the references are released.
void plain_registry_deleted(ClientData data, Tcl_Interp*) {
    tcl_registry* reg = static_cast<tcl_registry*>(data);
    reg->clear(false);
    delete reg;
}

}  // namespace

tcl_registry::tcl_registry(i_object* exempt) : owner_(kiv_get_thread_id()), exempt_(exempt) {}

tcl_registry::~tcl_registry() {
    attach(nullptr);
}

void tcl_registry::attach(Tcl_Interp* interp) {
    if (interp_ != nullptr && interp_ != interp && of(interp_) == this)
        Tcl_DeleteAssocData(interp_, assoc_key);
    interp_ = interp;
    if (interp_ != nullptr)
        Tcl_SetAssocData(interp_, assoc_key, nullptr, this);
}

tcl_registry* tcl_registry::of(Tcl_Interp* interp) {
    if (interp == nullptr)
        return nullptr;
    return static_cast<tcl_registry*>(Tcl_GetAssocData(interp, assoc_key, nullptr));
}

void tcl_registry::set_pending_token(Tcl_Command token) {
    if (!keep_tokens_)
        return;
    if (pending_ != nullptr) {
        bindings_.emplace(nullptr, pending_);
        owners_[pending_] = nullptr;
    }
    pending_ = token;
}

void tcl_registry::bind_pending(i_object* obj) {
    if (pending_ == nullptr || interp_ == nullptr)
        return;
    bindings_.emplace(obj, pending_);
    owners_[pending_] = obj;
    pending_ = nullptr;
}

int tcl_registry::addref(i_object* obj, bool add) {
    ++counts_[obj];
    int result = add ? obj->addref() : 0;
    bind_pending(obj);
    return result;
}

void tcl_registry::register_cast(i_object* obj) {
    bind_pending(obj);
}

int tcl_registry::release(i_object* obj, bool release) {
    auto count = counts_.find(obj);
    if (count == counts_.end())
        return 0;
    if (--count->second < 1) {
        counts_.erase(count);
        auto names = names_of_.equal_range(obj);
        for (auto it = names.first; it != names.second; ++it) {
            names_.erase(it->second);
            retire_name(it->second);
        }
        names_of_.erase(names.first, names.second);
        std::vector<Tcl_Command> tokens;
        auto range = bindings_.equal_range(obj);
        for (auto it = range.first; it != range.second; ++it) {
            tokens.push_back(it->second);
            owners_.erase(it->second);
        }
        bindings_.erase(range.first, range.second);
        if (interp_ != nullptr) {
            // A delete trace of a command runs a script (see script_engine.cpp
            // for why scripts run in the "C" locale).
            c_locale_scope in_c;
            for (Tcl_Command token : tokens)
                Tcl_DeleteCommandFromToken(interp_, token);
        }
    }
    return release ? obj->release() : 0;
}

void tcl_registry::command_deleted(Tcl_Command token) {
    if (token == pending_) {
        pending_ = nullptr;
        return;
    }
    auto owner = owners_.find(token);
    if (owner == owners_.end())
        return;
    auto range = bindings_.equal_range(owner->second);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == token) {
            bindings_.erase(it);
            break;
        }
    }
    owners_.erase(owner);
}

void tcl_registry::clear(bool delete_commands) {
    // Take everything out first: deleting a command and releasing an
    // object may both call back into the registry.
    std::multimap<i_object*, Tcl_Command> bindings;
    bindings.swap(bindings_);
    owners_.clear();
    Tcl_Command pending = pending_;
    pending_ = nullptr;
    std::map<i_object*, int> counts;
    counts.swap(counts_);
    for (const auto& name : names_of_)
        retire_name(name.second);
    names_.clear();
    names_of_.clear();
    shown_.clear();
    if (delete_commands && interp_ != nullptr && kiv_get_thread_id() == owner_) {
        c_locale_scope in_c;
        for (const auto& binding : bindings)
            Tcl_DeleteCommandFromToken(interp_, binding.second);
        if (pending != nullptr)
            Tcl_DeleteCommandFromToken(interp_, pending);
    }
    for (const auto& count : counts)
        for (int i = 0; i < count.second; ++i)
            count.first->release();
}

void tcl_registry::note_name(const char* name, i_object* obj) {
    auto known = names_.find(name);
    if (known != names_.end())
        return;
    names_.emplace(name, obj);
    names_of_.emplace(obj, name);
    std::string shown(name);
    shown_[shown.substr(0, shown.find('#'))] = shown;
}

i_object* tcl_registry::object_named(const char* name) const {
    auto known = names_.find(name);
    return known != names_.end() ? known->second : nullptr;
}

void tcl_registry::retire_name(const std::string& name) {
    auto shown = shown_.find(name.substr(0, name.find('#')));
    if (shown != shown_.end() && shown->second == name)
        shown_.erase(shown);
    ++retired_;
}

std::string tcl_registry::name_for(const char* base) const {
    auto shown = shown_.find(base);
    if (shown != shown_.end())
        return shown->second;
    if (retired_ == 0)
        return base;
    return std::string(base) + "#" + std::to_string(retired_);
}

int tcl_registry::count_of(i_object* obj) const {
    auto count = counts_.find(obj);
    return count != counts_.end() ? count->second : 0;
}

namespace tcl_binding {

std::recursive_mutex& type_lock() {
    static std::recursive_mutex* lock = new std::recursive_mutex;
    return *lock;
}

int init_package(Tcl_Interp* interp, int (*init)(Tcl_Interp*)) {
    if (interp == nullptr || init == nullptr)
        return TCL_ERROR;
    if (tcl_registry::of(interp) == nullptr) {
        tcl_registry* reg = new tcl_registry(nullptr);
        reg->attach(interp);
        Tcl_SetAssocData(interp, assoc_key, plain_registry_deleted, reg);
    }
    std::lock_guard<std::recursive_mutex> lock(type_lock());
    return init(interp);
}

void register_object(Tcl_Interp* interp, i_object* obj, Tcl_Command token) {
    (void)obj;
    offer(tcl_registry::of(interp), token);
}

void hold(Tcl_Interp* interp, i_object* obj, const char* name, bool cast) {
    tcl_registry* reg = tcl_registry::of(interp);
    switch (resolve(reg, obj)) {
    case target::counted:
        if (cast)
            reg->register_cast(obj);
        else
            reg->addref(obj, false);
        break;
    case target::exempt:
        // The engine is never counted, so the reference the command
        // handed over goes back at once (the engine outlives its scripts);
        // kept, it would stop the engine from ever being cleaned.
        if (!cast && obj == reg->exempt() && kiv_get_thread_id() == reg->owner_thread())
            obj->release();
        break;
    default:
        return;
    }
    if (name != nullptr && kiv_get_thread_id() == reg->owner_thread())
        reg->note_name(name, obj);
}

int addref(Tcl_Interp* interp, i_object* obj) {
    return addref_in(tcl_registry::of(interp), obj, true);
}

std::string object_name(Tcl_Interp* interp, const char* base) {
    tcl_registry* reg = tcl_registry::of(interp);
    if (reg == nullptr || kiv_get_thread_id() != reg->owner_thread())
        return base;
    return reg->name_for(base);
}

bool known(Tcl_Interp* interp, const char* name) {
    tcl_registry* reg = tcl_registry::of(interp);
    if (reg == nullptr || kiv_get_thread_id() != reg->owner_thread())
        return true;
    // The name is only looked up; the pointer inside it is never followed
    // until it proves to be one the registry gave out.
    i_object* obj = reg->object_named(name);
    if (obj == nullptr)
        return false;
    return is_exempt(reg, obj) || reg->test(obj);
}

int release(Tcl_Interp* interp, i_object* obj, bool rel) {
    return release_in(tcl_registry::of(interp), obj, rel);
}

void command_deleted(Tcl_Interp* interp, Tcl_Command token) {
    tcl_registry* reg = tcl_registry::of(interp);
    if (reg != nullptr && kiv_get_thread_id() == reg->owner_thread())
        reg->command_deleted(token);
}

}  // namespace tcl_binding

}  // namespace kiv

using namespace kiv;

void kiv_tcl_register_object(kiv::i_object* obj, Tcl_Command token) {
    (void)obj;
    offer(thread_registry(), token);
}

int kiv_tcl_addref(kiv::i_object* obj, bool addref) {
    return addref_in(thread_registry(), obj, addref);
}

int kiv_tcl_release(kiv::i_object* obj, bool release) {
    // The object's own count, which the registry's release reports to
    // scripts, is not part of this function's answer.
    tcl_registry* reg = thread_registry();
    switch (resolve(reg, obj)) {
    case target::exempt:
        return 1;
    case target::counted:
        reg->release(obj, release);
        return 0;
    default:
        return 0;
    }
}

int kiv_release_script_object(kiv::i_object* obj) {
    return kiv_tcl_release(obj, true);
}

bool kiv_tcl_test_object(kiv::i_object* obj) {
    return test_in(thread_registry(), obj);
}

void kiv_tcl_register_cast(kiv::i_object* obj) {
    register_cast_in(thread_registry(), obj);
}

kiv::i_script_object_subsitutor* kiv_cast_i_script_object_subsitutor(kiv::i_object* obj) {
    return cast_interface<i_script_object_subsitutor>(obj, "i_script_object_subsitutor");
}
