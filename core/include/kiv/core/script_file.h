// script_file.h --
//
//     What an engine runs a file from: a script file in an engine's
//     cache, kept as one Tcl object (so Tcl compiles it once) and reloaded
//     when the file changes on disk. Engines make and keep them; a caller
//     that is handed one as an i_object reaches it through
//     kiv_cast_script_file. Used on the engine's owner thread only.

#ifndef KIV_CORE_SCRIPT_FILE_H
#define KIV_CORE_SCRIPT_FILE_H

#include <kiv/core/i_script.h>
#include <kiv/core/object.h>

#include <tcl.h>

#include <cstdint>
#include <string>

namespace kiv {

class KIV_EXPORT script_file : public object {
public:
    // What tells one state of a file from the next: a file counts as
    // changed when any of these differs.
    struct version {
        int64_t mtime_ns = 0;  // modification time in nanoseconds
        int64_t size = -1;     // bytes; -1 before the first look
        uint64_t inode = 0;    // replaced files get a new inode
        bool operator==(const version& o) const {
            return mtime_ns == o.mtime_ns && size == o.size && inode == o.inode;
        }
    };

    // `raw` files run outside the namespace `kiv`.
    explicit script_file(bool raw);
    // Drops the Tcl reference; must run on the thread that loaded it.
    ~script_file() override;
    // The one Tcl reference is this object's: a copy would drop it twice.
    script_file(const script_file&) = delete;
    script_file& operator=(const script_file&) = delete;

    // Returns: the script object (borrowed), null before the first load.
    virtual Tcl_Obj* get_object() { return script_; }
    // Reads the file when it changed since the last load (its time, size
    // or inode differ; always the first time) through `func`, or the default loader when null.
    // Returns: false when the file cannot be examined or read; the old
    //     script then stays.
    virtual bool load(const char* path, kiv_script_file_load_function func, const void* fparam);
    virtual bool is_raw() { return raw_; }
    // Returns: the path of the first successful load ("" before it).
    virtual const char* get_path() { return path_.c_str(); }
    bool get_interface(const char* name, void** out) override;

private:
    Tcl_Obj* script_ = nullptr;  // one Tcl reference; null before the first load
    version version_;            // the file as it was at the last load
    bool loaded_ = false;        // a load has succeeded
    bool raw_;
    std::string path_;           // set at the first successful load
};

}  // namespace kiv

// Returns: the script file behind `obj` (it answers "script_file"), or
//     null. No reference is added. Any thread.
KIV_EXTERN_C kiv::script_file* kiv_cast_script_file(kiv::i_object* obj);

#endif
