// caption_bar.h --
//
//     The caption of one entry of the shortcuts bar (shortcuts_bar.h): a
//     clickable strip with an icon from the image list of
//     "svc_gui_image_manager" (looked up at every paint) and a title.
//     GUI thread only; the window belongs to its parent bar.

#ifndef KIV_GUI_CAPTION_BAR_H
#define KIV_GUI_CAPTION_BAR_H

#include <kiv/core/export.h>

#include <wx/colour.h>
#include <wx/font.h>
#include <wx/panel.h>
#include <wx/pen.h>

namespace kiv {

// The strip above a panel: icon and title, drawn flat until the mouse
// is over it; a left-button release is handed to the parent bar.
class KIV_EXPORT caption_bar : public wxPanel {
public:
    // `image`: an index of the shared image list, -1 for no icon.
    caption_bar(wxWindow* parent, const wxString& text, int image);

    const wxString& get_text() const { return text_; }
    int get_image() const { return image_; }
    bool is_selected() const { return selected_; }
    // Draws the caption as the current one (bold, coloured) or not.
    void set_selected(bool selected);

    // Height of every caption, in pixels.
    static const int height = 22;

private:
    void on_paint(wxPaintEvent& event);
    void on_enter(wxMouseEvent& event);
    void on_leave(wxMouseEvent& event);
    void on_left_down(wxMouseEvent& event);
    void on_left_up(wxMouseEvent& event);

    wxString text_;        // the title
    int image_;            // index in the shared image list; -1: none
    bool pressed_ = false;  // the left button went down here and is held
    bool hover_ = false;    // the pointer is over the caption
    bool flat_ = true;      // no edge unless the pointer is over it
    bool selected_ = false;
    wxPen black_pen_;
    wxPen shadow_pen_;     // system colour 16
    wxPen face_pen_;       // system colour 15
    wxPen highlight_pen_;  // system colour 20
    wxFont font_;          // the default GUI font
    wxFont bold_font_;     // the same, bold: the current caption
    wxColour selected_colour_;

    wxDECLARE_EVENT_TABLE();
};

}  // namespace kiv

#endif
