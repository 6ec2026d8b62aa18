// map_view.cpp --
//
//     The map view's window set-up, the routing of mouse and key input to
//     the active mode, centre and scale with the wheel step, the mode
//     collection and its menu commands, and the driver, layer and tag
//     settings. The picture itself is made and painted in
//     map_view_render.cpp.

#include "map_pictures.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui/i_gui_frame.h>
#include <kiv/gui_addin/addin_lib.h>
#include <kiv/gui_addin/map_view.h>
#include <kiv/gui_addin/tooltip_wnd.h>

#include <wx/app.h>
#include <wx/frame.h>
#include <wx/settings.h>
#include <wx/statusbr.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace kiv {

namespace {

// Returns: the position of `scale` in the scale table, -1 when absent.
int scale_index_of(unsigned scale) {
    wxArrayLong* table = get_scale_values();
    for (size_t i = 0; i < table->GetCount(); ++i)
        if ((*table)[i] == static_cast<long>(scale))
            return static_cast<int>(i);
    return -1;
}

// Returns: KIV_MAP_MOUSE_MODE as a base-10 number; 0 when unset or not one.
long mouse_mode() {
    std::string value;
    if (!kiv_get_env("KIV_MAP_MOUSE_MODE", value))
        return 0;
    char* end = nullptr;
    long number = std::strtol(value.c_str(), &end, 10);
    return end == value.c_str() ? 0 : number;
}

}  // namespace

map_view::map_view(wxWindow* parent) : panel(parent) {
    scale_index_ = scale_index_of(scale_);
    marker_ = wxBitmap(wxImage(kiv_addin::marker_xpm));
    scale_font_ = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    scale_font_.SetWeight(wxFONTWEIGHT_BOLD);
}

map_view::~map_view() {
    if (active_) {
        active_->on_end_mode();
        active_.reset();
    }
    uninstall_handlers();
    if (handlers_installed_) {
        kiv_uninstall_gui_handler(0, "AVL_EVT_MAP_REDRAW", kiv_gui_event_handler(map_view::on_redraw_event), this);
        kiv_uninstall_gui_handler(0, "AVL_EVT_FEATURE_FOUND", kiv_gui_event_handler(map_view::on_feature_found), this);
    }
    if (map_wnd_ != nullptr) {
        // The owner did not close the view: its window must not call
        // back into a destroyed view.
        bind_window(false);
        map_wnd_->Unbind(wxEVT_DESTROY, &map_view::on_window_destroy, this);
        aui_.DetachPane(map_wnd_);
        map_wnd_->Destroy();
        map_wnd_ = nullptr;
    }
    map_dc_.reset();
}

bool map_view::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_map_view", static_cast<i_map_view*>(this), out))
        return true;
    if (answer_interface(name, "map_view", this, out))
        return true;
    return panel::get_interface(name, out);
}

bool map_view::initialize_sdi() {
    if (wnd_ == nullptr)
        return false;
    if (map_wnd_ != nullptr)
        close();
    map_wnd_ = new wxWindow(wnd_, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxWANTS_CHARS);
    // Every pixel is painted from a buffer: no erasing, no flicker.
    map_wnd_->SetBackgroundStyle(wxBG_STYLE_PAINT);
    // The window may go with its parent before the view is closed.
    map_wnd_->Bind(wxEVT_DESTROY, &map_view::on_window_destroy, this);
    object_col* modes = new object_col;
    modes->addref();
    modes_.reset(modes);
    tooltip_ = new tooltip_wnd(map_wnd_, wxString(), 100, nullptr);
    auto_ptr_t<i_object> gis_object(find_service("svc_gis"));
    i_gis_service* gis = kiv_cast_i_gis_service(gis_object);
    if (gis == nullptr)
        return false;
    driver_ = "ozm";
    const char* layers = gis->get_layers("ozm");
    renderer_ = layers != nullptr ? layers : "";
    set_default_tags("ozm");
    bind_window(true);
    kiv_install_gui_handler(0, "AVL_EVT_MAP_REDRAW", kiv_gui_event_handler(map_view::on_redraw_event), this);
    kiv_install_gui_handler(0, "AVL_EVT_FEATURE_FOUND", kiv_gui_event_handler(map_view::on_feature_found), this);
    handlers_installed_ = true;
    aui_.AddPane(map_wnd_, wxAuiPaneInfo().CenterPane().CaptionVisible(false));
    aui_.Update();
    return true;
}

