// main_frame.cpp --
//
//     The viewer's main window: its menus, panes, status bar and the
//     window settings kept in the global configuration object.

#include "main_frame.h"

#include <kiv/core/ascii_case.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/log.h>
#include <kiv/core/service_ref.h>
#include <kiv/core/i_translator.h>
#include <kiv/gis/i_gis_driver.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gui/splash_screen.h>
#include <kiv/gui_addin/map_search_panel.h>
#include <kiv/gui_addin/map_view.h>
#include <kiv/gui_addin/move_map_mode.h>

#include <wx/aui/framemanager.h>
#include <wx/checkbox.h>
#include <wx/config.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/display.h>
#include <wx/iconbndl.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/panel.h>
#include <wx/sizer.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>

#include <algorithm>
#include <climits>
#include <map>

namespace kiv_viewer {

namespace {

const char* const pane_maps = "ID_VIEW_MAPS";
const char* const pane_layers = "ID_VIEW_LAYERS";
const char* const command_about = "ID_FILE_HELP";
const char* const command_search = "ID_SEARCH_MAP";
const char* const pane_search = "MAP_SEARCH_PANEL";
const char* const pane_map = "Map";

// The minimum sizes the docked panes keep when the window has room.
struct pane_minimum {
    const char* name;
    wxSize size;
} const pane_minimums[] = {{pane_maps, {150, 150}}, {pane_layers, {150, 150}}, {pane_search, {400, 300}}};

// The share of the window's width (height) a docked pane's minimum, and
// a dock, may take at most, in tenths.
const int pane_share = 3;
const int dock_share = 4;
// Below this many pixels of width or height the panes give way no more.
const int least_client = 100;

// How long the map waits for the window manager's decorations at most,
// where a manager that promised them never sends them (or sends none).
const int hold_most_ms = 2000;

// Pushed on the map window while its size is not settled: paints white and
// keeps the paint from the map view, which would render for it.
class held_paint : public wxEvtHandler {
public:
    explicit held_paint(wxWindow* window) : window_(window) { Bind(wxEVT_PAINT, &held_paint::on_paint, this); }

private:
    void on_paint(wxPaintEvent&) {
        wxPaintDC dc(window_);
        dc.SetBackground(*wxWHITE_BRUSH);
        dc.Clear();
    }

