// kiv_swig.i --
//
//     The glue every library's generated Tcl package shares, so that all
//     of them follow one scripting convention:
//
//       - interface methods are commands named interface_method, with a
//         cast (kiv_cast_i_...) and a delete command (delete_i_...) per
//         interface; flat functions keep their names;
//       - every native object a command hands to Tcl is counted in the
//         interpreter's Tcl object registry (a result of a cast is not
//         counted, it is the same object), pointers coming from scripts
//         are checked against it, and delete_i_... gives the reference
//         back through it; nothing here ever calls C++ delete;
//       - a method refuses a null object with a Tcl error, and a C++
//         exception thrown below a command becomes a Tcl error;
//       - scripts release and addref through the registry, and a pointer
//         name once given up is never given out again;
//       - heap texts (char* results) are freed after copying, byte blocks
//         travel as Tcl byte arrays with their length;
//       - SWIG's process-wide type tables, shared by all packages in one
//         type table, are only changed under one lock, and its per-class
//         method tables are built once per process rather than again for
//         every interpreter, since engines on many threads load packages.
//
//     Each package's interface file includes this first.

%begin %{
// The method tables are process-wide: build them once, under the package
// lock (see kiv_swig_install_tables below).
#define SWIG_Tcl_InstallMethodLookupTables(x) kiv_swig_install_tables##x(x)
%}

%include <stdint.i>

%header %{
#include <kiv/core/i_core.h>
#include <kiv/core/tcl_binding.h>

#include <cxxabi.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <string>

// Constants become variables of the interpreter only; SWIG's own table
// of them is process-wide and would keep Tcl objects of other threads.
#undef SWIG_SetConstant
#define SWIG_SetConstant(name, obj) Tcl_ObjSetVar2(interp, Tcl_NewStringObj(name, -1), NULL, obj, TCL_GLOBAL_ONLY)

// The object command of a native object: SWIG's instance record followed
// by the interpreter, so the command can tell the registry when it goes.
struct kiv_swig_instance {
    swig_instance base;
    Tcl_Interp* interp;
};

static void kiv_swig_instance_deleted(ClientData data) {
    kiv_swig_instance* inst = static_cast<kiv_swig_instance*>(data);
    kiv::tcl_binding::command_deleted(inst->interp, inst->base.cmdtok);
    SWIG_Tcl_ObjectDelete(data);
}

// Object commands dispatch methods as SWIG does, but refuse -acquire and
// -disown: ownership of native objects belongs to the registry.
static int kiv_swig_method_command(ClientData data, Tcl_Interp* interp, int objc, Tcl_Obj* CONST objv[]) {
    if (objc >= 2) {
        const char* word = Tcl_GetString(objv[1]);
        if (std::strcmp(word, "-acquire") == 0 || std::strcmp(word, "-disown") == 0) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("ownership of \"%s\" cannot be changed from scripts",
                                                   Tcl_GetString(objv[0])));
            return TCL_ERROR;
        }
    }
    return SWIG_Tcl_MethodCommand(data, interp, objc, objv);
}

// Whether a wrapper named `name` hands over no reference: a cast, whose
// result is the same object under another interface and so is not
// counted again, or the preamble's look-up of its own engine.
static constexpr bool kiv_swig_starts_with(const char* name, const char* prefix) {
    for (; *prefix != '\0'; ++prefix, ++name)
        if (*name != *prefix)
            return false;
    return true;
}
static constexpr bool kiv_swig_is_cast(const char* name) {
    return kiv_swig_starts_with(name, "kiv_cast_") || kiv_swig_starts_with(name, "_kiv_get_script_engine");
}

