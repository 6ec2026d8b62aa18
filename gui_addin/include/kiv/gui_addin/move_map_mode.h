// move_map_mode.h --
//
//     The pan mode "MAP_MODE_MOVE", the viewer's default: dragging moves
//     the map (the picture is shifted while the button is down, the view
//     re-centred when it is released), the keypad keys 2, 4, 5, 6 and 8
//     pan by a quarter of the window, and the cursor's coordinates go to
//     status field 3 unless KIV_ENABLE_COORDS is a number <= 0. The
//     geozone editor builds on it.

#ifndef KIV_GUI_ADDIN_MOVE_MAP_MODE_H
#define KIV_GUI_ADDIN_MOVE_MAP_MODE_H

#include <kiv/gui_addin/map_mode_base.h>

namespace kiv {

class KIV_EXPORT move_map_mode : public map_mode_base {
public:
    move_map_mode();

    void on_begin_mode(i_map_view* view) override;
    void on_end_mode() override;
    bool on_draw(wxDC* dc, wxDC* map_dc) override;
    bool click_down_proc(const wxPoint& pt) override;
    bool click_up_proc(const wxPoint& pt) override;
    bool motion_proc(const wxPoint& pt) override;
    // Keypad and NumLock-keypad digits 2, 4, 5, 6, 8 (the keypad's
    // arrow codes count as the digits they share a key with).
    bool key_down_proc(int key_code) override;
    void on_capture_lost() override;

protected:
    // While a pan is under way, moves its end to `pt` and repaints the
    // window when the picture is shifted (nothing is rendered).
    void pan_to(const wxPoint& pt);

    wxPoint last_{0, 0};  // last motion position
    wxCursor idle_cursor_, grab_cursor_;
};

}  // namespace kiv

#endif
