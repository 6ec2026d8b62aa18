// tooltip_wnd.cpp --
//
//     The tooltip popup (see tooltip_wnd.h) and tip_window_view, the
//     borderless child that paints its lines. Clicks on either go through
//     to the popup's parent, so the tooltip never swallows a click meant
//     for the map under it.

#include <kiv/gui_addin/tooltip_wnd.h>

#include <wx/dcclient.h>
#include <wx/settings.h>
#include <wx/window.h>

namespace kiv {

class tip_window_view : public wxWindow {
public:
    explicit tip_window_view(tooltip_wnd* owner) : wxWindow(owner, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxBORDER_NONE), owner_(owner) {
        font_ = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
        font_.SetPointSize(8);
        SetFont(font_);
        SetForegroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_INFOTEXT));
        SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_INFOBK));
        Bind(wxEVT_PAINT, &tip_window_view::on_paint, this);
        for (const auto& type : {wxEVT_LEFT_DOWN, wxEVT_RIGHT_DOWN, wxEVT_MIDDLE_DOWN, wxEVT_LEFT_UP, wxEVT_LEFT_DCLICK})
            Bind(type, &tip_window_view::on_click, this);
        Bind(wxEVT_MOTION, &tip_window_view::on_motion, this);
    }
    const wxFont& font() const { return font_; }

private:
    void on_paint(wxPaintEvent&) {
        wxPaintDC dc(this);
        wxSize size = GetClientSize();
        dc.SetBrush(wxBrush(GetBackgroundColour()));
        dc.SetPen(wxPen(GetForegroundColour(), 1));
        dc.DrawRectangle(0, 0, size.x, size.y);
        dc.SetFont(font_);
        dc.SetTextForeground(GetForegroundColour());
        dc.SetTextBackground(GetBackgroundColour());
        int y = 3;
        for (const wxString& line : owner_->get_lines()) {
            dc.DrawText(line, 3, y);
            y += owner_->get_line_height();
        }
    }
    void on_click(wxMouseEvent& event) { owner_->pass_click(event, this); }
    void on_motion(wxMouseEvent& event) {
        const wxRect& bounds = owner_->get_bounding_rect();
        if (bounds.width != 0 && !bounds.Contains(wxGetMousePosition())) {
            owner_->hide();
            return;
        }
        event.Skip();
    }

    tooltip_wnd* owner_;  // the popup this view belongs to
    wxFont font_;         // default GUI font at 8 points
};

tooltip_wnd::tooltip_wnd(wxWindow* parent, const wxString& text, int max_length, wxRect* bounds)
    : wxPopupTransientWindow(parent, wxBORDER_NONE) {
    if (bounds != nullptr)
        bounds_ = *bounds;
    SetForegroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_INFOTEXT));
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_INFOBK));
    view_ = new tip_window_view(this);
    for (const auto& type : {wxEVT_LEFT_DOWN, wxEVT_RIGHT_DOWN, wxEVT_MIDDLE_DOWN, wxEVT_LEFT_UP, wxEVT_LEFT_DCLICK})
        Bind(type, &tooltip_wnd::on_mouse, this);
    layout_text(text, max_length);
    // The view takes the focus when the popup shows (move): focusing a
    // hidden window would take it from the map window.
    wxPoint at = wxGetMousePosition();
    at.y += wxSystemSettings::GetMetric(wxSYS_CURSOR_Y) / 2;
    Position(at, wxSize(0, 0));
}

void tooltip_wnd::set_text(const wxString& text, int max_length) {
    layout_text(text, max_length);
    if (IsShown())
        view_->SetFocus();
}

void tooltip_wnd::move(int x, int y) {
    hide();
    Position(wxPoint(x, y + wxSystemSettings::GetMetric(wxSYS_CURSOR_Y) / 2), wxSize(0, 0));
    Popup(view_);
}

void tooltip_wnd::hide() {
    if (IsShown())
        wxPopupTransientWindow::Dismiss();
}

void tooltip_wnd::pass_click(wxMouseEvent& event, wxWindow* from) {
    wxPoint screen = from->ClientToScreen(event.GetPosition());
    hide();
    wxWindow* parent = GetParent();
    if (parent == nullptr)
        return;
    wxMouseEvent copy(event);
    copy.SetPosition(parent->ScreenToClient(screen));
    copy.SetEventObject(parent);
    copy.SetId(parent->GetId());
    wxPostEvent(parent->GetEventHandler(), copy);
}

void tooltip_wnd::on_mouse(wxMouseEvent& event) {
    pass_click(event, this);
}

void tooltip_wnd::layout_text(const wxString& text, int max_length) {
    wxClientDC dc(view_);
    dc.SetFont(view_->font());
    lines_.Clear();
    int widest = 0, tallest = 0;
    wxString line;
    bool marked = false;  // the line passed max_length: break at the next blank
    auto close_line = [&] {
        wxCoord w = 0, h = 0;
        dc.GetTextExtent(line, &w, &h);
        if (line.empty())
            h = dc.GetCharHeight();
        widest = std::max(widest, static_cast<int>(w));
        tallest = std::max(tallest, static_cast<int>(h));
        lines_.Add(line);
        line.clear();
        marked = false;
    };
    for (wxUniChar c : text) {
        if (c == '\n') {
            close_line();
        } else if (marked && (c == ' ' || c == '\t')) {
            close_line();
        } else {
            line += c;
            if (dc.GetTextExtent(line).x > max_length)
                marked = true;
        }
    }
    close_line();
    line_height_ = tallest;
    wxSize size(widest + 8, static_cast<int>(lines_.GetCount()) * tallest + 8);
    view_->SetClientSize(size);
    SetClientSize(size);
}

}  // namespace kiv