// The Tcl result for a native object handed to a script: its pointer
// name, with an object command the first time, counted in (or, for a
// cast, bound to) the registry of `interp`. Getters and creators hand
// over one reference, which Tcl adopts.
static Tcl_Obj* kiv_swig_new_object(Tcl_Interp* interp, void* ptr, swig_type_info* type, kiv::i_object* obj,
                                    bool cast) {
    Tcl_Obj* result = SWIG_NewPointerObj(ptr, type, 0);
    if (obj != nullptr) {
        // The registry may add a serial to the plain pointer name.
        std::string shown = kiv::tcl_binding::object_name(interp, Tcl_GetString(result));
        if (shown != Tcl_GetString(result)) {
            Tcl_IncrRefCount(result);
            Tcl_DecrRefCount(result);
            result = Tcl_NewStringObj(shown.c_str(), static_cast<int>(shown.size()));
        }
    }
    if (ptr != nullptr && type->clientdata != nullptr) {
        const char* name = Tcl_GetString(result);
        Tcl_CmdInfo info;
        if (!Tcl_GetCommandInfo(interp, name, &info)) {
            kiv_swig_instance* inst = static_cast<kiv_swig_instance*>(std::malloc(sizeof(kiv_swig_instance)));
            if (inst != nullptr) {
                inst->base.thisptr = Tcl_DuplicateObj(result);
                Tcl_IncrRefCount(inst->base.thisptr);
                inst->base.thisvalue = ptr;
                inst->base.classptr = static_cast<swig_class*>(type->clientdata);
                inst->base.destroy = 0;
                inst->interp = interp;
                inst->base.cmdtok = Tcl_CreateObjCommand(interp, name, kiv_swig_method_command, inst,
                                                         kiv_swig_instance_deleted);
                kiv::tcl_binding::register_object(interp, obj, inst->base.cmdtok);
            }
        }
    }
    if (obj != nullptr)
        kiv::tcl_binding::hold(interp, obj, Tcl_GetString(result), cast);
    return result;
}

// The conversion found a pointer name this interpreter never gave out, or
// one whose object it no longer holds.
#define KIV_SWIG_NOT_HELD (SWIG_ERROR - 100)

// Pointer conversion from a pointer name ("_<hex>_p_<type>", perhaps
// followed by "#" and the registry's serial) or "NULL".
// The name must be one the interpreter's registry gave out for an object
// it still holds; only then is the pointer inside it used at all (even a
// cast to a base interface reads the object). Done here rather than by
// SWIG's runtime, which
//   - casts to the wanted interface only while the object's command still
//     exists (a name kept in a variable after its command went would
//     come back as the wrong sub-object),
//   - evaluates "info commands" and "<arg> cget -this" built from the
//     text of any other argument,
//   - and reorders its shared cast lists while looking (so the look-up
//     runs under the type lock).
static int kiv_swig_convert_ptr(Tcl_Interp* interp, Tcl_Obj* obj, void** ptr, swig_type_info* type, int flags) {
    const char* text = Tcl_GetString(obj);
    *ptr = nullptr;
    if (std::strcmp(text, "NULL") == 0)
        return (flags & SWIG_POINTER_NO_NULL) != 0 ? SWIG_NullReferenceError : SWIG_OK;
    if (text[0] != '_')
        return SWIG_TypeError;
    void* raw = nullptr;
    const char* type_name = SWIG_UnpackData(text + 1, &raw, sizeof(void*));
    if (type_name == nullptr)
        return SWIG_TypeError;
    std::string type_part;
    if (const char* mark = std::strchr(type_name, '#')) {
        type_part.assign(type_name, mark);
        type_name = type_part.c_str();
    }
    std::lock_guard<std::recursive_mutex> lock(kiv::tcl_binding::type_lock());
    swig_cast_info* cast = type != nullptr ? SWIG_TypeCheck(type_name, type) : nullptr;
    if (type != nullptr && cast == nullptr)
        return SWIG_TypeError;
    if (!kiv::tcl_binding::known(interp, text))
        return KIV_SWIG_NOT_HELD;
    int new_memory = 0;
    *ptr = cast != nullptr ? SWIG_TypeCast(cast, raw, &new_memory) : raw;
    return SWIG_OK;
}
#undef SWIG_ConvertPtr
#define SWIG_ConvertPtr(oc, ptr, ty, flags) kiv_swig_convert_ptr(interp, oc, ptr, ty, flags)

