// main_frame.h --
//
//     The viewer's one top-level window: menus File, View, Find and Help (the
//     about box), the map view in the centre (registered as "SVC_MAP",
//     driver "ozm", move mode), the docking panes "List maps" (selecting
//     a map shows all of it) and "Tags & layers" (tags applied on Enter,
//     one check box per layer), "Map search" (the search panel, registered
//     as "SVC_MAP_SEARCH_PANEL", shown by Find), the status bar, and the window settings
//     (position, size, maximised flag, pane layout) read at construction
//     and written when the window closes. The panes are managed by the frame
//     service's docking manager; menu commands go through "svc_gui_event".
//     A saved layout is loaded only when it fits, the map pane is always
//     shown, and in a small window the docked panes give way before it.
//     GUI thread only.

#ifndef KIV_VIEWER_MAIN_FRAME_H
#define KIV_VIEWER_MAIN_FRAME_H

#include "settings.h"

#include <kiv/gui/i_gui_frame.h>

#include <wx/bitmap.h>
#include <wx/frame.h>
#include <wx/iconbndl.h>
#include <wx/timer.h>

#include <string>
#include <vector>

class wxCheckBox;
class wxListCtrl;
class wxListEvent;
class wxPanel;
class wxTextCtrl;
class wxUpdateUIEvent;

namespace kiv_viewer {

// Returns: the names of a comma-separated layer list, empty names left out.
std::vector<std::string> split_layers(const std::string& list);
// Returns: `list` with the layer `name` added at the end (`on`, when it is
//     not there) or removed (every other name kept whole: removing "road"
//     from "roads,road" leaves "roads").
std::string toggle_layer(const std::string& list, const std::string& name, bool on);

// Returns: the about box's picture, 347 x 120, drawn by the program.
wxBitmap about_picture();

// Returns: the program's icon in the sizes a desktop asks for (16, 32,
//     48 and 64 pixels), drawn as the about picture is.
wxIconBundle program_icons();

// Returns: `rect` itself when its top-left corner lies on a display;
//     otherwise the same size moved to the top-left of the first display's
//     client area (a saved position of a display no longer attached).
wxRect onto_a_display(const wxRect& rect);

// Returns: whether a window manager frames the windows of this X display
//     and tells the frame's decorations once it has put them around (a
//     window drawn before then is drawn at a size about to change); false
//     without a window manager or off X.
// Changes: nothing; asks the X server (GUI thread).
bool decorations_will_be_told();

// Returns: whether `perspective` is a pane layout the window can load: the
//     version "layout2", then panes whose fields are all known with
//     numbers in range and dock sizes of the form dock_size(d,l,r)=n, and
//     every pane named in `panes` among them (a layout cut short lacks
//     some). Anything else would leave panes lost or make the docking
//     manager complain.
bool perspective_fits(const wxString& perspective, const std::vector<wxString>& panes);

class main_frame : public wxFrame {
public:
    // `gui`: the frame service (not owned; it outlives the frame).
    main_frame(kiv::i_gui_frame* gui, const wxPoint& position, const wxSize& size);
    // A map window still held gets its own paints back before it goes.
    ~main_frame() override;

    // Shows the window; the first time at the position and size given at
    // construction, also under a window manager, and (maximised) with
    // that rectangle as the one un-maximising returns to.
    bool Show(bool show = true) override;

    wxListCtrl* maps_list() const { return maps_list_; }
    wxTextCtrl* tags_field() const { return tags_; }
    wxWindow* search_window() const { return search_window_; }
    const std::vector<wxCheckBox*>& layer_boxes() const { return layer_boxes_; }
    // Fills the maps list from "svc_gis" (driver "ozm"); an absent
    // service or driver leaves it empty.
    void fill_maps();

private:
    void build_menus();
    // The map view: registered as "SVC_MAP" (the core holds it), centred
    // on the demo area with the move mode active.
    void build_map_view();
    // The search panel: registered as "SVC_MAP_SEARCH_PANEL" (the core
    // holds it), docked hidden until Find shows it.
    void build_search_panel();
    void build_maps_panel();
    void build_tags_panel();
    // Loads the saved pane layout when it fits; the map pane stays the
    // shown centre pane whatever the layout says.
    void load_layout(const wxString& perspective);
    // Lets the docked panes give way before the map in a small window:
    // their minimum sizes and docks shrink to a share of the window.
    void fit_panes();
    // The handlers bound through "svc_gui_event", in one table so close
    // removes exactly what construction installed.
    void bind_commands(bool install);

    void on_exit(wxCommandEvent& event);
    void on_close(wxCloseEvent& event);
    // Once the window is on screen, restored floating panes come over it.
    void on_shown(wxShowEvent& event);
    void on_size(wxSizeEvent& event);
    // Until the window's size is settled the map window paints white and
    // the map view renders nothing (it renders on paint only), so that
    // the map is rendered once, at the size it keeps.
    void hold_map();
    // Ends the hold (again: nothing) and has the map painted.
    void release_map();
    void on_toggle_pane(wxCommandEvent& event);
    void on_pane_check(wxUpdateUIEvent& event);
    void on_about(wxCommandEvent& event);
    // Shows the hidden search pane with its City field focused; a shown
    // pane stays as it is.
    void on_show_search(wxCommandEvent& event);
    void on_layer(wxCommandEvent& event);
    void on_tags(wxCommandEvent& event);
    // Lays the tags and layers panel out at no less than the size its
    // boxes need: a pane smaller than that cuts the last ones off instead
    // of squeezing them below the size GTK can measure a check box at.
    void on_tags_size(wxSizeEvent& event);
    void on_map_selected(wxListEvent& event);

    kiv::i_gui_frame* gui_;          // not owned
    wxPanel* maps_panel_ = nullptr;  // child windows
    wxListCtrl* maps_list_ = nullptr;
    wxPanel* tags_panel_ = nullptr;
    wxTextCtrl* tags_ = nullptr;
    wxWindow* map_window_ = nullptr;       // the map view's window (centre pane)
    wxWindow* search_window_ = nullptr;    // the search panel's window (left pane)
    wxTextCtrl* city_field_ = nullptr;     // its City field, focused when Find shows it
    std::vector<wxCheckBox*> layer_boxes_; // one per layer, children of the tags panel
    wxRect normal_rect_;                   // asked at construction
    bool placed_ = false;                  // shown once
    bool sized_ = false;                   // sized with the decorations known
    bool panes_raised_ = false;            // floating panes raised once
    wxWindow* map_canvas_ = nullptr;       // the map view's drawing window; null: no map view
    wxEvtHandler* map_hold_ = nullptr;     // owned; pushed on map_canvas_ while held; null: not held
    wxTimer hold_timer_;                   // ends the hold where the decorations never come
};

}  // namespace kiv_viewer

#endif
