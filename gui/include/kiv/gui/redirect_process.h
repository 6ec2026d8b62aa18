// redirect_process.h --
//
//     A child process whose output streams into a page of the output
//     service (output_service.h), line by line and in order.

#ifndef KIV_GUI_REDIRECT_PROCESS_H
#define KIV_GUI_REDIRECT_PROCESS_H

#include <kiv/core/export.h>

#include <wx/process.h>
#include <wx/string.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kiv {

class output_service;

// A child process whose standard output and error go into a page of the
// output service. Create it, start it with wxExecute(..., wxEXEC_ASYNC,
// process) and hand it to set_process: from then on a listen thread reads
// the pipes (reading only) and queues each complete line to the GUI
// thread, where it is written to the page of that name, if one is open.
// When the process ends, the rest is read and written and the object
// deletes itself. GUI thread, except the listen thread's reading.
class KIV_EXPORT redirect_process : public wxProcess {
public:
    redirect_process();
    // Stops and joins the listen thread.
    ~redirect_process() override;

    // Sets the page name and the service together (the listen thread may
    // run) and starts the listen thread once.
    void attach(output_service* service, const wxString& page);
    // The service is going: lines are dropped from now on, and the listen
    // thread stops (the process may outlive the library's code; what is
    // left is read when it ends).
    void detach_service();
    // Returns: whether the listen thread runs.
    bool is_listening() const { return thread_.joinable(); }

    void OnTerminate(int pid, int status) override;

    // Shared between the process, its queued lines and the service.
    struct link {
        std::mutex lock;
        output_service* service = nullptr;  // not owned; null: none (lines are dropped)
        wxString page;                      // the page's name
    };

private:
    void listen();
    void stop_listening();
    // Reads what is there now and queues complete lines; `final` queues
    // the unterminated rest too. Returns: whether anything was read.
    bool read_available(bool final);
    void queue_line(std::string line, bool error);

    std::shared_ptr<link> link_;         // never null
    std::thread thread_;                 // the listen thread; not joinable when none
    std::mutex wait_lock_;               // guards stop_ waits
    std::condition_variable wake_;
    bool stop_ = false;                  // guarded by wait_lock_
    std::string pending_out_;            // bytes after the last newline (reading thread)
    std::string pending_err_;
};

}  // namespace kiv

#endif
