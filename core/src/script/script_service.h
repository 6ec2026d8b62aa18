// script_service.h --
//
//     The script service, registered by the core as "svc_script": the
//     table of engines by thread, the init commands and init files every
//     engine replays, and the binding of newly loaded libraries into Tcl.
//
//     The table lives apart from the service (shared with the thread-exit
//     hooks), so a thread that ends after the service went still destroys
//     its own engine on its own thread.

#ifndef KIV_CORE_SRC_SCRIPT_SERVICE_H
#define KIV_CORE_SRC_SCRIPT_SERVICE_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_script.h>
#include <kiv/core/string_impl.h>

#include <memory>
#include <string>
#include <vector>

namespace kiv {

struct engine_table;

class i_event;
class script_engine;

class KIV_EXPORT script_service : public object,
                                  public virtual i_named_object_impl,
                                  public virtual i_script_service {
public:
    // Installs the handler of "KIV_CORE_EVT_POST_LOAD_LIBRARY" (object id
    // 0) with the event service, when there is one.
    script_service();
    // Uninstalls the handler and releases the calling thread's engine;
    // engines of other threads are left to those threads, which destroy
    // them when they end.
    ~script_service() override;

    i_script_engine* get_script_engine() override;
    bool add_init_file(const char* file_path) override;
    bool add_init_cmd(const char* cmd_text) override;
    // Answers "i_script_service", "i_named_object" and "script_service".
    bool get_interface(const char* name, void** out) override;

    // The post-load handler: binds the library the event carries (an
    // i_kiv_library). Returns: true, so later handlers see the event too.
    bool on_library_loaded(i_event* evt);

    // The reaction to a loaded library ("KIV_CORE_EVT_POST_LOAD_LIBRARY"):
    // for the library in `module` (loaded from `library_path`), adds the
    // init command that loads its Tcl package when it exports one
    // (Kiv_name_Init), and its init script "name_init.tcl" from
    // ${NAME_SCRIPT_PATH} or else ${KIV_SCRIPT_PATH} when such a file
    // exists. Libraries without kiv_library_name, or whose name is not
    // made of letters, digits and "_" (at most 255), are not bound.
    void bind_library(void* module, const char* library_path);

    // Returns: copies of the lists engines replay, in the order added.
    // Safe from any thread.
    std::vector<std::string> init_cmds() const;
    std::vector<std::string> init_files() const;

private:
    // Appends `text` to the init commands (`command`) or files, and marks
    // every other thread's engine dirty, under the service lock.
    // Returns: the calling thread's engine, which the caller runs the
    //     addition in, without the lock; null when it has none.
    script_engine* note_addition(bool command, const std::string& text);

    std::shared_ptr<engine_table> table_;  // engines by thread, and the service lock
    auto_ptr_t<i_object> events_;          // "svc_event" while the handler is installed; null: none
    std::vector<std::string> init_files_;  // absolute paths, in order added
    std::vector<std::string> init_cmds_;   // Tcl commands, in order added
};

}  // namespace kiv

#endif