    wxWindow* window_;  // the map window, which holds this handler
};

// The contact lines of the about box (empty: not shown).
#ifndef KIV_VIEWER_WEBSITE
#define KIV_VIEWER_WEBSITE ""
#endif
#ifndef KIV_VIEWER_EMAIL
#define KIV_VIEWER_EMAIL ""
#endif
#ifndef KIV_VIEWER_TEL
#define KIV_VIEWER_TEL ""
#endif

// Returns: `text` as a whole integer within [low, high] in `value`;
//     false for anything else.
bool whole_number(const wxString& text, long long low, long long high, long long& value) {
    wxString trimmed = text;
    trimmed.Trim(true).Trim(false);
    return !trimmed.empty() && trimmed.ToLongLong(&value) && value >= low && value <= high;
}

// Returns: whether `part` is one well-formed pane of a saved layout; its
//     name goes to `name`. Escaped "|" and ";" arrive as \a and \b.
bool pane_fits(const wxString& part, wxString& name) {
    // The fields the docking manager writes, with the range each may hold.
    static const std::map<wxString, std::pair<long long, long long>> numbers = {
        {"state", {0, UINT_MAX}}, {"dir", {0, 5}},           {"layer", {0, 1000}},
        {"row", {0, 1000}},       {"pos", {0, 1000}},        {"prop", {0, 10000000}},
        {"bestw", {-1, 32767}},   {"besth", {-1, 32767}},    {"minw", {-1, 32767}},
        {"minh", {-1, 32767}},    {"maxw", {-1, 32767}},     {"maxh", {-1, 32767}},
        {"floatx", {-32768, 32767}}, {"floaty", {-32768, 32767}}, {"floatw", {-1, 32767}},
        {"floath", {-1, 32767}},
    };
    name.clear();
    bool named = false;
    for (const wxString& field : wxSplit(part, ';', '\0')) {
        // Field names are ASCII: folded by ASCII rules, not the locale's.
        wxString key = wxString::FromUTF8(kiv::ascii_lower(field.BeforeFirst('=').utf8_string()).c_str());
        key.Trim(true).Trim(false);
        if (key.empty())
            continue;
        if (!field.Contains("="))
            return false;
        wxString value = field.AfterFirst('=');
        long long number = 0;
        if (key == "name") {
            name = value.Trim(true).Trim(false);
            named = !name.empty();
        } else if (key != "caption") {
            auto range = numbers.find(key);
            if (range == numbers.end() || !whole_number(value, range->second.first, range->second.second, number))
                return false;
        }
    }
    return named;
}

// Returns: whether `part` is a dock size "dock_size(d,l,r)=n" in range.
bool dock_size_fits(const wxString& part) {
    wxString head = part.BeforeFirst('=');
    head.Trim(true).Trim(false);
    if (!head.StartsWith("dock_size(") || !head.EndsWith(")") || !part.Contains("="))
        return false;
    wxArrayString numbers = wxSplit(head.Mid(10, head.length() - 11), ',', '\0');
    long long value = 0;
    return numbers.size() == 3 && whole_number(numbers[0], 0, 5, value) && whole_number(numbers[1], 0, 1000, value) &&
           whole_number(numbers[2], 0, 1000, value) && whole_number(part.AfterFirst('='), 0, 32767, value);
}

wxString translated(const char* text) {
    const char* result = kiv_translate(text, "");
    return wxString::FromUTF8(result != nullptr ? result : text);
}

}  // namespace

std::vector<std::string> split_layers(const std::string& list) {
    std::vector<std::string> names;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        if (comma > start)
            names.push_back(list.substr(start, comma - start));
        start = comma + 1;
    }
    return names;
}

std::string toggle_layer(const std::string& list, const std::string& name, bool on) {
    std::vector<std::string> names = split_layers(list);
    auto found = std::find(names.begin(), names.end(), name);
    if (on && found == names.end())
        names.push_back(name);
    else if (!on && found != names.end())
        names.erase(found);
    std::string result;
    for (const std::string& n : names)
        result += (result.empty() ? "" : ",") + n;
    return result;
}

wxBitmap about_picture() {
    const int width = 347, height = 120;
    wxBitmap bitmap(width, height, 24);
    wxMemoryDC dc(bitmap);
    // A sky-to-field band with a road and the product's name: the
    // program's own picture, drawn rather than shipped as a file.
    dc.GradientFillLinear(wxRect(0, 0, width, height / 2), wxColour(120, 160, 220), wxColour(215, 225, 255),
                          wxSOUTH);
    dc.GradientFillLinear(wxRect(0, height / 2, width, height - height / 2), wxColour(200, 220, 170),
                          wxColour(150, 190, 120), wxSOUTH);
    dc.SetPen(wxPen(wxColour(250, 250, 250), 6));
    dc.DrawLine(0, height - 10, width, height / 2 + 4);
    dc.SetTextForeground(wxColour(0, 0, 150));
    dc.SetFont(wxFont(24, wxFONTFAMILY_SWISS, wxFONTSTYLE_NORMAL, wxFONTWEIGHT_BOLD));
    dc.DrawText("Viewer OZM", 20, 14);
    dc.SelectObject(wxNullBitmap);
    return bitmap;
}

bool perspective_fits(const wxString& perspective, const std::vector<wxString>& panes) {
    wxString text = perspective;
    text.Replace("\\|", "\a");
    text.Replace("\\;", "\b");
    wxArrayString parts = wxSplit(text, '|', '\0');
    if (parts.empty() || wxString(parts[0]).Trim(true).Trim(false) != "layout2")
        return false;
    std::vector<wxString> seen;
    for (size_t i = 1; i < parts.size(); ++i) {
        wxString part = parts[i];
        part.Trim(true);
        if (part.empty())
            continue;
        wxString name;
        if (part.StartsWith("dock_size")) {
            if (!dock_size_fits(part))
                return false;
        } else if (pane_fits(part, name)) {
            seen.push_back(name);
        } else {
            return false;
        }
    }
    for (const wxString& pane : panes)
        if (std::find(seen.begin(), seen.end(), pane) == seen.end())
            return false;
    return true;
}

