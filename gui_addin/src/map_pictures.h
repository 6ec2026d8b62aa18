// map_pictures.h --
//
//     The XPM pictures of the map view and its modes (map_pictures.cpp)
//     and the cursor makers of the modes.

#ifndef KIV_GUI_ADDIN_MAP_PICTURES_H
#define KIV_GUI_ADDIN_MAP_PICTURES_H

#include <wx/cursor.h>

namespace kiv_addin {

extern const char* const marker_xpm[];  // 64 x 64

// The badges of the arrow cursors: the move mode idle and dragging, the
// zoom mode.
enum class arrow_badge { move_idle, move_grab, zoom };

// Returns: a cursor of the picture with its hot spot at (hot_x, hot_y);
//     the arrow cursor when the picture cannot be read. GUI thread.
wxCursor make_cursor(const char* const* xpm, int hot_x, int hot_y);
// Returns: the pointer arrow with `badge`, its hot spot at the arrow's
//     tip (0, 0). GUI thread.
wxCursor make_arrow_cursor(arrow_badge badge);

}  // namespace kiv_addin

#endif