// Sets the error result for a pointer argument that did not convert.
static void kiv_swig_pointer_error(Tcl_Interp* interp, int code, const char* command, int arg, const char* type) {
    if (code == KIV_SWIG_NOT_HELD)
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: object not held by this interpreter", command));
    else
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: argument %d is not a %s", command, arg, type));
}

// Functions outside wrappers (SWIG's per-class destructors, never used
// since instances are never owned by Tcl) see no interpreter.
static Tcl_Interp* const interp = nullptr;

extern "C" {
static void kiv_swig_install_tablesvoid(void);
}
static void kiv_swig_install_tables() {
    static bool done = false;
    if (!done) {
        kiv_swig_install_tablesvoid();
        done = true;
    }
}

// Sets the result to `size` bytes as a byte array.
// Returns: false with an error result when Tcl cannot hold that many.
static bool kiv_swig_set_bytes(Tcl_Interp* interp, const void* data, unsigned size) {
    if (size > static_cast<unsigned>(INT_MAX)) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("byte block too large for a Tcl value", -1));
        return false;
    }
    Tcl_SetObjResult(interp, Tcl_NewByteArrayObj(static_cast<const unsigned char*>(data), static_cast<int>(size)));
    return true;
}

// Binary-safe bytes of a Tcl value (a string counts as its bytes).
static const void* kiv_swig_bytes(Tcl_Obj* obj, unsigned long* size) {
    int length = 0;
    const unsigned char* bytes = Tcl_GetByteArrayFromObj(obj, &length);
    *size = length > 0 ? static_cast<unsigned long>(length) : 0;
    return bytes;
}
%}

%init %{
    {
        // SWIG resolves base classes lazily while dispatching methods;
        // resolve them here, under the package lock, so dispatch on many
        // threads only reads. The class commands (constructors of
        // abstract interfaces) are dropped: scripts get objects from
        // functions only.
        for (size_t i = 0; i < swig_module.size; ++i) {
            swig_type_info* type = swig_module.type_initial[i];
            if (type->clientdata == nullptr)
                continue;
            swig_class* cls = static_cast<swig_class*>(type->clientdata);
            for (int b = 0; cls->base_names != nullptr && cls->base_names[b] != nullptr; ++b) {
                if (cls->bases[b] == nullptr) {
                    swig_type_info* base = SWIG_TypeQueryModule(cls->module, cls->module, cls->base_names[b]);
                    if (base != nullptr)
                        cls->bases[b] = static_cast<swig_class*>(base->clientdata);
                }
            }
            Tcl_DeleteCommand(interp, cls->name);
        }
    }
%}

// Default arguments give optional Tcl arguments of one command.
%feature("compactdefaultargs");

// Only functions and interface methods are wrapped.
%ignore kiv::i_object::get_interface;
%nodefaultctor;

// delete_i_... gives Tcl's reference back through the registry, and so do
// the script's release calls: a release behind the registry's back would
// free the object while its name still passes as held. An addref is
// counted there too, so the script's release balances it.
%feature("unref") "kiv::tcl_binding::release(interp, $this, true);";
%feature("action") kiv::i_object::release "result = kiv::tcl_binding::release(interp, arg1, true);";
%feature("action") kiv::i_object::addref "result = kiv::tcl_binding::addref(interp, arg1);";
%feature("action") kiv_release "kiv::tcl_binding::release(interp, arg1, true);";

// SWIG wraps addref and release once, under i_object. A library whose
// scripts are promised i_xxx_addref and i_xxx_release for an interface
// of its own names it here; the commands count through the registry
// exactly as i_object_addref and i_object_release do.
%define KIV_SCRIPT_REFERENCE_COUNT(IFACE)
%feature("action") kiv::IFACE::addref "result = kiv::tcl_binding::addref(interp, arg1);";
%feature("action") kiv::IFACE::release "result = kiv::tcl_binding::release(interp, arg1, true);";
%extend kiv::IFACE {
    int addref();
    int release();
}
%enddef

