// property_sheet.h --
//
//     A modal dialog with a notebook whose pages are supplied by
//     i_property_page objects: each adds itself to the notebook. Opened
//     read-only, the sheet shows its OK button disabled. GUI thread only.
//
//         kiv::property_sheet sheet(frame, pages, "Properties", wxOK | wxCANCEL);
//         sheet.set_read_only(!editable);
//         if (sheet.ShowModal() == wxID_OK) ...

#ifndef KIV_GUI_PROPERTY_SHEET_H
#define KIV_GUI_PROPERTY_SHEET_H

#include <kiv/core/export.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_object_col.h>

#include <wx/dialog.h>

class wxNotebook;

namespace kiv {

// Written by applications: one page of a property sheet.
class i_property_page : public virtual i_object {
public:
    // Adds the page's window to `notebook` (called once, by the sheet's
    // constructor).
    virtual void add_page(wxNotebook* notebook) = 0;

protected:
    ~i_property_page() = default;
};

class KIV_EXPORT property_sheet : public wxDialog {
public:
    // Builds the sheet: the notebook filled by every object of `pages`
    // that answers i_property_page, a line and the standard
    // buttons of `buttons` (wxOK, wxCANCEL, ...). Holds `pages` (may be
    // null).
    property_sheet(wxWindow* parent, i_object_col* pages, const wxString& title, int buttons);
    ~property_sheet() override;

    void set_read_only(bool read_only) { read_only_ = read_only; }
    // Disables the OK button first when read-only.
    int ShowModal() override;

    wxNotebook* get_notebook() { return notebook_; }

private:
    auto_ptr_t<i_object_col> pages_;  // one reference; null when none given
    wxNotebook* notebook_ = nullptr;  // child window
    bool read_only_ = false;
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_property_page* kiv_cast_i_property_page(kiv::i_object* obj);

#endif
