// zoom_map_mode.h --
//
//     The rubber-band zoom mode "MAP_MODE_ZOOM": a band dragged downwards
//     zooms into the band, the same band dragged upwards zooms out by
//     widening the box (the smaller the band, the farther). The band is
//     drawn translucent blue on the picture's copy while it is dragged.

#ifndef KIV_GUI_ADDIN_ZOOM_MAP_MODE_H
#define KIV_GUI_ADDIN_ZOOM_MAP_MODE_H

#include <kiv/gui_addin/map_mode_base.h>

namespace kiv {

class KIV_EXPORT zoom_map_mode : public map_mode_base {
public:
    zoom_map_mode();

    void on_begin_mode(i_map_view* view) override;
    void on_end_mode() override;
    bool on_draw(wxDC* dc, wxDC* map_dc) override;
    bool click_down_proc(const wxPoint& pt) override;
    bool click_up_proc(const wxPoint& pt) override;
    bool motion_proc(const wxPoint& pt) override;
    void draw_agg_after(i_image* image) override;
    void on_capture_lost() override;

protected:
    wxCursor cursor_;
};

}  // namespace kiv

#endif