wxRect saved_window_rect(wxConfigBase* config) {
    return onto_a_display(stored_window_rect(config));
}

wxIconBundle program_icons() {
    wxIconBundle icons;
    for (int side : {16, 32, 48, 64}) {
        wxBitmap bitmap(side, side, 24);
        wxMemoryDC dc(bitmap);
        // The about picture in small: sky over field, a road across, and a
        // map pin on it, with lines that grow with the size.
        int line = std::max(1, side / 16);
        dc.GradientFillLinear(wxRect(0, 0, side, side / 2), wxColour(120, 160, 220), wxColour(215, 225, 255),
                              wxSOUTH);
        dc.GradientFillLinear(wxRect(0, side / 2, side, side - side / 2), wxColour(200, 220, 170),
                              wxColour(150, 190, 120), wxSOUTH);
        dc.SetPen(wxPen(wxColour(250, 250, 250), 2 * line));
        dc.DrawLine(0, side - 2 * line, side, side / 2 + line);
        dc.SetPen(wxPen(wxColour(0, 0, 150), line));
        dc.SetBrush(wxBrush(wxColour(220, 40, 40)));
        dc.DrawCircle(side / 2, side * 3 / 8, side / 5);
        dc.SetBrush(*wxTRANSPARENT_BRUSH);
        dc.DrawRectangle(0, 0, side, side);
        dc.SelectObject(wxNullBitmap);
        wxIcon icon;
        icon.CopyFromBitmap(bitmap);
        icons.AddIcon(icon);
    }
    return icons;
}

wxRect onto_a_display(const wxRect& rect) {
    if (wxDisplay::GetFromPoint(rect.GetTopLeft()) != wxNOT_FOUND || wxDisplay::GetCount() == 0)
        return rect;
    wxRect area = wxDisplay(0u).GetClientArea();
    return wxRect(area.GetTopLeft(), rect.GetSize());
}

main_frame::main_frame(kiv::i_gui_frame* gui, const wxPoint& position, const wxSize& size)
    : wxFrame(nullptr, wxID_ANY, "Viewer OZM", position, size, wxDEFAULT_FRAME_STYLE),
      gui_(gui),
      normal_rect_(position, size) {
    wxAuiManager* manager = gui_->get_frame_manager();
    manager->SetManagedWindow(this);
    wxConfigBase* config = wxConfigBase::Get();
    bool maximize = false;
    if (config != nullptr)
        config->Read(key_maximize, &maximize, false);
    if (maximize)
        Maximize(true);

    build_menus();
    build_map_view();
    build_maps_panel();
    build_tags_panel();

    CreateStatusBar(4, wxST_SIZEGRIP | wxFULL_REPAINT_ON_RESIZE);
    const int widths[] = {-1, 150, 150, 250};
    SetStatusWidths(4, widths);
    SetStatusText(translated("Ready"), 0);
    build_search_panel();
    SetIcons(program_icons());

    manager->AddPane(maps_panel_, wxAuiPaneInfo()
                                      .Name(pane_maps)
                                      .Caption(translated("List maps"))
                                      .Bottom()
                                      .BestSize(-1, 100)
                                      .MinSize(150, 150)
                                      .CaptionVisible(true)
                                      .TopDockable(false));
    manager->AddPane(tags_panel_, wxAuiPaneInfo()
                                      .Name(pane_layers)
                                      .Caption(translated("Tags & layers"))
                                      .Right()
                                      .BestSize(150, -1)
                                      .MinSize(150, 150)
                                      .CaptionVisible(true)
                                      .TopDockable(false));
    manager->AddPane(map_window_, wxAuiPaneInfo().Name("Map").CenterPane().CaptionVisible(false));
    if (search_window_ != nullptr)
        manager->AddPane(search_window_, wxAuiPaneInfo()
                                             .Name(pane_search)
                                             .Caption(translated("Map search"))
                                             .Left()
                                             .MinSize(400, 300)
                                             .FloatingSize(400, 300)
                                             .TopDockable(false)
                                             .BottomDockable(false)
                                             .Hide());

    bool reset = false;
    wxString perspective;
    if (config != nullptr) {
        config->Read(key_perspective_reset, &reset, false);
        config->Read(key_perspective, &perspective, wxString());
        if (!perspective.empty() && !reset)
            load_layout(perspective);
        config->Write(key_perspective_reset, false);
    }
    fit_panes();
    manager->Update();

    Bind(wxEVT_MENU, &main_frame::on_exit, this, wxID_EXIT);
    Bind(wxEVT_CLOSE_WINDOW, &main_frame::on_close, this);
    Bind(wxEVT_SHOW, &main_frame::on_shown, this);
    Bind(wxEVT_SIZE, &main_frame::on_size, this);
    hold_timer_.SetOwner(this);
    Bind(wxEVT_TIMER,
         [this](wxTimerEvent&) {
             if (map_hold_ != nullptr)
                 kiv_trace("main_frame: no decorations came from the window manager within %d ms; the map is shown\n",
                           hold_most_ms);
             release_map();
         },
         hold_timer_.GetId());
    bind_commands(true);
    fill_maps();
}

