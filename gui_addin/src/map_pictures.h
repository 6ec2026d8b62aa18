// map_pictures.h --
//
//     The XPM pictures of the map view and its modes (map_pictures.cpp)
//     and the cursor maker of the modes.

#ifndef KIV_GUI_ADDIN_MAP_PICTURES_H
#define KIV_GUI_ADDIN_MAP_PICTURES_H

#include <wx/cursor.h>

namespace kiv_addin {

extern const char* const move_idle_xpm[];
extern const char* const move_grab_xpm[];
extern const char* const zoom_xpm[];
extern const char* const marker_xpm[];  // 64 x 64

// Returns: a cursor of the picture with its hot spot at (hot_x, hot_y);
//     the arrow cursor when the picture cannot be read. GUI thread.
wxCursor make_cursor(const char* const* xpm, int hot_x, int hot_y);

}  // namespace kiv_addin

#endif
