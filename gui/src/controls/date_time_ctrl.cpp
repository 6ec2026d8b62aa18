// date_time_ctrl.cpp --
//
//     A date picker with an hour (and minute) list, and the dialog that
//     asks for a time interval with two of them. Date pickers drop down a
//     calendar (GTK's picker has no spin form) and show the century.

#include <kiv/gui/time_ctrl.h>

#include "combo_lists.h"

#include <kiv/core/i_translator.h>

#include <wx/datectrl.h>
#include <wx/sizer.h>
#include <wx/statline.h>
#include <wx/stattext.h>

namespace kiv {

namespace {

wxDatePickerCtrl* make_date_picker(wxWindow* parent) {
    return new wxDatePickerCtrl(parent, wxID_ANY, wxDefaultDateTime, wxDefaultPosition,
                                wxDefaultSize, wxDP_DROPDOWN | wxDP_SHOWCENTURY,
                                wxDefaultValidator, "datectrl");
}

// The picked date (local midnight) at the given hour, minute and second.
wxDateTime picked_at(wxDatePickerCtrl* picker, unsigned hour, unsigned minute, unsigned second) {
    wxDateTime date = picker->GetValue();
    if (!date.IsValid())
        return wxDateTime();
    wxDateTime::Tm tm = date.GetTm();
    return wxDateTime(tm.mday, tm.mon, tm.year, wxDateTime::wxDateTime_t(hour),
                      wxDateTime::wxDateTime_t(minute), wxDateTime::wxDateTime_t(second));
}

unsigned time_value(const wxDateTime& value) {
    return value.IsValid() ? static_cast<unsigned>(value.GetTicks()) : 0;
}

}  // namespace

date_time_ctrl::date_time_ctrl(wxWindow* parent)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxBORDER_NONE) {
    date_ = make_date_picker(this);
    hours_ = make_number_list(this, 0, 23, "%02d", -1);
    minutes_ = make_number_list(this, 0, 59, "%02d", 45);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(date_, 0, wxALIGN_CENTER_VERTICAL);
    row->Add(hours_, 0, wxLEFT | wxALIGN_CENTER_VERTICAL, 5);
    row->Add(new wxStaticText(this, wxID_ANY, ":"), 0, wxLEFT | wxRIGHT | wxALIGN_CENTER_VERTICAL, 2);
    row->Add(minutes_, 0, wxALIGN_CENTER_VERTICAL);
    SetSizerAndFit(row);
}

void date_time_ctrl::set_dt(const wxDateTime& value) {
    if (!value.IsValid())
        return;
    date_->SetValue(value);
    select_entry(hours_, wxString::Format("%02d", int(value.GetHour())));
    select_entry(minutes_, wxString::Format("%02d", int(value.GetMinute())));
}

wxDateTime date_time_ctrl::get_dt() {
    return picked_at(date_, list_number(hours_), list_number(minutes_), 0);
}

void date_time_ctrl::set(unsigned time) {
    set_dt(wxDateTime(static_cast<time_t>(time)));
}

unsigned date_time_ctrl::get() {
    return time_value(get_dt());
}

date_time_ctrl2::date_time_ctrl2(wxWindow* parent, bool hour_start)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxBORDER_NONE),
      hour_start_(hour_start) {
    date_ = make_date_picker(this);
    wxArrayString entries;
    for (int hour = 0; hour < 24; hour++)
        entries.Add(wxString::Format("%02d:%02d", hour, hour_start ? 0 : 59));
    hours_ = new wxComboBox(this, wxID_ANY, entries[0], wxDefaultPosition, wxDefaultSize, entries,
                            wxCB_READONLY | wxCB_DROPDOWN);
    hours_->SetSelection(0);
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(date_, 0, wxALIGN_CENTER_VERTICAL);
    row->Add(hours_, 0, wxLEFT | wxALIGN_CENTER_VERTICAL, 5);
    SetSizerAndFit(row);
}

void date_time_ctrl2::set_dt(const wxDateTime& value) {
    if (!value.IsValid())
        return;
    date_->SetValue(value);
    select_entry(hours_, wxString::Format("%02d:%02d", int(value.GetHour()), hour_start_ ? 0 : 59));
}

wxDateTime date_time_ctrl2::get_dt() {
    const wxString entry = hours_->GetValue();
    unsigned long hour = 0, minute = 0;
    if (!entry.BeforeFirst(':').ToCULong(&hour) || !entry.AfterFirst(':').ToCULong(&minute) ||
        hour > 23 || minute > 59)
        return wxDateTime();
    return picked_at(date_, unsigned(hour), unsigned(minute), unsigned(minute));
}

void date_time_ctrl2::set(unsigned time) {
    set_dt(wxDateTime(static_cast<time_t>(time)));
}

unsigned date_time_ctrl2::get() {
    return time_value(get_dt());
}

select_time_interval_dlg::select_time_interval_dlg(wxWindow* parent, const wxDateTime& from,
                                                   const wxDateTime& to)
    : wxDialog(parent, wxID_ANY, wxString::FromUTF8(kiv_translate("Select time interval", "")),
               wxDefaultPosition, wxDefaultSize, wxDEFAULT_DIALOG_STYLE) {
    auto* grid = new wxFlexGridSizer(2);
    from_ = new date_time_ctrl2(this, true);
    to_ = new date_time_ctrl2(this, false);
    from_->set_dt(from);
    to_->set_dt(to);
    grid->Add(new wxStaticText(this, wxID_ANY, wxString::FromUTF8(kiv_translate("From:", ""))), 0,
              wxALL | wxEXPAND, 5);
    grid->Add(from_, 0, wxALL | wxEXPAND, 5);
    grid->Add(new wxStaticText(this, wxID_ANY, wxString::FromUTF8(kiv_translate("To:", ""))), 0,
              wxALL | wxEXPAND, 5);
    grid->Add(to_, 0, wxALL | wxEXPAND, 5);
    auto* top = new wxBoxSizer(wxVERTICAL);
    top->Add(grid, 0, wxALL | wxEXPAND, 5);
    top->AddSpacer(15);
    top->Add(new wxStaticLine(this), 0, wxALL | wxEXPAND, 10);
    top->Add(CreateButtonSizer(wxOK | wxCANCEL), 0, wxALL | wxEXPAND, 10);
    SetSizerAndFit(top);
    CentreOnParent();
}

wxDateTime select_time_interval_dlg::get_from_dt() {
    return from_->get_dt();
}

wxDateTime select_time_interval_dlg::get_to_dt() {
    return to_->get_dt();
}

unsigned select_time_interval_dlg::get_from() {
    return from_->get();
}

unsigned select_time_interval_dlg::get_to() {
    return to_->get();
}

}  // namespace kiv