main_frame::~main_frame() {
    release_map();
}

void main_frame::load_layout(const wxString& perspective) {
    wxAuiManager* manager = gui_->get_frame_manager();
    std::vector<wxString> panes;
    wxAuiPaneInfoArray& all = manager->GetAllPanes();
    for (size_t i = 0; i < all.GetCount(); ++i)
        panes.push_back(all.Item(i).name);
    if (!perspective_fits(perspective, panes)) {
        kiv_log(0, "viewer: the saved pane layout does not fit this window; the panes start as built");
        return;
    }
    manager->LoadPerspective(perspective, false);
    manager->GetPane(pane_map).CenterPane().Layer(0).Row(0).Position(0).Show();
}

void main_frame::fit_panes() {
    wxAuiManager* manager = gui_->get_frame_manager();
    // The window passes through a size of a few pixels while the desktop
    // maps it: no share of that is a size for a pane.
    wxSize client = GetClientSize();
    if (client.x < least_client || client.y < least_client)
        return;
    bool changed = false;
    for (const pane_minimum& m : pane_minimums) {
        wxAuiPaneInfo& pane = manager->GetPane(m.name);
        if (!pane.IsOk())
            continue;
        // A floating pane's window is its own: it keeps its minimum.
        wxSize min = m.size;
        if (!pane.IsFloating())
            min = wxSize(std::min(m.size.x, client.x * pane_share / 10), std::min(m.size.y, client.y * pane_share / 10));
        if (pane.min_size != min) {
            pane.MinSize(min);
            changed = true;
        }
    }
    // Docks keep the size they were given (or dragged to) when the window
    // shrinks: one wider than its share is cut back to it.
    wxString layout = manager->SavePerspective();
    wxArrayString parts = wxSplit(layout, '|', '\0');
    bool docks_cut = false;
    for (wxString& part : parts) {
        long direction = 0, size = 0;
        if (!part.StartsWith("dock_size(") || !part.Mid(10, 1).ToLong(&direction) ||
            !part.AfterFirst('=').ToLong(&size))
            continue;
        bool across = direction == wxAUI_DOCK_LEFT || direction == wxAUI_DOCK_RIGHT;
        bool along = direction == wxAUI_DOCK_TOP || direction == wxAUI_DOCK_BOTTOM;
        long most = across ? client.x * dock_share / 10 : along ? client.y * dock_share / 10 : size;
        if (size > most) {
            part = part.BeforeFirst('=') + wxString::Format("=%ld", most);
            docks_cut = true;
        }
    }
    if (docks_cut)
        manager->LoadPerspective(wxJoin(parts, '|', '\0'), false);
    if ((changed || docks_cut) && IsShown())
        manager->Update();
}

