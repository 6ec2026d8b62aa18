// i_print_service.h --
//
//     The print service and the document a client hands it. A client
//     describes its pages through i_printout; the service keeps the
//     printer settings and millimetre margins, saves them in the
//     application's configuration ("printer/..." keys), shows the page
//     setup dialog, previews and prints. Everything here runs on the GUI
//     thread.

#ifndef KIV_GUI_I_PRINT_SERVICE_H
#define KIV_GUI_I_PRINT_SERVICE_H

#include <kiv/core/export.h>
#include <kiv/core/i_object.h>

#include <wx/string.h>

class wxDC;
class wxWindow;

namespace kiv {

// Implemented by clients: one printable document.
class i_printout : public virtual i_object {
public:
    // Returns: the title of the preview window.
    virtual wxString get_title() = 0;
    // Fills the page range of the document drawn on `dc`.
    virtual void get_page_info(wxDC* dc, int* min_page, int* max_page, int* selection_from,
                               int* selection_to) = 0;
    // Returns: true when the document has page `page` (counted from 1).
    virtual bool has_page(int page) = 0;
    // Tells the printable rectangle inside the margins, in the logical
    // units of the prepared context (screen pixels). Called before every
    // page and before get_page_info.
    virtual void set_print_rect(float left, float top, float right, float bottom) = 0;
    // Draws page `page` on `dc`. Returns: false to cancel the job.
    virtual bool print_page(wxDC* dc, int page) = 0;

protected:
    ~i_printout() = default;
};

class i_print_service : public virtual i_object {
public:
    // Binds the menu command named `command_name` (its id from
    // "svc_gui_event") to the page setup dialog (settings(null)) and keeps
    // the command enabled while the service lives. Nothing without
    // "svc_gui_event".
    virtual void set_event_cmd(const wxString& command_name) = 0;
    // Shows the page setup dialog modally over `parent` (may be null).
    // Returns: true when it was accepted; the settings are then saved.
    virtual bool settings(wxWindow* parent) = 0;
    // Writes the eight "printer/..." keys into the current configuration
    // object and flushes it.
    virtual void save_settings() = 0;
    // Prints `printout` (null: nothing). `preview` opens a preview window
    // with the service's settings and margins; otherwise the printer
    // dialog comes first and the default margins are used.
    virtual void print(wxWindow* parent, i_printout* printout, bool preview) = 0;
    // Sets the paper (a wxPaperSize id).
    virtual void set_paper(int paper_id) = 0;
    virtual void set_orientation(bool landscape) = 0;
    // Sets the margins in millimetres, each truncated toward zero.
    virtual void set_margins(double left, double top, double right, double bottom) = 0;

protected:
    ~i_print_service() = default;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_print_service* kiv_cast_i_print_service(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_printout* kiv_cast_i_printout(kiv::i_object* obj);

#endif
