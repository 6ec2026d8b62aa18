// splash_screen.h --
//
//     An application's picture with its identity lines (header, title,
//     version, copyright, web site, e-mail, telephone), shown either as a
//     borderless splash window that stays on top while the application
//     starts, or as a modal "About..." dialog with an OK button. The texts
//     are set first; the layout is built by show(). GUI thread only.
//
//         kiv::splash_screen about(picture, frame, true);
//         about.set_title("ozm viewer");
//         about.set_version("Version 1.0");
//         about.show();   // returns when the user presses OK
//
//     Who owns what: wxWidgets owns the windows. A splash (about false)
//     is made with `new` and owned by its window: when the window goes,
//     whether the user closed it, the application called close(), or its
//     parent was destroyed, the object deletes itself. An application
//     that wants to close or delete it later holds it through a
//     wxWeakRef<splash_screen>, which turns null when the object goes:
//
//         wxWeakRef<kiv::splash_screen> splash = new kiv::splash_screen(picture, nullptr, false);
//         splash->show();
//         ... start-up work ...
//         if (splash) splash->close();   // or: delete splash.get();
//
//     Deleting a splash whose window is still open closes the window. An
//     about box, and an object made by the default constructor (which has
//     no window), belong to their creator, usually on the stack.

#ifndef KIV_GUI_SPLASH_SCREEN_H
#define KIV_GUI_SPLASH_SCREEN_H

#include <kiv/core/export.h>

#include <wx/bitmap.h>
#include <wx/colour.h>
#include <wx/event.h>
#include <wx/toplevel.h>
#include <wx/weakref.h>
#include <wx/window.h>

namespace kiv {

// The picture: paints a copy of the bitmap at (0, 0), sized to it.
class KIV_EXPORT splash_screen_wnd : public wxWindow {
public:
    splash_screen_wnd(wxWindow* parent, const wxBitmap& bitmap);

private:
    void on_paint(wxPaintEvent& event);
    wxBitmap bitmap_;
};

class KIV_EXPORT splash_screen : public wxEvtHandler {
public:
    // No window and all texts empty: show() and close() do nothing.
    splash_screen();
    // `about`: a modal dialog with OK; otherwise a borderless splash.
    splash_screen(const wxBitmap& bitmap, wxWindow* parent, bool about);
    splash_screen(const wxBitmap& bitmap, wxWindow* parent, const wxString& header, const wxString& title,
                  const wxString& version, const wxString& copyright, const wxString& website,
                  const wxString& email, const wxString& tel, bool about);
    // Destroys a window still open.
    ~splash_screen() override;
    splash_screen(const splash_screen&) = delete;
    splash_screen& operator=(const splash_screen&) = delete;

    void set_header(const wxString& text) { header_ = text; }
    void set_title(const wxString& text) { title_ = text; }
    void set_version(const wxString& text) { version_ = text; }
    void set_copyright(const wxString& text) { copyright_ = text; }
    void set_website(const wxString& text, bool own_line) { website_ = text, website_own_line_ = own_line; }
    void set_email(const wxString& text, bool own_line) { email_ = text, email_own_line_ = own_line; }
    void set_tel(const wxString& text, bool own_line, bool fax) {
        tel_ = text, tel_own_line_ = own_line, tel_fax_ = fax;
    }
    void set_background(const wxColour& colour) { background_ = colour; }
    // `modal` asks for the about behaviour; it takes effect only on an
    // object built as an about box (a splash frame cannot run modally).
    void set_close(bool modal) { modal_ = modal; }

    // Builds the layout and shows the window: an about box runs modally
    // and returns when it is closed; a splash returns at once, painted.
    // Does nothing once the window is gone.
    void show();
    // Closes the window (forced); nothing when it is already gone.
    void close();
    // Returns: the window while it exists, else null (not owned).
    wxTopLevelWindow* get_window() const { return window_.get(); }

private:
    void create(const wxBitmap& bitmap, wxWindow* parent, bool about);
    void init();
    void on_close_wnd(wxCloseEvent& event);
    // The splash window is being destroyed: the object goes with it.
    void on_destroy_wnd(wxWindowDestroyEvent& event);

    wxString header_, title_, version_, copyright_;
    wxString website_, email_, tel_;
    bool website_own_line_ = false;
    bool email_own_line_ = false;
    bool tel_own_line_ = false;
    bool tel_fax_ = false;
    wxColour background_{215, 225, 255};
    bool modal_ = false;
    bool about_ = false;                          // built as a dialog
    bool laid_out_ = false;                       // init() has run
    wxWeakRef<wxTopLevelWindow> window_;          // owned by wxWidgets; null once destroyed
    splash_screen_wnd* picture_ = nullptr;        // child of window_
};

}  // namespace kiv

#endif
