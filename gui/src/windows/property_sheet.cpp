// property_sheet.cpp --
//
//     The property sheet: a notebook of application pages above a line
//     and the standard buttons.

#include <kiv/gui/property_sheet.h>

#include <kiv/core/object.h>

#include <wx/notebook.h>
#include <wx/sizer.h>
#include <wx/statline.h>

#include "../images/shared_images.h"

namespace kiv {

property_sheet::property_sheet(wxWindow* parent, i_object_col* pages, const wxString& title, int buttons)
    : wxDialog(parent, wxID_ANY, title, wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE) {
    if (pages != nullptr)
        pages->addref();
    pages_.reset(pages);
    notebook_ = new wxNotebook(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxNB_MULTILINE);
    if (wxImageList* images = shared_image_list())
        notebook_->SetImageList(images);
    const unsigned count = pages_ ? pages_->get_count() : 0;
    for (unsigned i = 0; i < count; ++i) {
        auto_ptr_t<i_object> item(pages_->get_item_by_pos(i));
        if (i_property_page* page = kiv_cast_i_property_page(item))
            page->add_page(notebook_);
    }
    if (notebook_->GetPageCount() > 0)
        notebook_->SetSelection(0);

    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(notebook_, 1, wxLEFT | wxRIGHT | wxTOP | wxEXPAND, 10);
    column->AddSpacer(15);
    column->Add(new wxStaticLine(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLI_HORIZONTAL), 0,
                wxEXPAND | wxLEFT | wxRIGHT, 10);
    if (wxSizer* row = CreateButtonSizer(buttons))
        column->Add(row, 0, wxALIGN_RIGHT | wxALL, 10);
    SetSizer(column);
    column->SetSizeHints(this);
    CentreOnParent();
}

property_sheet::~property_sheet() = default;

int property_sheet::ShowModal() {
    if (read_only_) {
        if (wxWindow* ok = FindWindow(wxID_OK))
            ok->Disable();
    }
    return wxDialog::ShowModal();
}

}  // namespace kiv

extern "C" kiv::i_property_page* kiv_cast_i_property_page(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_property_page>(obj, "i_property_page");
}
