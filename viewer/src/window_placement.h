// window_placement.h --
//
//     Puts a top-level window's native window where it belongs before the
//     desktop maps it. wxWidgets realizes a frame early when a window
//     manager is running (to learn its decoration sizes first), and the
//     position it asked for at creation is then never sent: the window
//     manager places the window by itself. Moving the realized, unmapped
//     window gives the window manager the position, and the size, that
//     it also keeps as the normal rectangle of a window mapped maximised.
//     GUI thread only.

#ifndef KIV_VIEWER_WINDOW_PLACEMENT_H
#define KIV_VIEWER_WINDOW_PLACEMENT_H

#include <wx/gdicmn.h>

class wxTopLevelWindow;

namespace kiv_viewer {

// Gives the native window of `window` the rectangle `rect` (its
// position and the size of its contents) when it exists and is not
// mapped yet. Returns: true when the rectangle was set.
bool place_before_mapping(wxTopLevelWindow* window, const wxRect& rect);

}  // namespace kiv_viewer

#endif
