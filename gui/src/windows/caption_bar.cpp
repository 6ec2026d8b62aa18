// caption_bar.cpp --
//
//     The caption of a workspace entry: a flat strip that shows a raised
//     edge under the pointer and a sunken one while pressed, with the
//     entry's icon left of its centred title. A release of the left
//     button is queued to the parent bar rather than handled here, so the
//     bar may destroy this caption in answer without pulling the window
//     out from under its own handler.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/gui/image_manager.h>
#include <kiv/gui/caption_bar.h>
#include <kiv/gui/shortcuts_bar.h>

#include <wx/dcclient.h>
#include <wx/imaglist.h>
#include <wx/settings.h>

namespace kiv {

wxBEGIN_EVENT_TABLE(caption_bar, wxPanel)
    EVT_PAINT(caption_bar::on_paint)
    EVT_ENTER_WINDOW(caption_bar::on_enter)
    EVT_LEAVE_WINDOW(caption_bar::on_leave)
    EVT_LEFT_DOWN(caption_bar::on_left_down)
    EVT_LEFT_UP(caption_bar::on_left_up)
wxEND_EVENT_TABLE()

caption_bar::caption_bar(wxWindow* parent, const wxString& text, int image)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxSize(-1, height), wxTAB_TRAVERSAL),
      text_(text),
      image_(image),
      black_pen_(*wxBLACK, 1),
      shadow_pen_(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW), 1),
      face_pen_(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE), 1),
      highlight_pen_(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT), 1),
      font_(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT)),
      bold_font_(wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT)),
      selected_colour_(0, 80, 128) {
    bold_font_.SetWeight(wxFONTWEIGHT_BOLD);
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNFACE));
}

void caption_bar::set_selected(bool selected) {
    if (selected_ == selected)
        return;
    selected_ = selected;
    Refresh();
}

void caption_bar::on_paint(wxPaintEvent&) {
    wxPaintDC dc(this);
    const wxSize size = GetClientSize();
    const int right = size.x - 1;
    const int bottom = size.y - 1;

    // Light above and left, dark below and right: raised. Pressed under
    // the pointer the roles swap; a flat caption away from the pointer
    // shows no edge at all.
    const wxPen* top_left = &highlight_pen_;
    const wxPen* bottom_right = &shadow_pen_;
    if (pressed_ && hover_) {
        top_left = &shadow_pen_;
        bottom_right = &highlight_pen_;
    } else if (flat_ && !hover_ && !pressed_) {
        top_left = &face_pen_;
        bottom_right = &face_pen_;
    } else if (!flat_) {
        bottom_right = &black_pen_;
    }
    dc.SetPen(*top_left);
    dc.DrawLine(0, 0, right, 0);
    dc.DrawLine(0, 0, 0, bottom);
    dc.SetPen(*bottom_right);
    dc.DrawLine(0, bottom, right + 1, bottom);
    dc.DrawLine(right, 0, right, bottom);

    dc.SetFont(selected_ ? bold_font_ : font_);
    dc.SetTextForeground(selected_ ? selected_colour_ : wxSystemSettings::GetColour(wxSYS_COLOUR_BTNTEXT));
    dc.SetBackgroundMode(wxBRUSHSTYLE_TRANSPARENT);
    const wxRect client(size);
    dc.DrawLabel(text_, client, wxALIGN_CENTRE);

    if (image_ < 0)
        return;
    // The shared list is looked up for every paint: a list kept from an
    // earlier paint could have gone with its service.
    auto_ptr_t<i_object> service(find_service("svc_gui_image_manager"));
    i_image_manager* images = kiv_cast_i_image_manager(service);
    wxImageList* list = images != nullptr ? images->get_image_list() : nullptr;
    if (list == nullptr || image_ >= list->GetImageCount())
        return;
    const int text_width = dc.GetTextExtent(text_).x;
    list->Draw(image_, dc, size.x / 2 - text_width / 2 - 19, 2, wxIMAGELIST_DRAW_NORMAL);
}

void caption_bar::on_enter(wxMouseEvent& event) {
    SetCursor(wxCursor(wxCURSOR_HAND));
    hover_ = true;
    Refresh();
    event.Skip();
}

void caption_bar::on_leave(wxMouseEvent& event) {
    SetCursor(wxNullCursor);
    hover_ = false;
    pressed_ = false;
    Refresh();
    event.Skip();
}

void caption_bar::on_left_down(wxMouseEvent& event) {
    pressed_ = true;
    Refresh();
    event.Skip();
}

void caption_bar::on_left_up(wxMouseEvent& event) {
    pressed_ = false;
    Refresh();
    if (wxWindow* bar = GetParent()) {
        event.SetEventObject(this);
        bar->GetEventHandler()->AddPendingEvent(event);
    }
}

}  // namespace kiv
