// tcl_registry.h --
//
//     The Tcl object registry: how scripts hold native objects. Every
//     script engine counts the references its scripts own and remembers
//     the Tcl commands made for each object. When the count of an object
//     falls to 0 its commands go; when the engine is cleaned after a use,
//     every command goes and every counted reference is released, so no
//     object a script held outlives one use of the engine. Pointers coming
//     from scripts are checked against the counts before use.
//
//     These functions work on the calling thread's engine. Objects that
//     answer i_script_object_subsitutor are counted as the object they
//     stand for. Without an engine they do nothing and report success;
//     the engine itself, the core and calls from a thread other than the
//     engine's are exempt (1 or true, nothing changes).

#ifndef KIV_CORE_TCL_REGISTRY_H
#define KIV_CORE_TCL_REGISTRY_H

#include <kiv/core/i_object.h>

#include <tcl.h>

// Offers `token`, the command just made for `obj`, to the engine: the
// next kiv_tcl_addref or kiv_tcl_register_cast binds it to its object.
KIV_EXTERN_C void kiv_tcl_register_object(kiv::i_object* obj, Tcl_Command token);
// Tcl takes one reference to `obj`: with `addref` a new one, without it
// the one the caller already holds (a getter's result).
// Returns: the object's new count with `addref`, else 0 (see above for
//     exempt and absent cases).
KIV_EXTERN_C int kiv_tcl_addref(kiv::i_object* obj, bool addref);
// Tcl gives up one reference; with `release` the native one too. An
// object Tcl does not hold is left alone. At 0 its commands are deleted.
// Returns: 0 (1 when exempt).
KIV_EXTERN_C int kiv_tcl_release(kiv::i_object* obj, bool release);
// Returns: kiv_tcl_release(obj, true).
KIV_EXTERN_C int kiv_release_script_object(kiv::i_object* obj);
// Returns: whether scripts may use `obj`: it is held by the engine (or
//     exempt, or there is no engine).
KIV_EXTERN_C bool kiv_tcl_test_object(kiv::i_object* obj);
// Binds the offered command to `obj` without counting (cast results).
KIV_EXTERN_C void kiv_tcl_register_cast(kiv::i_object* obj);

#endif