void main_frame::on_size(wxSizeEvent& event) {
    event.Skip();
    // The window went on screen with the asked size as its contents; once
    // the window manager's decorations are known and the window is normal
    // (at once, or when un-maximised), the whole window gets that size, so
    // that it does not grow by them at every start. The map waits for
    // that size (or for the maximised one) before it renders.
    const DecorSize& decor = m_decorSize;
    bool decorated = decor.left + decor.right + decor.top + decor.bottom > 0;
    if (placed_ && !sized_ && decorated && !IsMaximized()) {
        sized_ = true;
        if (GetSize() != normal_rect_.GetSize()) {
            CallAfter([this] {
                SetSize(normal_rect_.GetSize());
                release_map();
            });
        } else {
            release_map();
        }
    } else if (placed_ && decorated) {
        release_map();
    }
    fit_panes();
}

void main_frame::hold_map() {
    if (map_canvas_ == nullptr || map_hold_ != nullptr)
        return;
    map_hold_ = new held_paint(map_canvas_);
    map_canvas_->PushEventHandler(map_hold_);
    // The hold is counted from when the event loop runs: a start slowed
    // down by a busy machine must not use it up before the manager's
    // answer could be read.
    CallAfter([this] {
        if (map_hold_ != nullptr)
            hold_timer_.StartOnce(hold_most_ms);
    });
}

void main_frame::release_map() {
    hold_timer_.Stop();
    if (map_hold_ == nullptr)
        return;
    map_canvas_->RemoveEventHandler(map_hold_);
    delete map_hold_;
    map_hold_ = nullptr;
    map_canvas_->Refresh(false);
}

bool main_frame::Show(bool show) {
    if (show && !placed_) {
        placed_ = true;
        // wxWidgets holds a first window back under a window manager until
        // it knows the decoration sizes, realizing it early at a size of a
        // few pixels: the position asked at construction is then lost, a
        // window mapped maximised has no normal size to return to, and GTK
        // complains of the tiny size it lays the menu bar out in. Shown at
        // once, GTK places and sizes the window itself; the size is
        // mended once the decorations are known (on_size).
        m_deferShow = false;
        if (decorations_will_be_told())
            hold_map();
    }
    return wxFrame::Show(show);
}

void main_frame::on_shown(wxShowEvent& event) {
    event.Skip();
    if (!event.IsShown() || panes_raised_)
        return;
    panes_raised_ = true;
    wxAuiPaneInfoArray& all = gui_->get_frame_manager()->GetAllPanes();
    for (size_t i = 0; i < all.GetCount(); ++i) {
        wxAuiPaneInfo& pane = all.Item(i);
        if (pane.IsFloating() && pane.IsShown() && pane.frame != nullptr)
            pane.frame->Raise();
    }
}

void main_frame::build_menus() {
    auto_ptr_t<kiv::i_gui_event_proc> events = kiv::service_ref("svc_gui_event", kiv_cast_i_gui_event_proc);
    wxMenuBar* bar = new wxMenuBar;
    wxMenu* file = new wxMenu;
    file->Append(wxID_EXIT, translated("Exit"), translated("Exit program"));
    // File has no mnemonic: Alt+F belongs to Find. From the keyboard File
    // is the menu F10 opens, and Exit keeps its stock shortcut Ctrl+Q.
    bar->Append(file, translated("File"));
    wxMenu* view = new wxMenu;
    if (events != nullptr) {
        view->AppendCheckItem(events->get_cmd_id(pane_maps), translated("Maps"),
                              translated("Show/hide panel maps"))
            ->Check(true);
        view->AppendCheckItem(events->get_cmd_id(pane_layers), translated("Layers"),
                              translated("Show/hide panel layers"))
            ->Check(true);
    }
    bar->Append(view, translated("View"));
    if (events != nullptr) {
        wxMenu* find = new wxMenu;
        find->Append(events->get_cmd_id(command_search), translated("&Search on map"), translated("Search on map"));
        bar->Append(find, translated("&Find"));
    }
    if (events != nullptr) {
        wxMenu* help = new wxMenu;
        help->Append(events->get_cmd_id(command_about), translated("About..."), translated("New window"));
        bar->Append(help, translated("Help"));
    }
    SetMenuBar(bar);
}