// No C++ exception leaves a command: each becomes a Tcl error naming the
// command. The unwinding of a thread that ends (Tcl_ExitThread) passes.
%exception {
    try {
        $action
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (const std::bad_alloc&) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: out of memory", "$symname"));
        SWIG_fail;
    } catch (const std::exception& e) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: %s", "$symname", e.what()));
        SWIG_fail;
    } catch (...) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: unexpected failure", "$symname"));
        SWIG_fail;
    }
}

// Native objects handed to scripts.
%typemap(out) SWIGTYPE* {
    Tcl_SetObjResult(interp, kiv_swig_new_object(interp, SWIG_as_voidptr($1), $descriptor, $1,
                                                 kiv_swig_is_cast("$symname")));
}
%typemap(out) void*, const void* {
    Tcl_SetObjResult(interp, SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, 0));
}
// Objects from scripts: only names this interpreter gave out for objects
// it holds; the object of a method must be there.
%typemap(in) SWIGTYPE* {
    void* ptr_$argnum = nullptr;
    int res_$argnum = kiv_swig_convert_ptr(interp, $input, &ptr_$argnum, $descriptor, 0);
    if (!SWIG_IsOK(res_$argnum)) {
        kiv_swig_pointer_error(interp, res_$argnum, "$symname", $argnum, "$1_type");
        SWIG_fail;
    }
    $1 = reinterpret_cast<$1_ltype>(ptr_$argnum);
}
%typemap(check) SWIGTYPE* self {
    if ($1 == nullptr) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: null object", "$symname"));
        SWIG_fail;
    }
}

// Paths are taken under the framework's root, which kiv_initialize sets:
// in a plain tclsh a call that needs one before kiv_initialize (or after
// kiv_terminate) says so instead of failing silently.
%typemap(check) const char* file_path, const char* rel_path, const char* path, const char* paths,
                const char* dir, const char* env_path {
    if (kiv_core() == nullptr) {
        Tcl_SetObjResult(interp, Tcl_ObjPrintf("%s: the framework is not started: call kiv_initialize first",
                                               "$symname"));
        SWIG_fail;
    }
}

// Heap texts: copied into Tcl, then freed.
%typemap(out) char* {
    Tcl_SetObjResult(interp, Tcl_NewStringObj($1 != nullptr ? $1 : "", -1));
    std::free($1);
}

// Byte blocks with their size, as Tcl byte arrays.
%typemap(in) (const void* data, unsigned size), (const void* data, unsigned data_size),
             (const void* data, unsigned data_length), (const void* data, unsigned long data_size),
             (const void* key, unsigned key_size), (const void* buf, unsigned buf_size) {
    unsigned long size_$argnum = 0;
    $1 = ($1_ltype)kiv_swig_bytes($input, &size_$argnum);
    $2 = ($2_ltype)size_$argnum;
}
%typemap(out) const void* get_data {
    if (!kiv_swig_set_bytes(interp, $1, $1 != nullptr ? arg1->get_data_size() : 0))
        SWIG_fail;
}
%typemap(out) const void* get_block_ptr {
    if (!kiv_swig_set_bytes(interp, $1, $1 != nullptr ? arg1->get_block_size() : 0))
        SWIG_fail;
}

// A method character may be given as itself ("2") or as its code (50).
%typemap(in) unsigned char method {
    int length_$argnum = 0;
    const char* text_$argnum = Tcl_GetStringFromObj($input, &length_$argnum);
    if (length_$argnum == 1) {
        $1 = static_cast<unsigned char>(text_$argnum[0]);
    } else {
        int code_$argnum = 0;
        if (Tcl_GetIntFromObj(interp, $input, &code_$argnum) != TCL_OK)
            SWIG_fail;
        $1 = static_cast<unsigned char>(code_$argnum);
    }
}

// Loader functions and their parameter are for C++ callers only.
%typemap(in, numinputs=0) kiv_script_file_load_function func "$1 = nullptr;"
%typemap(in, numinputs=0) const void* fparam "$1 = nullptr;"

#define KIV_EXPORT
#define KIV_EXTERN_C
#define KIV_PRINTF(a, b)
