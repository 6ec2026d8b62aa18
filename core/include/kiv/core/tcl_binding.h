// tcl_binding.h --
//
//     What the generated Tcl packages of every library call: the Tcl
//     object registry of a given interpreter (an engine's, or one of its
//     own for a plain interpreter such as tclsh that loads a package), and
//     the one lock that guards the type tables the packages share in the
//     process. Scripts never see these; cmake's kiv_add_tcl_package wires
//     them into each package.

#ifndef KIV_CORE_TCL_BINDING_H
#define KIV_CORE_TCL_BINDING_H

#include <kiv/core/i_object.h>

#include <tcl.h>

#include <mutex>
#include <string>

namespace kiv::tcl_binding {

// Runs a package's generated initialiser `init` for `interp` under the
// type lock, after giving a plain interpreter a registry of its own
// (released with the interpreter).
// Returns: the initialiser's result; TCL_ERROR for a null interpreter.
KIV_EXPORT int init_package(Tcl_Interp* interp, int (*init)(Tcl_Interp*));

// The registry of `interp` (with none, these do nothing and every name
// is accepted).
// Offers `token`, the command just made for `obj`.
KIV_EXPORT void register_object(Tcl_Interp* interp, i_object* obj, Tcl_Command token);
// A command hands `obj` to the script under the pointer name `name`: Tcl
// adopts the reference the command's function returned, or, for a cast,
// takes none (the object is the same). The name is remembered.
KIV_EXPORT void hold(Tcl_Interp* interp, i_object* obj, const char* name, bool cast);
// Returns: whether `name`, a pointer name coming from a script, was given
//     out by this registry for an object it still holds (or exempts).
KIV_EXPORT bool known(Tcl_Interp* interp, const char* name);
// kiv_tcl_release for an object a known name stands for: a script gives
// up one of the references its registry counts (i_object_release,
// kiv_release and delete_i_... all come here).
KIV_EXPORT int release(Tcl_Interp* interp, i_object* obj, bool release);
// kiv_tcl_addref for an object a known name stands for: one more
// reference, counted by the registry (i_object_addref comes here).
// Returns: the object's new count; 1 for an exempt object.
KIV_EXPORT int addref(Tcl_Interp* interp, i_object* obj);
// Returns: the name under which the registry of `interp` shows the object
//     whose plain pointer name is `base` (the name SWIG makes): `base`, or
//     `base` with a "#" generation suffix once an earlier object at that
//     address was given up, so stale names are never reused.
KIV_EXPORT std::string object_name(Tcl_Interp* interp, const char* base);
// The command `token` is being deleted; its binding is forgotten.
KIV_EXPORT void command_deleted(Tcl_Interp* interp, Tcl_Command token);

// Serialises work on the type tables the generated packages share across
// threads (package set-up, pointer conversion). Recursive.
KIV_EXPORT std::recursive_mutex& type_lock();

}  // namespace kiv::tcl_binding

#endif