bool map_view::close() {
    if (active_) {
        auto_ptr_t<i_map_mode> ending(active_.detach());
        ending->on_end_mode();
    }
    if (handlers_installed_) {
        kiv_uninstall_gui_handler(0, "AVL_EVT_MAP_REDRAW", kiv_gui_event_handler(map_view::on_redraw_event), this);
        kiv_uninstall_gui_handler(0, "AVL_EVT_FEATURE_FOUND", kiv_gui_event_handler(map_view::on_feature_found), this);
        handlers_installed_ = false;
    }
    if (map_wnd_ == nullptr)
        return true;
    bind_window(false);
    map_wnd_->Unbind(wxEVT_DESTROY, &map_view::on_window_destroy, this);
    aui_.DetachPane(map_wnd_);
    map_wnd_->Destroy();  // the tooltip goes with it
    map_wnd_ = nullptr;
    tooltip_ = nullptr;
    return true;
}

void map_view::bind_window(bool bind) {
    wxWindow* w = map_wnd_;
    auto connect = [&](auto type, auto method) {
        if (bind)
            w->Bind(type, method, this);
        else
            w->Unbind(type, method, this);
    };
    connect(wxEVT_PAINT, &map_view::on_paint);
    connect(wxEVT_ERASE_BACKGROUND, &map_view::on_erase_background);
    connect(wxEVT_SIZE, &map_view::on_size);
    connect(wxEVT_LEFT_DOWN, &map_view::on_left_down);
    connect(wxEVT_MOTION, &map_view::on_motion);
    connect(wxEVT_LEFT_UP, &map_view::on_left_up);
    connect(wxEVT_LEFT_DCLICK, &map_view::on_left_dclick);
    connect(wxEVT_RIGHT_DOWN, &map_view::on_right_down);
    connect(wxEVT_MOUSEWHEEL, &map_view::on_wheel);
    connect(wxEVT_ENTER_WINDOW, &map_view::on_enter_leave);
    connect(wxEVT_LEAVE_WINDOW, &map_view::on_enter_leave);
    connect(wxEVT_KEY_DOWN, &map_view::on_key_down);
    connect(wxEVT_MOUSE_CAPTURE_LOST, &map_view::on_capture_lost);
}

void map_view::on_window_destroy(wxWindowDestroyEvent& event) {
    if (event.GetEventObject() == map_wnd_) {
        map_wnd_->Unbind(wxEVT_DESTROY, &map_view::on_window_destroy, this);
        bind_window(false);
        map_wnd_ = nullptr;
        tooltip_ = nullptr;
    }
    event.Skip();
}

i_gis_viewport* map_view::get_viewport() {
    if (viewport_)
        viewport_->addref();
    return viewport_.get();
}

// --- modes -----------------------------------------------------------------

i_map_mode* map_view::find_mode(const char* name) {
    if (!modes_ || name == nullptr)
        return nullptr;
    auto_ptr_t<i_object> item(modes_->get_item_by_name(name));
    i_map_mode* mode = kiv_cast_i_map_mode(item);
    if (mode != nullptr)
        mode->addref();
    return mode;
}

void map_view::enable_modes(bool flag) {
    if (!modes_)
        return;
    for (unsigned i = 0; i < modes_->get_count(); ++i) {
        auto_ptr_t<i_object> item(modes_->get_item_by_pos(i));
        if (i_map_mode* mode = kiv_cast_i_map_mode(item))
            mode->set_enable(flag);
    }
}

i_map_mode* map_view::get_active_mode() {
    if (active_)
        active_->addref();
    return active_.get();
}

void map_view::add_mode(i_map_mode* mode) {
    if (mode == nullptr || !modes_)
        return;
    auto_ptr_t<i_map_mode> same(find_mode(mode->get_name()));
    if (!same)
        modes_->add_item(mode, false);
}

void map_view::remove_mode(i_map_mode* mode) {
    if (mode != nullptr && modes_)
        modes_->remove_item(mode);
}

void map_view::activate_mode(i_map_mode* mode) {
    if (mode != nullptr)
        activate_mode_by_name(mode->get_name());
}

