// page_setup_dlg.cpp --
//
//     The page setup dialog of the print service. The paper list is the
//     whole wxWidgets paper database; the source list offers automatic
//     selection only, which OK always stores.

#include "page_setup_dlg.h"

#include <kiv/core/i_translator.h>

#include <wx/button.h>
#include <wx/cmndata.h>
#include <wx/combobox.h>
#include <wx/cshelp.h>
#include <wx/help.h>
#include <wx/paper.h>
#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/spinctrl.h>
#include <wx/statbox.h>
#include <wx/statline.h>
#include <wx/stattext.h>

namespace kiv {

namespace {

wxString tr(const char* text) {
    return wxString::FromUTF8(kiv_translate(text, ""));
}

const int auto_source = wxPRINTBIN_AUTO;  // 7: "Automatically select"
const int margin_width = 50;              // a margin's spin control, where GTK can draw it
const int margin_max = 50;                // millimetres; the range starts at 0

}  // namespace

wxString paper_source_name(int id) {
    switch (id) {
    case 0: return tr("Default");
    case 7: return tr("Automatically select");
    case 15: return tr("Envelope Freeder");
    case 16: return tr("Lower Tray 2");
    case 17: return tr("Lower Tray 1");
    case 18: return tr("Front Tray");
    case 19: return tr("Main");
    case 20: return tr("Auto Select");
    default: return wxString();
    }
}

page_setup_dlg::page_setup_dlg(wxWindow* parent, wxPrintData* data, const int margins[4])
    : wxDialog(parent, wxID_ANY, tr("Page setup"), wxDefaultPosition, wxDefaultSize,
               wxDEFAULT_DIALOG_STYLE, "page_setup_dlg"),
      data_(data) {
    const int border = 5;
    auto* top = new wxBoxSizer(wxVERTICAL);

    auto* paper = new wxStaticBoxSizer(wxVERTICAL, this, tr("Paper"));
    auto* paper_grid = new wxFlexGridSizer(2);
    wxArrayString sizes;
    for (size_t i = 0; wxThePrintPaperDatabase && i < wxThePrintPaperDatabase->GetCount(); i++)
        sizes.Add(wxThePrintPaperDatabase->Item(i)->GetName());
    size_box_ = new wxComboBox(paper->GetStaticBox(), wxID_ANY, wxString(), wxDefaultPosition,
                               wxSize(250, -1), sizes, wxCB_READONLY | wxCB_DROPDOWN,
                               wxDefaultValidator, "paper_size");
    wxArrayString sources;
    sources.Add(paper_source_name(auto_source));
    source_box_ = new wxComboBox(paper->GetStaticBox(), wxID_ANY, wxString(), wxDefaultPosition,
                                 wxSize(250, -1), sources, wxCB_READONLY | wxCB_DROPDOWN,
                                 wxDefaultValidator, "paper_source");
    paper_grid->Add(new wxStaticText(paper->GetStaticBox(), wxID_ANY, tr("Size:")), 0,
                    wxALL | wxALIGN_CENTER_VERTICAL, border);
    paper_grid->Add(size_box_, 0, wxALL, border);
    paper_grid->Add(new wxStaticText(paper->GetStaticBox(), wxID_ANY, tr("Source:")), 0,
                    wxALL | wxALIGN_CENTER_VERTICAL, border);
    paper_grid->Add(source_box_, 0, wxALL, border);
    paper->Add(paper_grid);
    top->Add(paper, 0, wxALL | wxEXPAND, border);

    auto* orientation = new wxStaticBoxSizer(wxHORIZONTAL, this, tr("Orientation"));
    portrait_ = new wxRadioButton(orientation->GetStaticBox(), wxID_ANY, tr("Portrait"),
                                  wxDefaultPosition, wxDefaultSize, wxRB_GROUP,
                                  wxDefaultValidator, "portrait");
    landscape_ = new wxRadioButton(orientation->GetStaticBox(), wxID_ANY, tr("Landscape"),
                                   wxDefaultPosition, wxDefaultSize, 0, wxDefaultValidator,
                                   "landscape");
    orientation->Add(portrait_, 0, wxALL, border);
    orientation->Add(landscape_, 0, wxALL, border);
    top->Add(orientation, 0, wxALL | wxEXPAND, border);

    auto* margin_box = new wxStaticBoxSizer(wxVERTICAL, this, tr("Margins (millimeters)"));
    auto* margin_grid = new wxFlexGridSizer(4);
    static const char* const labels[4] = {"Left:", "Top:", "Right:", "Bottom:"};
    static const char* const names[4] = {"margin_left", "margin_top", "margin_right",
                                         "margin_bottom"};
    static const char* const initial[4] = {"20", "10", "10", "10"};
    for (int i = 0; i < 4; i++) {
        margin_ctrls_[i] = new wxSpinCtrl(margin_box->GetStaticBox(), wxID_ANY, initial[i],
                                          wxDefaultPosition, wxSize(margin_width, -1),
                                          wxSP_ARROW_KEYS, 0, margin_max, 0, names[i]);
        // A GTK spin button sets its "-" and "+" beside the number, more
        // than 50 pixels hold: the control gets the width it needs to show
        // its widest value, 50 where that is enough.
        const int needed = margin_ctrls_[i]->GetSizeFromText(wxString::Format("%d", margin_max)).x;
        if (needed > margin_width)
            margin_ctrls_[i]->SetInitialSize(wxSize(needed, -1));
        margin_ctrls_[i]->SetValue(margins[i]);
        margin_grid->Add(new wxStaticText(margin_box->GetStaticBox(), wxID_ANY, tr(labels[i])), 0,
                         wxALL | wxALIGN_CENTER_VERTICAL, border);
        margin_grid->Add(margin_ctrls_[i], 0, wxALL, border);
    }
    margin_box->Add(margin_grid);
    top->Add(margin_box, 0, wxALL | wxEXPAND, border);

    top->Add(new wxStaticLine(this), 0, wxALL | wxEXPAND, 10);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(new wxButton(this, wxID_OK, tr("OK")), 0, wxALL, 10);
    buttons->Add(new wxButton(this, wxID_CANCEL, tr("Cancel")), 0, wxALL, 10);
    buttons->Add(new wxButton(this, wxID_HELP, tr("Help")), 0, wxALL, 10);
    top->Add(buttons, 0, wxALIGN_RIGHT);
    SetSizerAndFit(top);

    if (data_ != nullptr) {
        if (wxThePrintPaperDatabase != nullptr) {
            wxPrintPaperType* type = wxThePrintPaperDatabase->FindPaperType(data_->GetPaperId());
            if (type != nullptr)
                size_box_->SetStringSelection(type->GetName());
        }
        // Only automatic selection is offered; another stored source
        // leaves the box empty until OK stores automatic selection.
        source_box_->SetStringSelection(paper_source_name(data_->GetBin()));
        if (data_->GetOrientation() == wxPORTRAIT)
            portrait_->SetValue(true);
        else if (data_->GetOrientation() == wxLANDSCAPE)
            landscape_->SetValue(true);
    }

    Bind(wxEVT_BUTTON, &page_setup_dlg::on_ok, this, wxID_OK);
    Bind(wxEVT_BUTTON, &page_setup_dlg::on_help, this, wxID_HELP);
}

void page_setup_dlg::get_margins(int margins[4]) const {
    for (int i = 0; i < 4; i++)
        margins[i] = margin_ctrls_[i]->GetValue();
}

void page_setup_dlg::on_ok(wxCommandEvent& event) {
    if (data_ != nullptr) {
        // An empty size box (a paper the database does not know) keeps
        // the paper instead of storing "no paper".
        if (wxThePrintPaperDatabase != nullptr && !size_box_->GetValue().empty())
            data_->SetPaperId(wxThePrintPaperDatabase->ConvertNameToId(size_box_->GetValue()));
        data_->SetBin(static_cast<wxPrintBin>(auto_source));
        data_->SetOrientation(portrait_->GetValue() ? wxPORTRAIT : wxLANDSCAPE);
    }
    event.Skip();  // the dialog's own handler ends it with OK
}

// The frame service installs its help controller as the process-wide help
// provider; the dialog reaches the controller there.
void page_setup_dlg::on_help(wxCommandEvent&) {
    auto* provider = dynamic_cast<wxHelpControllerHelpProvider*>(wxHelpProvider::Get());
    if (provider != nullptr && provider->GetHelpController() != nullptr)
        provider->GetHelpController()->DisplaySection("printer_dlg.html");
}

}  // namespace kiv
