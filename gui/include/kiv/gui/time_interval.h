// time_interval.h --
//
//     A one-line text control that edits a duration through a mask such
//     as "X' days 'X':'X':'X": each run of "X" is a numeric field, quoted
//     text is literal. Digits type into the field at the caret, arrows
//     move between fields and step the value, and every key sends a
//     date-changed event carrying get(). GUI thread only.

#ifndef KIV_GUI_TIME_INTERVAL_H
#define KIV_GUI_TIME_INTERVAL_H

#include <kiv/core/export.h>

#include <wx/textctrl.h>

#include <vector>

namespace kiv {

class KIV_EXPORT time_interval : public wxTextCtrl {
public:
    // An empty mask means the translated default "X' days 'X':'X':'X",
    // whose fields are days (0..99) and hours, minutes, seconds, each
    // shown with two digits. A caller's own mask sets its fields with
    // set_param.
    time_interval(wxWindow* parent, const wxString& mask);

    // Sets field `index` (from 0); an index the mask lacks is ignored.
    void set_param(const unsigned& index, const int& min, const int& max, const unsigned& width,
                   const long& value);
    // Returns: the value of field `index`, 0 for a field the mask lacks.
    long get_param(const unsigned& index);
    // Writes days, hours, minutes and seconds into fields 0 to 3 (those
    // the mask has) and redraws.
    void set(unsigned seconds);
    // Returns: field 0 * 86400 + field 1 * 3600 + field 2 * 60 + field 3;
    //     missing fields count 0.
    unsigned get();

    // Returns: the number of fields of the mask.
    unsigned get_field_count() const { return unsigned(fields_.size()); }
    // Returns: the width of the mask with every field at its maximum plus
    //     room for a scroll bar.
    int best_width();

private:
    struct field {
        int min = 0;
        int max = 0;
        long value = 0;
        unsigned width = 0;  // digits shown; 0: natural width
        unsigned typed = 0;  // digits typed since the field was entered
    };
    // One part of the parsed mask: a literal text or a field index.
    struct mask_part {
        wxString text;
        int field = -1;  // -1: literal
    };

    wxString render_field(unsigned index) const;
    void redraw();
    // Finds the field at the caret (the middle of the selection).
    // Returns: its index, -1 before the first field; `start` its offset.
    int field_at_caret(long* start);
    // Returns: the offset of field `index` in the text, its printed length.
    long field_start(unsigned index, long* length) const;
    void select_field(unsigned index);
    void step_field(int index, int delta);
    void send_changed();

    void on_key_down(wxKeyEvent& event);
    void on_scroll(wxScrollWinEvent& event);
    void on_left_up(wxMouseEvent& event);
    void on_kill_focus(wxFocusEvent& event);
    void on_show(wxShowEvent& event);

    std::vector<mask_part> mask_;
    std::vector<field> fields_;
    int typing_ = -1;  // field being typed into; -1: none
};

}  // namespace kiv

#endif
