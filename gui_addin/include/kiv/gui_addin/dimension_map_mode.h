// dimension_map_mode.h --
//
//     The measuring mode "MAP_MODE_DIMENSION": every left click adds a
//     point, status field 3 shows the length so far plus the segment to
//     the cursor, and the overlay shows the measured line with the length
//     of every segment and, from three points on, the enclosed area. The
//     right button starts a new measurement without moving the map.

#ifndef KIV_GUI_ADDIN_DIMENSION_MAP_MODE_H
#define KIV_GUI_ADDIN_DIMENSION_MAP_MODE_H

#include <kiv/gui_addin/addin_lib.h>
#include <kiv/gui_addin/map_mode_base.h>

namespace kiv {

class KIV_EXPORT dimension_map_mode : public map_mode_base {
public:
    dimension_map_mode();

    void on_begin_mode(i_map_view* view) override;
    void on_end_mode() override;
    bool on_draw(wxDC* dc, wxDC* map_dc) override;
    bool context_menu_proc(const wxPoint& pt) override;
    bool db_click_proc(const wxPoint& pt) override;
    bool click_down_proc(const wxPoint& pt) override;
    bool click_up_proc(const wxPoint& pt) override;
    bool motion_proc(const wxPoint& pt) override;
    void draw_agg_after(i_image* image) override;

    // The measured points, x latitude and y longitude, in click order.
    const wxArrayRealPoint& get_points() const { return points_; }
    // Returns: km along the points, and from the last point to the cursor.
    double get_total() const { return total_; }
    double get_current() const { return current_; }

    // Returns: the label of a segment of `metres` ("999 m", "1.000 km")
    //     and of an area of `km2` ("1.000 sq. km"), translated.
    static wxString format_length(double metres);
    static wxString format_area(double km2);

protected:
    wxCursor cursor_;
    wxArrayRealPoint points_;
    wxPoint mouse_{0, 0};  // last motion; 0, 0 after a button release
    bool rubber_ = false;  // the rubber line follows the cursor (a motion since the last release)
    double total_ = 0, current_ = 0;
};

}  // namespace kiv

#endif