void map_view::fire_mode_event(const char* event_name, i_map_mode* mode) {
    gui_event event(event_name, 0, mode);
    kiv_fire_gui_event(&event, true);
}

void map_view::activate_mode_by_name(const char* name) {
    if (name == nullptr || *name == 0)
        return;
    auto_ptr_t<i_map_mode> mode(find_mode(name));
    if (mode && mode.get() == active_.get())
        return;
    if (active_) {
        auto_ptr_t<i_map_mode> ending(active_.detach());
        ending->on_end_mode();
        fire_mode_event("AVL_EVT_MAP_MODE_DISABLED", ending);
    }
    if (mode) {
        active_ = mode;
        active_->on_begin_mode(this);
        fire_mode_event("AVL_EVT_MAP_MODE_ENABLED", mode);
    }
}

void map_view::install_handlers() {
    uninstall_handlers();
    auto_ptr_t<i_object> proc_object(find_service("svc_gui_event"));
    i_gui_event_proc* proc = kiv_cast_i_gui_event_proc(proc_object);
    if (proc == nullptr || !modes_)
        return;
    for (unsigned i = 0; i < modes_->get_count(); ++i) {
        auto_ptr_t<i_object> item(modes_->get_item_by_pos(i));
        i_map_mode* mode = kiv_cast_i_map_mode(item);
        if (mode == nullptr)
            continue;
        int id = proc->get_cmd_id(mode->get_name());
        proc->install_gui_handler(id, wxEVT_MENU, wxCommandEventHandler(map_view::on_mode_command), this);
        proc->install_gui_handler(id, wxEVT_UPDATE_UI, wxUpdateUIEventHandler(map_view::on_mode_update), this);
        command_ids_.push_back(id);
    }
}

void map_view::uninstall_handlers() {
    if (command_ids_.empty())
        return;
    auto_ptr_t<i_object> proc_object(find_service("svc_gui_event"));
    i_gui_event_proc* proc = kiv_cast_i_gui_event_proc(proc_object);
    for (int id : command_ids_) {
        if (proc != nullptr) {
            proc->uninstall_gui_handler(id, wxEVT_MENU, wxCommandEventHandler(map_view::on_mode_command), this);
            proc->uninstall_gui_handler(id, wxEVT_UPDATE_UI, wxUpdateUIEventHandler(map_view::on_mode_update), this);
        } else if (wxTheApp != nullptr) {
            // The service went first: the bindings still point here.
            wxTheApp->Disconnect(id, wxEVT_MENU, wxCommandEventHandler(map_view::on_mode_command), nullptr, this);
            wxTheApp->Disconnect(id, wxEVT_UPDATE_UI, wxUpdateUIEventHandler(map_view::on_mode_update), nullptr,
                                 this);
        }
    }
    command_ids_.clear();
}

void map_view::on_mode_command(wxCommandEvent& event) {
    auto_ptr_t<i_object> proc_object(find_service("svc_gui_event"));
    i_gui_event_proc* proc = kiv_cast_i_gui_event_proc(proc_object);
    if (proc == nullptr || map_wnd_ == nullptr)
        return;
    auto_ptr_t<i_map_mode> mode(find_mode(proc->get_cmd_str(event.GetId())));
    activate_mode(mode);
}

void map_view::on_mode_update(wxUpdateUIEvent& event) {
    auto_ptr_t<i_object> proc_object(find_service("svc_gui_event"));
    i_gui_event_proc* proc = kiv_cast_i_gui_event_proc(proc_object);
    if (proc == nullptr || !active_ || !modes_)
        return;
    const char* command = proc->get_cmd_str(event.GetId());
    for (unsigned i = 0; i < modes_->get_count(); ++i) {
        auto_ptr_t<i_object> item(modes_->get_item_by_pos(i));
        i_map_mode* mode = kiv_cast_i_map_mode(item);
        if (mode != nullptr && std::strcmp(mode->get_name(), command) == 0)
            event.Enable(mode->get_enable());
    }
    event.Check(std::strcmp(active_->get_name(), command) == 0);
}

// --- input -----------------------------------------------------------------

void map_view::on_left_down(wxMouseEvent& event) {
    map_wnd_->SetFocus();
    auto_ptr_t<i_map_mode> mode(get_active_mode());
    if (mode && !mode->click_down_proc(event.GetPosition()))
        return;
    event.Skip();
}

