// date_time_picker.cpp --
//
//     The date-and-time picker: a read-only text in the custom format,
//     with a date picker and a time picker beside it for editing (only
//     those the format needs; both when it names neither). The text's
//     best size comes from the widest value the format can show.

#include <kiv/gui/date_time_picker.h>

#include "date_time_picker_format.h"

#include <wx/dateevt.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/textctrl.h>
#include <wx/timectrl.h>

namespace kiv {

date_time_picker::date_time_picker(wxWindow* parent, const wxString& format, long style)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL | wxBORDER_NONE,
              "datectrl"),
      format_(format), style_(style), value_(wxDateTime::Now()), date_(nullptr), time_(nullptr) {
    value_.SetMillisecond(0);  // the pickers keep whole seconds
    bool with_date = format_uses(format, "dMy");
    bool with_time = format_uses(format, "hHmst");
    if (!with_date && !with_time)
        with_date = with_time = true;

    text_ = new wxTextCtrl(this, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxTE_READONLY);
    // Widest text of the format: every month, seven weekdays, late hours.
    int widest = 0, height = 0;
    for (int month = 0; month < 12; month++) {
        wxDateTime sample(wxDateTime::wxDateTime_t(22 + month % 7), wxDateTime::Month(month), 2000,
                          month % 2 ? 23 : 11, 58, 58);
        wxSize extent = text_->GetTextExtent(format_value(format, sample));
        widest = std::max(widest, extent.x);
        height = std::max(height, extent.y);
    }
    text_->SetInitialSize(wxSize(widest + wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, this), height + 8));

    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(text_, 0, wxALIGN_CENTER_VERTICAL);
    if (with_date) {
        date_ = new wxDatePickerCtrl(this, wxID_ANY, value_, wxDefaultPosition, wxDefaultSize,
                                     wxDP_DROPDOWN | wxDP_SHOWCENTURY | (style & wxDP_ALLOWNONE));
        date_->Bind(wxEVT_DATE_CHANGED, &date_time_picker::on_picker_changed, this);
        row->Add(date_, 0, wxLEFT | wxALIGN_CENTER_VERTICAL, 5);
    }
    if (with_time) {
        time_ = new wxTimePickerCtrl(this, wxID_ANY, value_);
        time_->Bind(wxEVT_TIME_CHANGED, &date_time_picker::on_picker_changed, this);
        row->Add(time_, 0, wxLEFT | wxALIGN_CENTER_VERTICAL, 5);
    }
    SetSizerAndFit(row);
    show_value();
}

void date_time_picker::show_value() {
    text_->ChangeValue(format_value(format_, value_));
}

void date_time_picker::SetValue(const wxDateTime& value) {
    if (!value.IsValid() && (style_ & wxDP_ALLOWNONE) == 0)
        return;
    // Held inside the range, as the date picker itself would refuse it.
    value_ = value;
    if (value_.IsValid() && min_.IsValid() && value_ < min_)
        value_ = min_;
    if (value_.IsValid() && max_.IsValid() && value_ > max_)
        value_ = max_;
    if (date_ != nullptr)
        date_->SetValue(value_);
    if (time_ != nullptr && value_.IsValid())
        time_->SetValue(value_);
    show_value();
}

void date_time_picker::SetRange(const wxDateTime& min, const wxDateTime& max) {
    min_ = min.IsValid() ? min : wxDateTime();
    max_ = max.IsValid() ? max : wxDateTime();
    if (date_ != nullptr)
        date_->SetRange(min_, max_);
    if (value_.IsValid())
        SetValue(value_);
}

bool date_time_picker::GetRange(wxDateTime* min, wxDateTime* max) const {
    if (min != nullptr)
        *min = min_;
    if (max != nullptr)
        *max = max_;
    return min_.IsValid() || max_.IsValid();
}

void date_time_picker::set(unsigned time) {
    SetValue(wxDateTime(static_cast<time_t>(time)));
}

unsigned date_time_picker::get() const {
    return value_.IsValid() ? static_cast<unsigned>(value_.GetTicks()) : 0;
}

void date_time_picker::on_picker_changed(wxDateEvent&) {
    // The pickers' own events stop here; the picker sends one of its own.
    wxDateTime changed;
    const wxDateTime date = date_ != nullptr ? date_->GetValue() : value_;
    if (date.IsValid()) {
        int hour = 0, minute = 0, second = 0;
        if (time_ != nullptr) {
            time_->GetTime(&hour, &minute, &second);
        } else if (value_.IsValid()) {
            hour = value_.GetHour();
            minute = value_.GetMinute();
            second = value_.GetSecond();
        }
        const wxDateTime::Tm tm = date.GetTm();
        changed = wxDateTime(tm.mday, tm.mon, tm.year, wxDateTime::wxDateTime_t(hour),
                             wxDateTime::wxDateTime_t(minute), wxDateTime::wxDateTime_t(second));
    }
    if (changed.IsValid() == value_.IsValid() && (!changed.IsValid() || changed == value_))
        return;
    value_ = changed;
    show_value();
    wxDateEvent event(this, value_, wxEVT_DATE_CHANGED);
    GetEventHandler()->ProcessEvent(event);
}

}  // namespace kiv
