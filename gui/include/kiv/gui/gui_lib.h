// gui_lib.h --
//
//     The library's plain helpers: the application and splash titles, the
//     GUI running flag, and the message box every component uses.

#ifndef KIV_GUI_GUI_LIB_H
#define KIV_GUI_GUI_LIB_H

#include <kiv/core/export.h>

#include <wx/defs.h>
#include <wx/string.h>

class wxWindow;

// Returns: the translation of KIV_APP_TITLE, or "" when it is unset. The
//     text stays valid for the life of the process. Any thread.
KIV_EXTERN_C const char* kiv_get_app_name();
// Returns: the same for APP_SPLASH_TITLE.
KIV_EXTERN_C const char* kiv_get_splash_name();
// Returns: true from load until kiv_gui_terminate. Any thread.
KIV_EXTERN_C bool kiv_gui_is_running();
// Clears the GUI running flag for good: View-menu items are no longer
// added, and the services that check the flag return at once. Called by
// the application when it begins to close.
KIV_EXTERN_C void kiv_gui_terminate();

// Shows a modal message box. `caption` empty: the application title.
// `parent` null: the frame service's top frame, else none.
// Returns: what wxMessageBox returns (wxOK, wxYES, wxNO, wxCANCEL).
// GUI thread. C linkage like the other plain functions, so the name is
// the same for every caller; the arguments are still C++ types.
KIV_EXTERN_C int message_box(const wxString& message, const wxString& caption = wxString(),
                             int style = wxOK | wxCENTRE, wxWindow* parent = nullptr);

#endif
