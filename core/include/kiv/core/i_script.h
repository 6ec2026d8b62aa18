// i_script.h --
//
//     Tcl scripting: the script service "svc_script" gives every thread
//     its own interpreter, the script engine. All script text runs inside
//     the Tcl namespace `kiv`, where a preamble provides the engine object
//     ($kiv_script_engine) and replacements for `puts` (collected as the
//     engine's output) and `source` (run through the engine's file cache).
//
//         auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_script"));
//         auto_ptr_t<kiv::i_script_engine> engine(kiv_cast_i_script_service(svc)->get_script_engine());
//         if (engine && engine->execute_text("puts [expr {6 * 7}]"))
//             use(engine->get_output());
//
//     Engines are used only on the thread that asked for them. Between two
//     users an engine drops its namespace `kiv` and the objects its
//     scripts held; after a failed script it is rebuilt from a new
//     interpreter. Libraries add init commands and init files once; every
//     engine replays them.
//
//     Script files may be encrypted: a first line "KIVENCF73" followed by
//     the Base64 form of a method-'2' ciphertext of "svc_encrypt", keyed
//     by the file's own name. That hides scripts from casual reading; it
//     is obfuscation, not protection.

#ifndef KIV_CORE_I_SCRIPT_H
#define KIV_CORE_I_SCRIPT_H

#include <kiv/core/i_object.h>

#include <cstdint>

struct Tcl_Obj;

// Reads the text of a script file.
// Returns: a malloc-ed text the caller frees, or null on failure.
typedef char* (*kiv_script_file_load_function)(const char* path, const void* fparam);

// The start value of kiv_crc32 over a script's base name (with its
// terminator) that gives the 4-byte key of encrypted scripts and pages.
// Every reader of such files uses this one constant.
const uint32_t kiv_script_key_start = 0x4B495653u;

namespace kiv {

// Compiled script text, bound to the thread that made it.
class i_script_code : public virtual i_object {
public:
    // Returns: the creating thread's id.
    virtual unsigned get_thread_id() = 0;
    // Compiles `text` for the namespace `kiv`, replacing the old text.
    // Returns: false for null text or on another thread than the creator.
    virtual bool set_text(const char* text) = 0;
    // Returns: the Tcl object holding the text (borrowed), or null on a
    //     thread other than the creator.
    virtual Tcl_Obj* get_compiled_code() = 0;

protected:
    ~i_script_code() = default;
};

class i_script_engine : public virtual i_object {
public:
    // Runs `code` inside the namespace `kiv`. Only a Tcl error fails (an
    // `error` with an empty message too); `return`, `break` and
    // `continue` at the top level succeed. A failure is logged at level 1
    // as "Script error on line %d: %s" and makes the next use of this
    // thread's engine start from a new interpreter.
    // Returns: false on failure or on a thread other than the owner.
    virtual bool execute_text(const char* code) = 0;
    // Runs a script file (relative paths are under KIV_ROOT_PATH) from the
    // engine's cache, which reloads it when its modification time
    // changes. `func` reads the file (null: the default loader, which also
    // decodes encrypted files), `fparam` is passed to it.
    // Returns: false for a missing or unreadable file, a script error, or
    //     another thread than the owner.
    virtual bool execute_file(const char* path, kiv_script_file_load_function func = nullptr,
                              const void* fparam = nullptr) = 0;
    // Runs compiled code made on this engine's thread.
    // Returns: false for null code, code of another thread, or an error.
    virtual bool execute_code(i_script_code* code) = 0;
    // Sets the variable `obj_name` of the namespace `kiv` to the object,
    // passed first through the cast command `cast_func` when that is not
    // empty (for example "kiv_cast_i_xml_node"). The script holds a
    // reference until the engine is cleaned.
    // Returns: false for a null name or when the command failed.
    virtual bool register_object(i_object* obj, const char* obj_name, const char* cast_func) = 0;
    // Returns: the text collected by `puts` since the last reset (borrowed).
    virtual const char* get_output() = 0;
    // Returns: the interpreter's current result text (borrowed); "" with
    //     no interpreter or on another thread.
    virtual const char* get_error() = 0;
    // Returns: the line of the last error; 0 with no interpreter or on
    //     another thread.
    virtual int get_error_line() = 0;
    // Clears the result and the output.
    virtual void reset() = 0;
    // Appends `text` to the output; no line feed is added.
    virtual void puts_impl(const char* text) = 0;
    // Returns: the object register_object is registering, with one
    //     reference for the caller; null at any other time.
    virtual i_object* get_registration_object() = 0;

protected:
    ~i_script_engine() = default;
};

class i_script_service : public virtual i_object {
public:
    // Returns: the calling thread's engine with one reference for the
    //     caller, made (and initialised) on the thread's first request;
    //     null when no interpreter could be made.
    virtual i_script_engine* get_script_engine() = 0;
    // Adds a script file that every engine runs after its preamble: the
    // calling thread's engine at once, the others when next fetched.
    // Returns: false when the path cannot be made absolute.
    virtual bool add_init_file(const char* file_path) = 0;
    // Adds a Tcl command that every engine runs first in a new
    // interpreter, outside the namespace `kiv`: the calling thread's
    // engine at once, the others when next fetched.
    // Returns: false for null text.
    virtual bool add_init_cmd(const char* cmd_text) = 0;

protected:
    ~i_script_service() = default;
};

// Implemented by wrapper objects that stand for another native object in
// scripts; the Tcl object registry counts the object they stand for.
class i_script_object_subsitutor : public virtual i_object {
public:
    // Returns: the object this wrapper stands for (borrowed), or null.
    virtual i_object* get_object_pointer() = 0;

protected:
    ~i_script_object_subsitutor() = default;
};

class script_service;

}  // namespace kiv

// Returns: the calling thread's engine when `addr` is its address, else
//     null. No reference is added. The preamble calls it from Tcl.
KIV_EXTERN_C kiv::i_script_engine* _kiv_get_script_engine(long addr);
// Compiles `text` for the calling thread.
// Returns: the code with one reference for the caller; null for null text.
KIV_EXTERN_C kiv::i_script_code* kiv_create_script_code(const char* text);
// The default script loader: the file's text, or for a file whose first
// line is "KIVENCF73" the decrypted text. A file that cannot be decoded
// comes back as it is (and then fails as a script).
// Returns: a malloc-ed text the caller frees; null for a null or empty
//     path or an unreadable file.
KIV_EXTERN_C char* kiv_load_script_file(const char* path, const void* fparam);

KIV_EXTERN_C kiv::script_service* kiv_cast_script_service(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_script_service* kiv_cast_i_script_service(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_script_engine* kiv_cast_i_script_engine(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_script_code* kiv_cast_i_script_code(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_script_object_subsitutor* kiv_cast_i_script_object_subsitutor(kiv::i_object* obj);

#endif
