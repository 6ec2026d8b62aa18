// desktop.cpp --
//
//     What the viewer asks of the X desktop it runs on, kept apart from
//     the window code because the X headers' macros (None, Status, True)
//     clash with the toolkit's names.

#include "main_frame.h"

#include <wx/utils.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <string>

namespace kiv_viewer {

bool decorations_will_be_told() {
    Display* display = wxGetX11Display();
    if (display == nullptr)
        return false;
    // The window manager's selection goes with its connection: a manager
    // that ended without tidying the root window owns it no more.
    std::string selection = "WM_S" + std::to_string(DefaultScreen(display));
    if (XGetSelectionOwner(display, XInternAtom(display, selection.c_str(), False)) == None)
        return false;
    Atom extents = XInternAtom(display, "_NET_FRAME_EXTENTS", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    // A manager lists a few hundred names at most.
    bool listed = false;
    if (XGetWindowProperty(display, DefaultRootWindow(display), XInternAtom(display, "_NET_SUPPORTED", False), 0,
                           4096, False, XA_ATOM, &type, &format, &count, &after, &data) == Success &&
        data != nullptr && type == XA_ATOM && format == 32) {
        const Atom* names = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count && !listed; ++i)
            listed = names[i] == extents;
    }
    if (data != nullptr)
        XFree(data);
    return listed;
}

}  // namespace kiv_viewer
