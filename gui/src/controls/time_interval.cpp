// time_interval.cpp --
//
//     The masked duration editor. The text is the mask with each field
//     replaced by its value; the field at the caret is found by walking
//     the mask and adding up printed widths, so the control needs no
//     record of where it put each field. While digits are typed into a
//     field it shows only the typed digits, padded with spaces.
//
//     GTK's one-line text has no scroll bar, so the spin arrows of the
//     original design are absent here; the window-scroll events are still
//     honoured when a host sends them.

#include <kiv/gui/time_interval.h>

#include <kiv/core/i_translator.h>

#include <wx/dateevt.h>
#include <wx/settings.h>

#include <algorithm>

namespace kiv {

namespace {

const char* const default_mask = "X' days 'X':'X':'X";
// More digits than a long has would only pad with zeros.
const unsigned max_width = 20;

}  // namespace

time_interval::time_interval(wxWindow* parent, const wxString& mask)
    : wxTextCtrl(parent, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize, wxTE_NOHIDESEL) {
    const bool use_default = mask.empty();
    const wxString source = use_default ? wxString::FromUTF8(kiv_translate(default_mask, "")) : mask;
    bool literal = false;
    mask_part text;
    for (size_t i = 0; i < source.length(); i++) {
        const wxUniChar c = source[i];
        if (c == '\'') {
            literal = !literal;
            continue;
        }
        if (!literal && c == 'X') {
            if (!mask_.empty() && mask_.back().field >= 0 && text.text.empty())
                continue;  // a run of X is one field
            if (!text.text.empty()) {
                mask_.push_back(text);
                text = mask_part();
            }
            mask_part marker;
            marker.field = int(fields_.size());
            mask_.push_back(marker);
            fields_.push_back(field());
            continue;
        }
        text.text += c;
    }
    if (!text.text.empty())
        mask_.push_back(text);

    if (use_default) {
        static const int limits[4][2] = {{0, 99}, {0, 23}, {0, 59}, {0, 59}};
        for (unsigned i = 0; i < 4 && i < fields_.size(); i++) {
            fields_[i].min = limits[i][0];
            fields_[i].max = limits[i][1];
            fields_[i].width = 2;
        }
    }
    redraw();

    Bind(wxEVT_KEY_DOWN, &time_interval::on_key_down, this);
    for (const auto& type : {wxEVT_SCROLLWIN_TOP, wxEVT_SCROLLWIN_BOTTOM, wxEVT_SCROLLWIN_LINEUP,
                             wxEVT_SCROLLWIN_LINEDOWN, wxEVT_SCROLLWIN_PAGEUP,
                             wxEVT_SCROLLWIN_PAGEDOWN, wxEVT_SCROLLWIN_THUMBTRACK,
                             wxEVT_SCROLLWIN_THUMBRELEASE})
        Bind(type, &time_interval::on_scroll, this);
    Bind(wxEVT_LEFT_UP, &time_interval::on_left_up, this);
    Bind(wxEVT_KILL_FOCUS, &time_interval::on_kill_focus, this);
    Bind(wxEVT_SHOW, &time_interval::on_show, this);
}

void time_interval::set_param(const unsigned& index, const int& min, const int& max,
                              const unsigned& width, const long& value) {
    if (index >= fields_.size())
        return;
    field& f = fields_[index];
    f.min = min;
    f.max = max;
    f.width = std::min(width, max_width);
    f.value = value;
    f.typed = 0;
    redraw();
}

long time_interval::get_param(const unsigned& index) {
    return index < fields_.size() ? fields_[index].value : 0;
}

void time_interval::set(unsigned seconds) {
    const long parts[4] = {long(seconds / 86400), long(seconds % 86400 / 3600),
                           long(seconds % 3600 / 60), long(seconds % 60)};
    for (unsigned i = 0; i < 4 && i < fields_.size(); i++)
        fields_[i].value = parts[i];
    typing_ = -1;
    redraw();
}

unsigned time_interval::get() {
    static const unsigned long factors[4] = {86400, 3600, 60, 1};
    unsigned long total = 0;
    for (unsigned i = 0; i < 4 && i < fields_.size(); i++)
        total += static_cast<unsigned long>(fields_[i].value) * factors[i];
    return static_cast<unsigned>(total);
}

wxString time_interval::render_field(unsigned index) const {
    const field& f = fields_[index];
    if (int(index) == typing_ && f.typed > 0) {
        wxString typed = wxString::Format("%0*ld", int(f.typed), f.value);
        while (typed.length() < f.width)
            typed += ' ';
        return typed;
    }
    if (f.width > 0)
        return wxString::Format("%0*ld", int(f.width), f.value);
    return wxString::Format("%ld", f.value);
}

void time_interval::redraw() {
    wxString text;
    for (const mask_part& p : mask_)
        text += p.field >= 0 ? render_field(unsigned(p.field)) : p.text;
    ChangeValue(text);
}

int time_interval::field_at_caret(long* start) {
    long from = 0, to = 0;
    GetSelection(&from, &to);
    const long mid = (from + to) / 2 + 1;
    long total = 0;
    int found = -1;
    *start = 0;
    for (const mask_part& p : mask_) {
        if (p.field >= 0) {
            found = p.field;
            *start = total;
            total += long(render_field(unsigned(p.field)).length());
            if (total >= mid)
                return found;
        } else {
            for (size_t i = 0; i < p.text.length(); i++)
                if (++total >= mid)
                    return found;
        }
    }
    return found;
}

long time_interval::field_start(unsigned index, long* length) const {
    long total = 0;
    for (const mask_part& p : mask_) {
        if (p.field >= 0) {
            const long printed = long(render_field(unsigned(p.field)).length());
            if (unsigned(p.field) == index) {
                *length = printed;
                return total;
            }
            total += printed;
        } else {
            total += long(p.text.length());
        }
    }
    *length = 0;
    return total;
}

void time_interval::select_field(unsigned index) {
    long length = 0;
    const long start = field_start(index, &length);
    SetSelection(start, start + length);
}

void time_interval::step_field(int index, int delta) {
    typing_ = -1;
    if (index >= 0) {
        field& f = fields_[unsigned(index)];
        f.typed = 0;
        f.value += delta;
        if (f.value > f.max)
            f.value = f.min;
        else if (f.value < f.min)
            f.value = f.max;
    }
    redraw();
    if (index >= 0)
        select_field(unsigned(index));
}

void time_interval::send_changed() {
    wxDateEvent changed(this, wxDateTime(static_cast<time_t>(get())), wxEVT_DATE_CHANGED);
    GetEventHandler()->ProcessEvent(changed);
}

void time_interval::on_key_down(wxKeyEvent& event) {
    const int code = event.GetKeyCode();
    if (code == WXK_TAB) {
        event.Skip();  // keyboard navigation between controls
        return;
    }
    int digit = -1;
    if (code >= '0' && code <= '9')
        digit = code - '0';
    else if (code >= WXK_NUMPAD0 && code <= WXK_NUMPAD9)
        digit = code - WXK_NUMPAD0;
    const unsigned count = unsigned(fields_.size());
    long start = 0;
    const int index = count > 0 ? field_at_caret(&start) : -1;

    if (digit >= 0 && index >= 0) {
        field& f = fields_[unsigned(index)];
        long from = 0, to = 0;
        GetSelection(&from, &to);
        long check = 0;
        if (from == to) {
            const wxString typed = GetValue().Mid(size_t(start), f.typed);
            long prefix = 0;
            typed.ToCLong(&prefix);
            long value = prefix * 10 + digit;
            f.value = value > f.max ? f.max : value;
            f.typed++;
            typing_ = index;
            redraw();
            check = from + 1;
            SetInsertionPoint(check);
        } else {
            f.value = digit > f.max ? f.max : digit;
            for (field& other : fields_)
                other.typed = 0;
            f.typed = 1;
            typing_ = index;
            redraw();
            SetInsertionPoint(start + 1);
            check = (from + to) / 2;
        }
        long length = 0;
        const long field_begin = field_start(unsigned(index), &length);
        if (check >= field_begin + length) {
            f.typed = 0;
            typing_ = -1;
            redraw();
            select_field((unsigned(index) + 1) % count);
        }
    } else if ((code == WXK_LEFT || code == WXK_RIGHT || code == WXK_NUMPAD_LEFT ||
                code == WXK_NUMPAD_RIGHT) && index >= 0) {
        typing_ = -1;
        fields_[unsigned(index)].typed = 0;
        redraw();
        const bool left = code == WXK_LEFT || code == WXK_NUMPAD_LEFT;
        select_field(left ? (unsigned(index) + count - 1) % count : (unsigned(index) + 1) % count);
    } else if (code == WXK_UP || code == WXK_NUMPAD_UP) {
        step_field(index, +1);
    } else if (code == WXK_DOWN || code == WXK_NUMPAD_DOWN) {
        step_field(index, -1);
    }
    send_changed();
}

void time_interval::on_scroll(wxScrollWinEvent& event) {
    long start = 0;
    const int index = fields_.empty() ? -1 : field_at_caret(&start);
    if (index >= 0)
        step_field(index, event.GetEventType() == wxEVT_SCROLLWIN_LINEUP ? +1 : -1);
    send_changed();
    event.Skip();
}

void time_interval::on_left_up(wxMouseEvent& event) {
    // The text places its caret in its own handling of the click, which
    // runs after this one.
    CallAfter([this]() {
        typing_ = -1;
        for (field& f : fields_)
            f.typed = 0;
        long from = 0, to = 0;
        GetSelection(&from, &to);
        redraw();
        SetSelection(from, to);
        long start = 0;
        const int index = fields_.empty() ? -1 : field_at_caret(&start);
        if (index >= 0)
            select_field(unsigned(index));
    });
    event.Skip();
}

void time_interval::on_kill_focus(wxFocusEvent& event) {
    long from = 0, to = 0;
    GetSelection(&from, &to);
    typing_ = -1;
    for (field& f : fields_)
        f.typed = 0;
    redraw();
    SetInsertionPoint((from + to) / 2);
    event.Skip();
}

void time_interval::on_show(wxShowEvent& event) {
    if (event.IsShown()) {
        redraw();
        const int width = best_width();
        SetSize(width, -1);
        SetMinSize(wxSize(width, GetMinSize().y));
    }
    event.Skip();
}

int time_interval::best_width() {
    wxString text;
    for (const mask_part& p : mask_) {
        if (p.field < 0) {
            text += p.text;
            continue;
        }
        const field& f = fields_[unsigned(p.field)];
        text += f.width > 0 ? wxString::Format("%0*d", int(f.width), f.max)
                            : wxString::Format("%d", f.max);
    }
    return GetTextExtent(text).x + 2 * wxSystemSettings::GetMetric(wxSYS_VSCROLL_X, this);
}

}  // namespace kiv
