// window_placement.cpp --
//
//     The native side of placing the main window: two calls of the
//     toolkit under wxWidgets (GTK 3 and GDK 3), declared here with opaque
//     pointers because only their shared libraries are installed.

#include "window_placement.h"

#include <wx/toplevel.h>

extern "C" {
void* gtk_widget_get_window(void* widget);
int gdk_window_is_visible(void* window);
void gdk_window_move_resize(void* window, int x, int y, int width, int height);
}

namespace kiv_viewer {

bool place_before_mapping(wxTopLevelWindow* window, const wxRect& rect) {
    if (window == nullptr || window->GetHandle() == nullptr || rect.width <= 0 || rect.height <= 0)
        return false;
    void* native = gtk_widget_get_window(window->GetHandle());
    if (native == nullptr || gdk_window_is_visible(native) != 0)
        return false;
    gdk_window_move_resize(native, rect.x, rect.y, rect.width, rect.height);
    return true;
}

}  // namespace kiv_viewer
