// time_ctrl.h --
//
//     Small controls that pick a time of day, a duration or a date with
//     its hour, and the dialog that asks for a time interval. Times travel
//     as unsigned seconds: durations as a count, points in time as seconds
//     since 1970 read in local time. All lists are read-only drop-down
//     combo boxes. GUI thread only.

#ifndef KIV_GUI_TIME_CTRL_H
#define KIV_GUI_TIME_CTRL_H

#include <kiv/core/export.h>

#include <wx/datetime.h>
#include <wx/dialog.h>
#include <wx/panel.h>

class wxComboBox;
class wxDatePickerCtrl;

namespace kiv {

// Hour ("00".."23") and minute lists.
class KIV_EXPORT time_ctrl : public wxPanel {
public:
    explicit time_ctrl(wxWindow* parent);
    // Shows seconds / 3600 as the hour (not limited to 23) and the
    // minutes of what is left.
    void set(unsigned seconds);
    // Returns: hours * 3600 + minutes * 60.
    unsigned get();

    wxComboBox* hour_list() const { return hours_; }
    wxComboBox* minute_list() const { return minutes_; }

private:
    wxComboBox* hours_;    // child windows, owned by the panel
    wxComboBox* minutes_;
};

// Optional day list ("0".."364"), hour and minute lists, optional
// second list.
class KIV_EXPORT time_ctrl2 : public wxPanel {
public:
    time_ctrl2(wxWindow* parent, bool with_days, bool with_seconds);
    // Each list present shows its part; without a day list whole days
    // are dropped from the display.
    void set(unsigned seconds);
    // Returns: days * 86400 + hours * 3600 + minutes * 60 + seconds; a
    //     missing list counts 0.
    unsigned get();

    wxComboBox* day_list() const { return days_; }
    wxComboBox* hour_list() const { return hours_; }
    wxComboBox* minute_list() const { return minutes_; }
    wxComboBox* second_list() const { return seconds_; }

private:
    wxComboBox* days_ = nullptr;     // null when absent
    wxComboBox* hours_;
    wxComboBox* minutes_;
    wxComboBox* seconds_ = nullptr;  // null when absent
};

// A date picker, an hour list and a minute list.
class KIV_EXPORT date_time_ctrl : public wxPanel {
public:
    explicit date_time_ctrl(wxWindow* parent);
    void set_dt(const wxDateTime& value);
    // Returns: the picked date at the listed hour and minute, seconds 0.
    wxDateTime get_dt();
    void set(unsigned time);
    unsigned get();

    wxDatePickerCtrl* date_picker() const { return date_; }
    wxComboBox* hour_list() const { return hours_; }
    wxComboBox* minute_list() const { return minutes_; }

private:
    wxDatePickerCtrl* date_;
    wxComboBox* hours_;
    wxComboBox* minutes_;
};

// A date picker and one list of whole hours: "HH:00" when `hour_start`,
// else "HH:59" (an hour's last second).
class KIV_EXPORT date_time_ctrl2 : public wxPanel {
public:
    date_time_ctrl2(wxWindow* parent, bool hour_start);
    void set_dt(const wxDateTime& value);
    // Returns: the picked date at the listed hour; minute and second are
    //     both the listed minute (13:00 -> 13:00:00, 13:59 -> 13:59:59).
    wxDateTime get_dt();
    void set(unsigned time);
    unsigned get();

    wxDatePickerCtrl* date_picker() const { return date_; }
    wxComboBox* hour_list() const { return hours_; }

private:
    bool hour_start_;
    wxDatePickerCtrl* date_;
    wxComboBox* hours_;
};

// Asks for a "From:" and a "To:" date and hour.
class KIV_EXPORT select_time_interval_dlg : public wxDialog {
public:
    select_time_interval_dlg(wxWindow* parent, const wxDateTime& from, const wxDateTime& to);
    wxDateTime get_from_dt();
    wxDateTime get_to_dt();
    unsigned get_from();
    unsigned get_to();

    date_time_ctrl2* from_ctrl() const { return from_; }
    date_time_ctrl2* to_ctrl() const { return to_; }

private:
    date_time_ctrl2* from_;
    date_time_ctrl2* to_;
};

}  // namespace kiv

#endif