void map_view::on_left_up(wxMouseEvent& event) {
    auto_ptr_t<i_map_mode> mode(get_active_mode());
    if (mode && !mode->click_up_proc(event.GetPosition()))
        return;
    event.Skip();
}

void map_view::on_motion(wxMouseEvent& event) {
    wxPoint pt = event.GetPosition();
    last_mouse_ = pt;
    auto_ptr_t<i_map_mode> mode(get_active_mode());
    if (mode && !mode->motion_proc(pt))
        return;
    tooltip_proc(pt);
    event.Skip();
}

void map_view::on_left_dclick(wxMouseEvent& event) {
    auto_ptr_t<i_map_mode> mode(get_active_mode());
    if (mode && !mode->db_click_proc(event.GetPosition()))
        return;
    db_click_proc(event.GetPosition());
    event.Skip();
}

void map_view::on_right_down(wxMouseEvent& event) {
    auto_ptr_t<i_map_mode> mode(get_active_mode());
    if (mode && !mode->context_menu_proc(event.GetPosition()))
        return;
    context_menu_proc(event.GetPosition());
    event.Skip();
}

void map_view::on_key_down(wxKeyEvent& event) {
    // Keys for the menus go on to the frame: there the toolkit turns them
    // into accelerators, mnemonics and the menu bar's F10 only once the
    // focused window has let them pass (a desktop whose accelerators come
    // before the window would never show them to it).
    if ((event.GetModifiers() & (wxMOD_CONTROL | wxMOD_ALT)) != 0 || event.GetKeyCode() == WXK_F10) {
        event.Skip();
        return;
    }
    // Every other key stays here: the map window keeps even Tab and Enter.
    auto_ptr_t<i_map_mode> mode(get_active_mode());
    if (mode)
        mode->key_down_proc(event.GetKeyCode());
}

void map_view::on_enter_leave(wxMouseEvent& event) {
    event.Skip();
}

void map_view::on_capture_lost(wxMouseCaptureLostEvent&) {
    auto_ptr_t<i_map_mode> mode(get_active_mode());
    if (mode)
        mode->on_capture_lost();
}

void map_view::on_size(wxSizeEvent& event) {
    // A window manager repeats the size it gave while it frames the
    // window: a picture of that size already is what would be rendered.
    wxSize size = map_wnd_ != nullptr ? map_wnd_->GetClientSize() : wxSize();
    bool same = image_ && static_cast<int>(image_->get_width()) == size.x &&
                static_cast<int>(image_->get_height()) == size.y;
    if (center_set_ && !same)
        render();
    event.Skip();
}

void map_view::on_wheel(wxMouseEvent& event) {
    event.Skip();
    wxArrayLong* table = get_scale_values();
    int count = static_cast<int>(table->GetCount());
    int rotation = event.GetWheelRotation();
    // The index is found from the scale itself, so the two never part.
    int index = scale_index_of(scale_);
    if (rotation > 0 && index < count - 1)
        index += 1;  // forward zooms in; from -1 to the first entry
    else if (rotation < 0 && index >= 1)
        index -= 1;
    else
        return;
    unsigned scale = static_cast<unsigned>((*table)[index]);
    // The index moves only with the scale: set_center stores both.
    geo_point at;
    if (!sync_viewport() || !viewport_->dp_to_lc(last_mouse_.x, last_mouse_.y, at)) {
        set_center(center_lat_, center_lon_, scale);
        return;
    }
    switch (mouse_mode()) {
    case 0: {
        // Keep the place under the cursor there: at the new scale, shift
        // the centre by what separates that place from the cursor.
        wxSize size = map_wnd_->GetClientSize();
        if (size.x <= 0 || size.y <= 0)
            return;
        auto_ptr_t<i_gis_viewport> vp(kiv_gis_create_viewport(size.x, size.y));
        if (!vp)
            return;
        vp->set_viewport_size(size.x, size.y);
        vp->set_center(center_lat_, center_lon_, scale);
        view_point p, c;
        geo_point centre;
        if (vp->lc_to_dp(at.lat, at.lon, p) && vp->lc_to_dp(center_lat_, center_lon_, c) &&
            vp->dp_to_lc(p.x + c.x - last_mouse_.x, p.y + c.y - last_mouse_.y, centre))
            set_center(centre.lat, centre.lon, scale);
        break;
    }
    case 1:
        set_center(center_lat_, center_lon_, scale);
        break;
    case 2:
        set_center(at.lat, at.lon, scale);
        break;
    default:
        break;
    }
}

