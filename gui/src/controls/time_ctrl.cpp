// time_ctrl.cpp --
//
//     Hour and minute pickers made of drop-down lists, the second form
//     with optional day and second lists.

#include <kiv/gui/time_ctrl.h>

#include "combo_lists.h"

#include <wx/sizer.h>
#include <wx/stattext.h>

namespace kiv {

namespace {

wxStaticText* colon(wxWindow* parent) {
    return new wxStaticText(parent, wxID_ANY, ":");
}

}  // namespace

time_ctrl::time_ctrl(wxWindow* parent)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxBORDER_NONE) {
    hours_ = make_number_list(this, 0, 23, "%02d", 45);
    minutes_ = make_number_list(this, 0, 59, "%02d", 45);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(hours_, 0, wxALIGN_CENTER_VERTICAL);
    row->Add(colon(this), 0, wxLEFT | wxRIGHT | wxALIGN_CENTER_VERTICAL, 2);
    row->Add(minutes_, 0, wxALIGN_CENTER_VERTICAL);
    SetSizerAndFit(row);
}

void time_ctrl::set(unsigned seconds) {
    const unsigned hours = seconds / 3600;
    select_entry(hours_, wxString::Format("%02u", hours));
    select_entry(minutes_, wxString::Format("%02u", (seconds - hours * 3600) / 60));
}

unsigned time_ctrl::get() {
    return list_number(hours_) * 3600 + list_number(minutes_) * 60;
}

time_ctrl2::time_ctrl2(wxWindow* parent, bool with_days, bool with_seconds)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxBORDER_NONE) {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    if (with_days) {
        days_ = make_number_list(this, 0, 364, "%d", 50);
        row->Add(days_, 0, wxALIGN_CENTER_VERTICAL);
        row->Add(colon(this), 0, wxLEFT | wxRIGHT | wxALIGN_CENTER_VERTICAL, 2);
    }
    hours_ = make_number_list(this, 0, 23, "%02d", 45);
    minutes_ = make_number_list(this, 0, 59, "%02d", 45);
    row->Add(hours_, 0, wxALIGN_CENTER_VERTICAL);
    row->Add(colon(this), 0, wxLEFT | wxRIGHT | wxALIGN_CENTER_VERTICAL, 2);
    row->Add(minutes_, 0, wxALIGN_CENTER_VERTICAL);
    if (with_seconds) {
        seconds_ = make_number_list(this, 0, 59, "%02d", 45);
        row->Add(colon(this), 0, wxLEFT | wxRIGHT | wxALIGN_CENTER_VERTICAL, 2);
        row->Add(seconds_, 0, wxALIGN_CENTER_VERTICAL);
    }
    SetSizerAndFit(row);
}

void time_ctrl2::set(unsigned seconds) {
    const unsigned days = seconds / 86400;
    unsigned rest = seconds % 86400;
    const unsigned hours = rest / 3600;
    rest %= 3600;
    if (days_ != nullptr)
        select_entry(days_, wxString::Format("%u", days));
    select_entry(hours_, wxString::Format("%02u", hours));
    select_entry(minutes_, wxString::Format("%02u", rest / 60));
    if (seconds_ != nullptr)
        select_entry(seconds_, wxString::Format("%02u", rest % 60));
}

unsigned time_ctrl2::get() {
    return list_number(days_) * 86400 + list_number(hours_) * 3600 + list_number(minutes_) * 60 +
           list_number(seconds_);
}

}  // namespace kiv
