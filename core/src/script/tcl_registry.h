// tcl_registry.h --
//
//     The registry behind the Tcl object registry functions: for one
//     interpreter, the references its scripts own (a count per object),
//     the Tcl commands made for each object and the pointer names scripts
//     were given, against which pointers coming back are checked. A script engine owns one;
//     a plain interpreter that loads a package gets one of its own. It is
//     used only on its owner thread.

#ifndef KIV_CORE_SRC_TCL_REGISTRY_H
#define KIV_CORE_SRC_TCL_REGISTRY_H

#include <kiv/core/i_object.h>

#include <tcl.h>

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

namespace kiv {

class tcl_registry {
public:
    // `exempt` (may be null) is never counted: the engine that owns the
    // registry. The owner thread is the calling thread.
    explicit tcl_registry(i_object* exempt);
    tcl_registry(const tcl_registry&) = delete;
    tcl_registry& operator=(const tcl_registry&) = delete;
    // Detaches; the owner has called clear() before.
    ~tcl_registry();

    // Makes the registry the one of `interp` (found by of()); null detaches.
    void attach(Tcl_Interp* interp);
    Tcl_Interp* interp() const { return interp_; }
    // Returns: the registry attached to `interp`, or null.
    static tcl_registry* of(Tcl_Interp* interp);

    uint32_t owner_thread() const { return owner_; }
    i_object* exempt() const { return exempt_; }
    // While false, offered commands are not kept (an engine that is not
    // initialised).
    void set_keep_tokens(bool keep) { keep_tokens_ = keep; }

    // The operations of tcl_registry.h on an object already resolved
    // (not null, not exempt, substitutors applied).
    void set_pending_token(Tcl_Command token);
    int addref(i_object* obj, bool add);
    // Returns: the object's count after its release when `release`,
    //     else 0 (0 too for an object it does not count).
    int release(i_object* obj, bool release);
    bool test(i_object* obj) const { return counts_.count(obj) != 0; }
    void register_cast(i_object* obj);
    // Forgets a command Tcl is deleting (by a script, a namespace going,
    // or the interpreter going), so it is never deleted twice.
    void command_deleted(Tcl_Command token);
    // Deletes every bound and offered command (when `delete_commands` and
    // attached), then releases every counted object as often as counted.
    void clear(bool delete_commands);

    // Remembers `name`, the pointer name a script was given, as naming
    // `obj` (already resolved).
    void note_name(const char* name, i_object* obj);
    // Returns: the object a script's pointer name stands for, or null when
    //     the registry never gave that name out or its object is gone.
    i_object* object_named(const char* name) const;
    // Returns: the name under which the object whose plain pointer name
    //     is `base` is shown to scripts: the name it holds now, else
    //     `base` itself while no name was ever given up, else `base` with
    //     "#" and the count of names given up so far, so an old name kept
    //     in a variable never comes to stand for a newer object at the
    //     same address.
    std::string name_for(const char* base) const;

    // Returns: how many references scripts own on `obj` (for tests).
    int count_of(i_object* obj) const;

private:
    void bind_pending(i_object* obj);
    // A name is given up: the next name of its pointer carries a later
    // serial.
    void retire_name(const std::string& name);
    Tcl_Interp* interp_ = nullptr;  // the interpreter it is attached to; null when none
    uint32_t owner_;                 // thread that made it; other threads are exempt
    i_object* exempt_;               // never counted; borrowed
    bool keep_tokens_ = true;
    std::map<i_object*, int> counts_;                  // references scripts own, each > 0
    std::multimap<i_object*, Tcl_Command> bindings_;   // commands per object; null key: never released
    std::unordered_map<Tcl_Command, i_object*> owners_; // the same bindings by command
    Tcl_Command pending_ = nullptr;                     // offered, not yet bound; null when none
    std::unordered_map<std::string, i_object*> names_;  // pointer names given to scripts
    std::multimap<i_object*, std::string> names_of_;    // the same names by object
    // Plain pointer name -> the name its object is shown under now, for
    // the names in names_ only, so it stays as small as what scripts hold.
    std::unordered_map<std::string, std::string> shown_;
    // Names given up over the registry's life (across clear()). A pointer
    // named anew gets "#" and this serial, which is above the serial of
    // every name of that pointer given up before, so a name is never
    // given twice without keeping a record per pointer ever seen (a
    // server's pages see a new request address for every request).
    uint64_t retired_ = 0;
};

}  // namespace kiv

#endif