bool map_view::sync_viewport() {
    if (!viewport_ || map_wnd_ == nullptr)
        return false;
    // The viewport is fitted at paint; a change of centre, scale or size
    // since then must count for the point under the cursor too.
    wxSize size = map_wnd_->GetClientSize();
    if (size.x > 0 && size.y > 0)
        viewport_->set_viewport_size(size.x, size.y);
    return viewport_->set_center(center_lat_, center_lon_, scale_);
}

void map_view::tooltip_proc(const wxPoint& pt) {
    if (active_ && tooltip_ != nullptr)
        active_->tooltip_proc(pt, tooltip_);
}

void map_view::db_click_proc(const wxPoint&) {}

void map_view::context_menu_proc(const wxPoint& pt) {
    geo_point at;
    if (sync_viewport() && viewport_->dp_to_lc(pt.x, pt.y, at))
        set_center(at.lat, at.lon, scale_);
}

// --- centre, scale, settings ----------------------------------------------

bool map_view::set_center(double lat, double lon, unsigned scale) {
    center_set_ = false;
    if (!is_valid_coords(lat, lon))
        return false;
    bool changed = false;
    if (scale != scale_) {
        scale_ = scale;
        scale_index_ = scale_index_of(scale);
        changed = true;
    }
    if (lat != center_lat_ || lon != center_lon_) {
        center_lat_ = lat;
        center_lon_ = lon;
        changed = true;
    }
    center_set_ = true;
    if (changed)
        render();
    return true;
}

bool map_view::get_center(geo_point& pt) {
    if (!is_valid_coords(center_lat_, center_lon_))
        return false;
    pt = {center_lat_, center_lon_};
    return true;
}

void map_view::set_status_text(const wxString& text, int field) {
    if (field < 0)
        return;
    auto_ptr_t<i_object> frame_object(find_service("svc_gui_frame"));
    i_gui_frame* frame_service = kiv_cast_i_gui_frame(frame_object);
    wxFrame* frame = frame_service != nullptr ? frame_service->get_frame() : nullptr;
    wxStatusBar* bar = frame != nullptr ? frame->GetStatusBar() : nullptr;
    if (bar != nullptr && field < bar->GetFieldsCount())
        bar->SetStatusText(text, field);
}

void map_view::set_renderer(const char* layers) {
    renderer_ = layers != nullptr ? layers : "";
    render();
}

void map_view::set_driver(const char* name) {
    if (name == nullptr)
        return;
    driver_ = name;
    auto_ptr_t<i_object> gis_object(find_service("svc_gis"));
    i_gis_service* gis = kiv_cast_i_gis_service(gis_object);
    if (gis == nullptr)
        return;
    gis->set_default_driver(name);
    set_default_tags(name);
    render();
}

void map_view::set_tags(const char* tags) {
    tags_ = tags != nullptr ? tags : "";
    render();
}

void map_view::set_default_tags(const char* driver) {
    auto_ptr_t<i_object> gis_object(find_service("svc_gis"));
    i_gis_service* gis = kiv_cast_i_gis_service(gis_object);
    if (gis == nullptr || driver == nullptr)
        return;
    auto_ptr_t<i_object_col> maps(gis->get_maps(driver, ""));
    std::vector<std::string> tags;
    for (unsigned i = 0; maps && i < maps->get_count(); ++i) {
        auto_ptr_t<i_object> item(maps->get_item_by_pos(i));
        i_gis_map* map = kiv_cast_i_gis_map(item);
        const char* text = map != nullptr ? map->get_tags() : nullptr;
        if (text == nullptr)
            continue;
        std::string token;
        for (const char* p = text;; ++p) {
            if (*p == 0 || std::strchr(",;\r\n\t", *p) != nullptr) {
                if (!token.empty() && std::find(tags.begin(), tags.end(), token) == tags.end())
                    tags.push_back(token);
                token.clear();
                if (*p == 0)
                    break;
            } else {
                token += *p;
            }
        }
    }
    tags_.clear();
    for (const std::string& tag : tags)
        tags_ += tag + ",";
}

}  // namespace kiv
