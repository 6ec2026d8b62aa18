// output_panel.h --
//
//     The window of the output service: the "Copy to clipboard", "Clear"
//     and "Close" buttons above a tab control of read-only rich text
//     pages. The service (output_service.h) builds it in its parent
//     window and forwards its operations to it; it also writes the GUI
//     event "KIV_GUI_EVT_LOG_MESSAGE" to its first page. GUI thread only.

#ifndef KIV_GUI_OUTPUT_PANEL_H
#define KIV_GUI_OUTPUT_PANEL_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/export.h>
#include <kiv/gui/i_gui_event.h>
#include <kiv/gui/output_service.h>

#include <wx/panel.h>

class wxButton;
class wxTextCtrl;
class wxBookCtrlEvent;

namespace kiv {

class tab_control;

class KIV_EXPORT gui_output_panel : public wxPanel {
public:
    // Holds a reference to `service`.
    gui_output_panel(wxWindow* parent, i_output_service* service, wxString first_page, wxSize size,
                     unsigned welcome_style, wxString welcome_message);
    ~gui_output_panel() override;

    int get_output_page_index(const wxString& name);
    wxString get_output_page_name(int page);
    int get_page_count();
    int find_or_create_output_page(const wxString& name, bool select);
    // Returns: the page's text control, or null.
    wxTextCtrl* get_text_ctrl(int page);
    void add_text_line(int page, const wxString& text);
    void set_style(int page, unsigned char red, unsigned char green, unsigned char blue, bool bold, bool italic,
                   bool underline);
    void set_style(int page, unsigned style_word);
    void add_text_line_styled(int page, const wxString& text, unsigned char red, unsigned char green,
                              unsigned char blue, bool bold, bool italic, bool underline);
    // Clears the page; with the first page active the welcome message is
    // written again.
    void clear_page(int page);
    bool close_page(int page);
    int get_number_of_lines(int page);

    tab_control* get_tabs() { return tabs_; }
    wxButton* get_close_button() { return close_; }

private:
    bool usable() const;
    void show_welcome_msg();
    void on_select_page(wxBookCtrlEvent& event);
    void on_clear(wxCommandEvent& event);
    void on_copy(wxCommandEvent& event);
    void on_close(wxCommandEvent& event);
    void on_log_msg(i_gui_event& event);

    tab_control* tabs_ = nullptr;            // child window
    wxButton* copy_ = nullptr;               // child windows
    wxButton* clear_ = nullptr;
    wxButton* close_ = nullptr;
    auto_ptr_t<i_output_service> service_;   // one reference; null once the service went
    wxString welcome_message_;               // "" : none
    unsigned welcome_style_;
};

}  // namespace kiv

#endif