void main_frame::build_map_view() {
    kiv::map_view* view = new kiv::map_view(this);
    auto_ptr_t<kiv::map_view> hold(view);
    view->addref();
    map_window_ = view->get_wnd();
    bool ready = view->initialize_sdi();
    map_canvas_ = view->get_map_wnd();
    if (!ready) {
        kiv_log(0, "viewer: the map view has no map service; the map stays empty");
    } else {
        view->set_center(53.900520258, 27.5589895248, 100000);
        auto_ptr_t<kiv::move_map_mode> move(new kiv::move_map_mode);
        move->addref();
        view->add_mode(move.get());
        view->activate_mode(move.get());
        view->install_handlers();
    }
    if (kiv_core() != nullptr)
        kiv_core()->register_service(view, "SVC_MAP");
}

void main_frame::build_search_panel() {
    kiv::map_search_panel* search = new kiv::map_search_panel(this);
    auto_ptr_t<kiv::map_search_panel> hold(search);
    search->addref();
    search_window_ = search->get_wnd();
    city_field_ = search->city_field();
    if (kiv_core() != nullptr)
        kiv_core()->register_service(search, "SVC_MAP_SEARCH_PANEL");
}

void main_frame::on_show_search(wxCommandEvent&) {
    wxAuiManager* manager = gui_->get_frame_manager();
    wxAuiPaneInfo& pane = manager->GetPane(pane_search);
    if (!pane.IsOk() || pane.IsShown())
        return;
    // A floating search window keeps the size it was given.
    if (pane.IsFloating() && pane.frame != nullptr)
        pane.frame->SetWindowStyleFlag(pane.frame->GetWindowStyleFlag() & ~wxRESIZE_BORDER);
    pane.Show();
    manager->Update();
    // The user opened it to type a city: the keys go there at once.
    if (city_field_ != nullptr)
        city_field_->SetFocus();
}

void main_frame::build_maps_panel() {
    maps_panel_ = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxNO_BORDER, "Maps");
    maps_list_ = new wxListCtrl(maps_panel_, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                wxLC_REPORT | wxLC_SINGLE_SEL | wxLC_SORT_ASCENDING | wxLC_HRULES | wxLC_VRULES);
    maps_list_->InsertColumn(0, translated("Map"), wxLIST_FORMAT_LEFT);
    maps_list_->InsertColumn(1, translated("Tags"), wxLIST_FORMAT_LEFT);
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(maps_list_, 1, wxEXPAND | wxALL, 5);
    maps_panel_->SetSizer(sizer);
    maps_list_->Bind(wxEVT_LIST_ITEM_SELECTED, &main_frame::on_map_selected, this);
}

void main_frame::build_tags_panel() {
    tags_panel_ = new wxPanel(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxNO_BORDER | wxTAB_TRAVERSAL);
    wxBoxSizer* sizer = new wxBoxSizer(wxVERTICAL);
    sizer->Add(new wxStaticText(tags_panel_, wxID_ANY, translated("Tags:")), 0, wxEXPAND | wxALL, 5);
    tags_ = new wxTextCtrl(tags_panel_, wxID_ANY, wxString(), wxDefaultPosition, wxDefaultSize,
                           wxTE_PROCESS_ENTER);
    sizer->Add(tags_, 0, wxEXPAND | wxALL, 5);
    tags_->Bind(wxEVT_TEXT_ENTER, &main_frame::on_tags, this);
    wxStaticBoxSizer* box = new wxStaticBoxSizer(wxVERTICAL, tags_panel_, translated("Layers"));
    if (auto_ptr_t<kiv::i_map_view> view = kiv::service_ref("SVC_MAP", kiv_cast_i_map_view)) {
        for (const std::string& name : split_layers(view->get_renderer())) {
            wxCheckBox* check = new wxCheckBox(box->GetStaticBox(), wxID_ANY, wxString::FromUTF8(name));
            check->SetValue(true);
            check->Bind(wxEVT_CHECKBOX, &main_frame::on_layer, this);
            box->Add(check, 0, wxALL, 5);
            layer_boxes_.push_back(check);
        }
    }
    sizer->Add(box, 0, wxEXPAND | wxALL, 5);
    tags_panel_->SetSizer(sizer);
    tags_panel_->Bind(wxEVT_SIZE, &main_frame::on_tags_size, this);
}

