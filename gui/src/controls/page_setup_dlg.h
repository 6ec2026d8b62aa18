// page_setup_dlg.h --
//
//     The page setup dialog of the print service: paper size and source,
//     orientation and the four margins in millimetres. On OK it writes
//     paper, source and orientation into the print data it was given;
//     the service reads the margins from the dialog afterwards.

#ifndef KIV_GUI_PAGE_SETUP_DLG_H
#define KIV_GUI_PAGE_SETUP_DLG_H

#include <wx/dialog.h>

class wxComboBox;
class wxPrintData;
class wxRadioButton;
class wxSpinCtrl;

namespace kiv {

class page_setup_dlg : public wxDialog {
public:
    // `data` is not owned and may be null; `margins` are left, top,
    // right, bottom in millimetres. The dialog is named "page_setup_dlg";
    // its controls "paper_size", "paper_source", "portrait", "landscape"
    // and "margin_left" ... "margin_bottom".
    page_setup_dlg(wxWindow* parent, wxPrintData* data, const int margins[4]);

    // The margins shown by the spin controls: left, top, right, bottom.
    void get_margins(int margins[4]) const;

private:
    void on_ok(wxCommandEvent& event);
    void on_help(wxCommandEvent& event);

    wxPrintData* data_;           // not owned; null when none
    wxComboBox* size_box_;        // child windows, owned by the dialog
    wxComboBox* source_box_;
    wxRadioButton* portrait_;
    wxRadioButton* landscape_;
    wxSpinCtrl* margin_ctrls_[4];
};

// The translated name of a paper source id; "" for ids without a name.
wxString paper_source_name(int id);

}  // namespace kiv

#endif
