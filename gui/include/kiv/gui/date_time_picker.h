// date_time_picker.h --
//
//     A date-and-time picker with a custom display format: a read-only
//     text shows the value in the format (picker codes d..dddd, M..MMMM,
//     y/yy/yyyy, h/hh/H/HH, m/mm, s/ss, t/tt, 'quoted literals'), beside a
//     date picker and a time picker that edit it. A change made in the
//     pickers sends a date-changed event. GUI thread only.

#ifndef KIV_GUI_DATE_TIME_PICKER_H
#define KIV_GUI_DATE_TIME_PICKER_H

#include <kiv/core/export.h>

#include <wx/datectrl.h>
#include <wx/datetime.h>
#include <wx/panel.h>

class wxTextCtrl;
class wxTimePickerCtrl;
class wxDateEvent;

namespace kiv {

class KIV_EXPORT date_time_picker : public wxPanel {
public:
    // `style`: wxDP_ALLOWNONE lets the value be invalid (no date shown);
    // other date picker styles are not used.
    date_time_picker(wxWindow* parent, const wxString& format, long style = 0);

    // An invalid value is accepted only with wxDP_ALLOWNONE; a value
    // outside the range is held at its nearer end.
    void SetValue(const wxDateTime& value);
    wxDateTime GetValue() const { return value_; }
    // Limits the value; an invalid end leaves that side open. A current
    // value outside the new range moves to its nearer end.
    void SetRange(const wxDateTime& min, const wxDateTime& max);
    // Returns: whether either end is set; unset ends come back invalid.
    bool GetRange(wxDateTime* min, wxDateTime* max) const;
    void set(unsigned time);
    unsigned get() const;

    // Returns: `value` in the picker format `format`; "" for an invalid value.
    static wxString format_value(const wxString& format, const wxDateTime& value);

    wxTextCtrl* text() const { return text_; }
    wxDatePickerCtrl* date_picker() const { return date_; }
    wxTimePickerCtrl* time_picker() const { return time_; }

private:
    void show_value();
    void on_picker_changed(wxDateEvent& event);

    wxString format_;
    long style_;
    wxDateTime value_;        // invalid: none (only with wxDP_ALLOWNONE)
    wxDateTime min_, max_;    // invalid: open end
    wxTextCtrl* text_;        // child windows, owned by the panel
    wxDatePickerCtrl* date_;  // null when the format shows no date
    wxTimePickerCtrl* time_;  // null when the format shows no time
};

}  // namespace kiv

#endif