void main_frame::on_tags_size(wxSizeEvent&) {
    wxSizer* sizer = tags_panel_->GetSizer();
    wxSize size = tags_panel_->GetClientSize();
    size.IncTo(sizer->GetMinSize());
    sizer->SetDimension(wxPoint(0, 0), size);
}

void main_frame::fill_maps() {
    maps_list_->DeleteAllItems();
    if (kiv_core() == nullptr)
        return;
    auto_ptr_t<kiv::i_object> holder(kiv_core()->get_service("svc_gis"));
    kiv::i_gis_service* gis = kiv_cast_i_gis_service(holder.get());
    if (gis == nullptr)
        return;
    auto_ptr_t<kiv::i_object_col> maps(gis->get_maps("ozm", ""));
    unsigned count = maps ? maps->get_count() : 0;
    for (unsigned i = 0; i < count; ++i) {
        auto_ptr_t<kiv::i_object> item(maps->get_item_by_pos(i));
        kiv::i_gis_map* map = kiv_cast_i_gis_map(item.get());
        if (map == nullptr)
            continue;
        wxString name = wxString::FromUTF8(map->get_name());
        // The rows stay sorted by name (wxGTK's list ignores the sort
        // style), so each goes in before the first greater name.
        long row = 0;
        while (row < maps_list_->GetItemCount() && maps_list_->GetItemText(row).Cmp(name) <= 0)
            ++row;
        row = maps_list_->InsertItem(row, name);
        if (row != -1)
            maps_list_->SetItem(row, 1, wxString::FromUTF8(map->get_tags()));
    }
    maps_list_->SetColumnWidth(0, wxLIST_AUTOSIZE_USEHEADER);
    maps_list_->SetColumnWidth(1, wxLIST_AUTOSIZE_USEHEADER);
}

void main_frame::bind_commands(bool install) {
    auto_ptr_t<kiv::i_gui_event_proc> events = kiv::service_ref("svc_gui_event", kiv_cast_i_gui_event_proc);
    if (events == nullptr)
        return;
    struct binding {
        const char* command;
        int type;
        wxObjectEventFunction handler;
    } bindings[] = {
        {pane_maps, wxEVT_MENU, wxCommandEventHandler(main_frame::on_toggle_pane)},
        {pane_maps, wxEVT_UPDATE_UI, wxUpdateUIEventHandler(main_frame::on_pane_check)},
        {pane_layers, wxEVT_MENU, wxCommandEventHandler(main_frame::on_toggle_pane)},
        {pane_layers, wxEVT_UPDATE_UI, wxUpdateUIEventHandler(main_frame::on_pane_check)},
        {command_about, wxEVT_MENU, wxCommandEventHandler(main_frame::on_about)},
        // Without an update handler the GUI event service disables the
        // command; the pane check leaves a command without a pane alone.
        {command_about, wxEVT_UPDATE_UI, wxUpdateUIEventHandler(main_frame::on_pane_check)},
        {command_search, wxEVT_MENU, wxCommandEventHandler(main_frame::on_show_search)},
        {command_search, wxEVT_UPDATE_UI, wxUpdateUIEventHandler(main_frame::on_pane_check)},
    };
    for (const binding& b : bindings) {
        int id = events->get_cmd_id(b.command);
        if (install)
            events->install_gui_handler(id, b.type, b.handler, this);
        else
            events->uninstall_gui_handler(id, b.type, b.handler, this);
    }
}

void main_frame::on_exit(wxCommandEvent&) {
    Close(false);
}

