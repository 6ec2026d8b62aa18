// choice_dlgs.cpp --
//
//     The two modal choice dialogs and the functions that run them. The
//     dialog must be able to start with no radio button on (OK then
//     answers -1), but a GTK radio group always has one button on, and
//     GTK keeps even a wxRB_SINGLE button on for good. So the buttons
//     form one group with a hidden last member that is on when none of
//     the visible ones is.

#include <kiv/gui/list_ctrl.h>

#include <kiv/core/i_core.h>
#include <kiv/core/i_string.h>
#include <kiv/gui/image_manager.h>

#include <wx/radiobut.h>
#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/stattext.h>

namespace kiv {

multi_choice_dlg::multi_choice_dlg(wxWindow* parent, const wxString& title, const wxString& message,
                                   const wxArrayString& choices, bool single, int image)
    : wxDialog(parent, wxID_ANY, title), choices_(kiv_create_col()) {
    if (choices_) {
        choices_->reserve(static_cast<unsigned>(choices.size()));
        for (const wxString& choice : choices) {
            auto_ptr_t<i_string> text(kiv_create_string(choice.utf8_str()));
            choices_->add_item(text.get());
        }
    }
    rows_.reset(new string_list_container(image));
    rows_->addref();

    long style = wxLC_HRULES | wxLC_REPORT | wxLC_VIRTUAL | wxLC_NO_HEADER;
    if (single)
        style |= wxLC_SINGLE_SEL;
    list_ = new list_ctrl(this, rows_.get(), wxSize(300, 300), static_cast<unsigned long>(style));
    list_->use_db_click(true);
    list_->InsertColumn(0, wxString(), wxLIST_FORMAT_LEFT, 300);
    // The shared icons stay the manager's: the list only borrows them.
    if (kiv_core() != nullptr) {
        auto_ptr_t<i_object> manager(kiv_core()->get_service("svc_gui_image_manager"));
        if (i_image_manager* images = kiv_cast_i_image_manager(manager.get()))
            list_->SetImageList(images->get_image_list(), wxIMAGE_LIST_SMALL);
    }

    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(this, wxID_ANY, message), 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 10);
    sizer->Add(list_, 0, wxEXPAND | wxLEFT | wxRIGHT | wxTOP, 10);
    sizer->AddSpacer(15);
    sizer->Add(new wxStaticLine(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxLI_HORIZONTAL), 0,
               wxEXPAND | wxLEFT | wxRIGHT, 10);
    if (wxSizer* buttons = CreateButtonSizer(wxOK | wxCANCEL))
        sizer->Add(buttons, 0, wxALIGN_RIGHT | wxALL, 10);
    SetSizer(sizer);
    sizer->SetSizeHints(this);
    Centre(wxBOTH);

    rows_->set_objects(list_, choices_.get());
    if (single)
        list_->Bind(wxEVT_LIST_ITEM_ACTIVATED, &multi_choice_dlg::on_activate, this);
}

multi_choice_dlg::~multi_choice_dlg() {
    // The list asks its rows while it is destroyed with the dialog's
    // children; it must not find a dangling container then.
    if (list_ != nullptr) {
        list_->SetItemCount(0);
        list_->Destroy();
        list_ = nullptr;
    }
}

wxArrayInt multi_choice_dlg::get_selections() const {
    wxArrayInt result;
    long item = -1;
    while ((item = list_->GetNextItem(item, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED)) != -1)
        result.Add(static_cast<int>(item));
    return result;
}

void multi_choice_dlg::set_selection(long index) {
    if (index < 0 || index >= list_->GetItemCount())
        return;
    list_->SetItemState(index, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                        wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    list_->EnsureVisible(index);
}

void multi_choice_dlg::on_activate(wxListEvent&) {
    EndModal(wxID_OK);
}

choice_dlg::choice_dlg(wxWindow* parent, const wxString& title, const wxString& message,
                       const wxArrayString& choices, unsigned int selection)
    : wxDialog(parent, wxID_ANY, title) {
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    if (!message.empty())
        sizer->Add(new wxStaticText(this, wxID_ANY, message), 0, wxALL, 10);
    for (size_t i = 0; i < choices.size(); ++i) {
        wxRadioButton* button = new wxRadioButton(this, wxID_ANY, choices[i], wxDefaultPosition,
                                                  wxDefaultSize, i == 0 ? wxRB_GROUP : 0);
        buttons_.push_back(button);
        sizer->Add(button, 0, wxLEFT | wxRIGHT, 15);
        sizer->AddSpacer(5);
    }
    none_ = new wxRadioButton(this, wxID_ANY, wxString());
    none_->Hide();
    if (selection < buttons_.size())
        buttons_[selection]->SetValue(true);
    else
        none_->SetValue(true);
    sizer->AddSpacer(10);
    if (wxSizer* buttons = CreateButtonSizer(wxOK | wxCANCEL))
        sizer->Add(buttons, 0, wxALIGN_CENTER | wxALL, 5);
    SetSizer(sizer);
    sizer->SetSizeHints(this);
}

int choice_dlg::get_selection() const {
    for (size_t i = 0; i < buttons_.size(); ++i)
        if (buttons_[i]->GetValue())
            return static_cast<int>(i);
    return -1;
}

int kiv_get_single_choice(wxWindow* parent, const wxString& title, const wxString& message,
                          const wxArrayString& choices, unsigned int selection) {
    if (choices.empty())
        return -1;
    choice_dlg dialog(parent, title, message, choices, selection);
    return dialog.ShowModal() == wxID_OK ? dialog.get_selection() : -1;
}

wxArrayInt kiv_get_multi_choice(wxWindow* parent, const wxString& title, const wxString& message,
                                const wxArrayString& choices, bool single, int selection, int image) {
    if (choices.empty())
        return wxArrayInt();
    multi_choice_dlg dialog(parent, title, message, choices, single, image);
    if (selection != -1)
        dialog.set_selection(selection);
    return dialog.ShowModal() == wxID_OK ? dialog.get_selections() : wxArrayInt();
}

}  // namespace kiv
