// output_service.h --
//
//     The "Output" window and its service ("svc_gui_output"): a strip of
//     buttons ("Copy to clipboard", "Clear", "Close") above a tab control
//     whose pages are read-only rich text logs. Clients create or find
//     pages by name, append lines in a colour and font style, and attach
//     child processes whose standard output (black) and standard error
//     (red, bold) stream into a page, line by line and in order. The GUI
//     event "KIV_GUI_EVT_LOG_MESSAGE", fired from any thread, writes one
//     styled line to the first page: its object is an i_named_string
//     whose name is the text and whose value the style word in decimal.
//
//     Page 0 is permanent: it cannot be closed and receives the welcome
//     message and the log messages. The service and the panel are used on
//     the GUI thread; every operation returns at once (-1, "", false)
//     without a panel or once kiv_gui_terminate has run.
//
//         auto_ptr_t<kiv::output_service> output(
//             new kiv::output_service(frame, "Log", 0, "Ready"));
//         output->addref();                      // also registered
//         auto* process = new kiv::redirect_process;
//         if (wxExecute("make", wxEXEC_ASYNC, process) > 0)
//             output->set_process(output->find_or_create_output_page("Build", true), process);

#ifndef KIV_GUI_OUTPUT_SERVICE_H
#define KIV_GUI_OUTPUT_SERVICE_H

#include <kiv/core/export.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>

#include <wx/string.h>

#include <vector>

class wxProcess;
class wxWindow;

namespace kiv {

class gui_output_panel;
class redirect_process;

class i_output_service : public virtual i_object {
public:
    // Returns: the panel (null without one).
    virtual wxWindow* get_output_wnd() = 0;
    // Returns: the index of the page named `name`, activated, or of a new
    //     page (activated when `select`); -1 for an empty name.
    virtual int find_or_create_output_page(const wxString& name, bool select) = 0;
    // Sets the page's style, then appends `text` and a newline.
    virtual void add_text_line_styled(int page, const wxString& text, unsigned char red, unsigned char green,
                                      unsigned char blue, bool bold, bool italic, bool underline) = 0;
    // Appends `text` and a newline in the page's current style.
    virtual void add_text_line(int page, const wxString& text) = 0;
    // Sets the style of text appended later from a style word (pack_style).
    virtual void set_style(int page, unsigned style_word) = 0;
    virtual void set_style(int page, unsigned char red, unsigned char green, unsigned char blue, bool bold,
                           bool italic, bool underline) = 0;
    // Returns: the page's name, "" out of range.
    virtual wxString get_output_page_name(int page) = 0;
    // Returns: the first page named exactly `name`, -1 when none.
    virtual int get_output_page_index(const wxString& name) = 0;
    // Streams `process` (a redirect_process) into the page. Returns: false
    //     for a negative or unnamed page, a null or other process, or a
    //     stopped GUI.
    virtual bool set_process(int page, wxProcess* process) = 0;
    // Does nothing: processes end by themselves.
    virtual void terminate_processes(int page) = 0;
    // Closes a page other than the first. Returns: false for page 0 and
    //     out of range.
    virtual bool close_page(int page) = 0;
    virtual void clear_page(int page) = 0;
    // Returns: the page's line count, -1 out of range.
    virtual int get_page_number_of_lines(int page) = 0;

protected:
    ~i_output_service() = default;
};

class KIV_EXPORT output_service : public object, public i_named_object_impl, public virtual i_output_service {
public:
    // With a parent window: builds the panel in it (with `first_page`, and
    // the welcome message written in `welcome_style`) and registers the
    // service as "svc_gui_output". Without one: no panel, no registration.
    output_service(wxWindow* parent, wxString first_page, unsigned welcome_style, wxString welcome_message);
    // Cuts every attached process loose (its lines are dropped from then
    // on) and tells the panel it has no service.
    ~output_service() override;
    output_service(const output_service&) = delete;
    output_service& operator=(const output_service&) = delete;

    // Answers "i_output_service" and "i_named_object".
    bool get_interface(const char* name, void** out) override;

    wxWindow* get_output_wnd() override;
    int find_or_create_output_page(const wxString& name, bool select) override;
    void add_text_line_styled(int page, const wxString& text, unsigned char red, unsigned char green,
                              unsigned char blue, bool bold, bool italic, bool underline) override;
    void add_text_line(int page, const wxString& text) override;
    void set_style(int page, unsigned style_word) override;
    void set_style(int page, unsigned char red, unsigned char green, unsigned char blue, bool bold, bool italic,
                   bool underline) override;
    wxString get_output_page_name(int page) override;
    int get_output_page_index(const wxString& name) override;
    bool set_process(int page, wxProcess* process) override;
    void terminate_processes(int page) override;
    bool close_page(int page) override;
    void clear_page(int page) override;
    int get_page_number_of_lines(int page) override;

    // Called by a process that ends: forgets it.
    virtual void remove_process(wxProcess* process);
    // Called by the panel when its window goes.
    void panel_destroyed() { panel_ = nullptr; }

    // Returns: the style word: red, green, blue in bits 0-23, bold in bit
    //     24, italic in bit 25. There is no underline bit.
    static unsigned pack_style(unsigned char red, unsigned char green, unsigned char blue, bool bold, bool italic,
                               bool underline);

private:
    bool usable() const;

    gui_output_panel* panel_ = nullptr;         // child of the parent window; null: none or gone
    std::vector<redirect_process*> processes_;  // not owned; each removes itself when it ends
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_output_service* kiv_cast_i_output_service(kiv::i_object* obj);

#endif