void main_frame::on_layer(wxCommandEvent& event) {
    wxCheckBox* check = dynamic_cast<wxCheckBox*>(event.GetEventObject());
    auto_ptr_t<kiv::i_map_view> view = kiv::service_ref("SVC_MAP", kiv_cast_i_map_view);
    if (check == nullptr || view == nullptr)
        return;
    std::string name(check->GetLabel().utf8_str().data());
    std::string list = view->get_renderer();
    view->set_renderer(toggle_layer(list, name, check->GetValue()).c_str());
}

void main_frame::on_tags(wxCommandEvent&) {
    if (auto_ptr_t<kiv::i_map_view> view = kiv::service_ref("SVC_MAP", kiv_cast_i_map_view))
        view->set_tags(tags_->GetValue().utf8_str());
}

void main_frame::on_map_selected(wxListEvent& event) {
    auto_ptr_t<kiv::i_map_view> view = kiv::service_ref("SVC_MAP", kiv_cast_i_map_view);
    if (view == nullptr || kiv_core() == nullptr)
        return;
    auto_ptr_t<kiv::i_object> gis_holder(kiv_core()->get_service("svc_gis"));
    kiv::i_gis_service* gis = kiv_cast_i_gis_service(gis_holder.get());
    if (gis == nullptr)
        return;
    auto_ptr_t<kiv::i_object_col> maps(gis->get_maps("ozm", ""));
    if (!maps)
        return;
    auto_ptr_t<kiv::i_object> item(maps->get_item_by_name(maps_list_->GetItemText(event.GetIndex()).utf8_str()));
    kiv::i_gis_map* map = kiv_cast_i_gis_map(item.get());
    kiv::geo_point min{}, max{};
    if (map != nullptr && map->get_envelope(min, max))
        view->set_best_view(min, max);
}

void main_frame::on_about(wxCommandEvent&) {
    kiv::splash_screen about(about_picture(), this, true);
    about.set_title("OMZ viewer");
    about.set_version(wxString::FromUTF8("Version " KIV_VIEWER_VERSION));
    about.set_copyright(translated("Vector maps, viewed offline"));
    about.set_website(wxString::FromUTF8(KIV_VIEWER_WEBSITE), true);
    about.set_email(wxString::FromUTF8(KIV_VIEWER_EMAIL), true);
    about.set_tel(wxString::FromUTF8(KIV_VIEWER_TEL), true, false);
    about.set_close(true);
    about.show();
}

void main_frame::on_toggle_pane(wxCommandEvent& event) {
    auto_ptr_t<kiv::i_gui_event_proc> events = kiv::service_ref("svc_gui_event", kiv_cast_i_gui_event_proc);
    if (events == nullptr)
        return;
    wxAuiManager* manager = gui_->get_frame_manager();
    wxAuiPaneInfo& pane = manager->GetPane(wxString::FromUTF8(events->get_cmd_str(event.GetId())));
    if (!pane.IsOk())
        return;
    pane.Show(!pane.IsShown());
    manager->Update();
}

void main_frame::on_pane_check(wxUpdateUIEvent& event) {
    auto_ptr_t<kiv::i_gui_event_proc> events = kiv::service_ref("svc_gui_event", kiv_cast_i_gui_event_proc);
    if (events == nullptr)
        return;
    wxAuiPaneInfo& pane =
        gui_->get_frame_manager()->GetPane(wxString::FromUTF8(events->get_cmd_str(event.GetId())));
    if (pane.IsOk())
        event.Check(pane.IsShown());
}

void main_frame::on_close(wxCloseEvent& event) {
    bind_commands(false);
    release_map();
    wxAuiManager* manager = gui_->get_frame_manager();
    if (wxConfigBase* config = wxConfigBase::Get()) {
        bool maximized = IsMaximized();
        config->Write(key_maximize, maximized);
        if (!maximized) {
            wxPoint at = GetPosition();
            wxSize size = GetSize();
            config->Write(key_x, static_cast<long>(at.x));
            config->Write(key_y, static_cast<long>(at.y));
            config->Write(key_cx, static_cast<long>(size.x));
            config->Write(key_cy, static_cast<long>(size.y));
        }
        config->Write(key_perspective, manager->SavePerspective());
        config->Flush();
    }
    manager->UnInit();
    event.Skip();
}

}  // namespace kiv_viewer
