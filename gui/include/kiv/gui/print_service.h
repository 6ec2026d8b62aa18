// print_service.h --
//
//     The print service and the wxWidgets printout that draws a client's
//     i_printout inside millimetre margins. Nothing registers a print
//     service: a client creates one and calls it directly. GUI thread only.
//
//         auto_ptr_t<kiv::print_service> printing(new kiv::print_service);
//         printing->addref();
//         printing->print(frame, my_document, true);   // preview

#ifndef KIV_GUI_PRINT_SERVICE_H
#define KIV_GUI_PRINT_SERVICE_H

#include <kiv/core/export.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include <kiv/gui/i_print_service.h>

#include <wx/cmndata.h>
#include <wx/event.h>
#include <wx/prntbase.h>

namespace kiv {

class KIV_EXPORT print_service : public wxEvtHandler,
                                 public object,
                                 public i_named_object_impl,
                                 public virtual i_print_service {
public:
    // Reads the eight "printer/..." keys from the current configuration
    // object (wxConfigBase::Get, created on demand), defaults where a
    // key is missing, and turns colour printing on.
    print_service();
    // Saves nothing; the print data goes with the service.
    ~print_service() override;

    bool get_interface(const char* name, void** out) override;

    void set_event_cmd(const wxString& command_name) override;
    bool settings(wxWindow* parent) override;
    void save_settings() override;
    void print(wxWindow* parent, i_printout* printout, bool preview) override;
    void set_paper(int paper_id) override;
    void set_orientation(bool landscape) override;
    void set_margins(double left, double top, double right, double bottom) override;

    // Binds menu command `cmd_id` on the application object to the page
    // setup dialog (settings(null)) and keeps the command enabled. The
    // bindings end with the service.
    void bind_settings_cmd(int cmd_id);

    // The print data the settings live in; owned by the service.
    wxPrintData* get_print_data() { return print_data_; }
    // The margins in whole millimetres.
    void get_margins(int* left, int* top, int* right, int* bottom) const;

private:
    void on_settings_cmd(wxCommandEvent& event);
    void on_settings_update(wxUpdateUIEvent& event);

    wxPrintData* print_data_;  // owned; never null
    int margin_left_ = 20;     // millimetres
    int margin_top_ = 10;
    int margin_right_ = 10;
    int margin_bottom_ = 10;
    int settings_cmd_ = wxID_NONE;  // bound command id; wxID_NONE when none
};

// Draws an i_printout with margins in millimetres. Before each page it
// scales the context so the document draws in screen pixels on any
// device, and tells the document its printable rectangle.
class KIV_EXPORT printout_base : public wxPrintout {
public:
    // Keeps one reference to `printout` (may be null: nothing prints).
    explicit printout_base(i_printout* printout);

    bool HasPage(int page) override;
    bool OnPrintPage(int page) override;
    void GetPageInfo(int* min_page, int* max_page, int* selection_from, int* selection_to) override;

    // Margins in millimetres; the defaults are 20, 20, 10, 10.
    void set_margins(float left, float top, float right, float bottom);

    // Sets the context's user scale from the screen and printer
    // resolutions and the context's width against the page's, and calls
    // the document's set_print_rect.
    // Returns: false without a context, a document or usable resolutions
    //     and sizes (then nothing is changed).
    bool prepare_page();

private:
    auto_ptr_t<i_printout> printout_;  // one reference; null when none
    float left_ = 20, top_ = 20, right_ = 10, bottom_ = 10;  // millimetres
};

}  // namespace kiv

#endif
