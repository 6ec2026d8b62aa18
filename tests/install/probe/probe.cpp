// probe.cpp --
//
//     A program built on the installed framework alone, as an application
//     of its own would be: it sees the prefix's headers and links its
//     shared objects through find_package(kiv). It starts the core from the
//     installed configuration (the libraries, the map drivers and the demo
//     town of the prefix's bin folder), registers the frame and GUI event
//     services, and makes and drives one object of each exported GUI class,
//     the map view with its zoom, measuring and geozone modes, and every
//     plain function of the map add-in. Last it checks that each library of
//     the framework is mapped into the process from one file of that folder,
//     once: the linked libraries and those the loader loaded by name are
//     the same.
//
//     Usage: kiv_install_probe PREFIX_BIN WORK_FOLDER
//     Prints one line per failed check; exits with 1 when any failed.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/config.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_string.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>
#include <kiv/gis/gis_types.h>
#include <kiv/gui/folder_object.h>
#include <kiv/gui/gui_event_proc.h>
#include <kiv/gui/gui_frame.h>
#include <kiv/gui/gui_lib.h>
#include <kiv/gui/image_manager.h>
#include <kiv/gui/mdi.h>
#include <kiv/gui/output_service.h>
#include <kiv/gui/print_service.h>
#include <kiv/gui/property_sheet.h>
#include <kiv/gui/status_ctrl.h>
#include <kiv/gui/tab_control.h>
#include <kiv/gui/time_ctrl.h>
#include <kiv/gui/tree_combobox.h>
#include <kiv/gui/tree_ctrl.h>
#include <kiv/gui/tree_ctrl_ex.h>
#include <kiv/gui/tree_list_ctrl.h>
#include <kiv/gui/undoredo_service.h>
#include <kiv/gui/workspace_manager.h>
#include <kiv/gui_addin/addin_lib.h>
#include <kiv/gui_addin/dimension_map_mode.h>
#include <kiv/gui_addin/geozone_map_mode.h>
#include <kiv/gui_addin/map_view.h>
#include <kiv/gui_addin/move_map_mode.h>
#include <kiv/gui_addin/zoom_map_mode.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>

#include <wx/app.h>
#include <wx/aui/framemanager.h>
#include <wx/evtloop.h>
#include <wx/fileconf.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/mdi.h>
#include <wx/menu.h>
#include <wx/notebook.h>
#include <wx/panel.h>
#include <wx/statusbr.h>
#include <wx/utils.h>

#include <X11/Xlib.h>

#include <link.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <string>



namespace {

int failures = 0;
std::string prefix_bin;  // the installed programs' folder
std::string work;        // a folder of the probe's own

void check(bool ok, const char* what, int line) {
    if (!ok) {
        std::fprintf(stderr, "probe.cpp:%d: check failed: %s\n", line, what);
        ++failures;
    }
}
#define CHECK(cond) check((cond), #cond, __LINE__)

// Runs the toolkit's pending events, queued events and idle handling.
void pump() {
    for (int round = 0; round < 3; ++round) {
        if (wxEventLoopBase* loop = wxEventLoopBase::GetActive())
            loop->YieldFor(wxEVT_CATEGORY_ALL);
        wxTheApp->ProcessPendingEvents();
        wxTheApp->ProcessIdle();
    }
}

// Pumps until `done` holds (the test's time-out ends a broken run).
void pump_until(const std::function<bool()>& done) {
    while (!done()) {
        pump();
        wxMilliSleep(10);
    }
}

const char* const probe_xpm[] = {"2 2 1 1", "r c #FF0000", "rr", "rr"};

// --- the GUI framework ------------------------------------------------------

void probe_tree(wxFrame* frame) {
    auto_ptr_t<kiv::tree_ctrl> control(new kiv::tree_ctrl);
    control->addref();
    wxTreeCtrl* tree = control->create(frame, wxSize(200, 200), 0);
    CHECK(tree != nullptr);
    if (tree == nullptr)
        return;
    auto_ptr_t<kiv::tree_object> root(new kiv::tree_object);
    root->addref();
    root->set_name("root");
    root->insert_as_root(tree);
    auto_ptr_t<kiv::tree_object> child(new kiv::tree_object);
    child->addref();
    child->set_name("child");
    child->insert_as_child(root.get());
    CHECK(tree->GetCount() == 2);
    CHECK(tree->GetItemText(child->get_tree_id()) == "child");
    auto_ptr_t<kiv::i_object_col> children(root->get_childs());
    CHECK(children && children->get_count() == 1);
    CHECK(kiv_cast_tree_object(child.get()) == child.get());
    CHECK(kiv_cast_i_tree_object(root.get()) == static_cast<kiv::i_tree_object*>(root.get()));
    tree->DeleteAllItems();
    tree->Destroy();
}

void probe_tab_control(wxFrame* frame) {
    auto* tabs = new kiv::tab_control(frame, wxID_ANY);
    CHECK(tabs->add_tab("one", new wxPanel(tabs), true));
    CHECK(tabs->add_tab("two", new wxPanel(tabs), true));
    CHECK(tabs->get_page_count() == 2);
    CHECK(tabs->get_active_tab() == 1);
    CHECK(tabs->get_tab_name(0) == "one");
    // The first tab's button, pressed as the user would: the control's
    // event table takes it and turns to that page.
    wxToggleButton* first = tabs->get_tab_button(0);
    CHECK(first != nullptr);
    if (first != nullptr) {
        wxCommandEvent press(wxEVT_TOGGLEBUTTON, first->GetId());
        press.SetEventObject(first);
        press.SetInt(1);
        first->GetEventHandler()->ProcessEvent(press);
        CHECK(tabs->get_active_tab() == 0);
        CHECK(tabs->get_previous_tab() == 1);
    }
    tabs->Destroy();
}

// Adds one to a counter when done, takes it away when undone.
class count_command : public kiv::undoredo_command {
public:
    explicit count_command(int* counter) : counter_(counter) {}
    bool redo() override {
        ++*counter_;
        return true;
    }
    bool undo() override {
        --*counter_;
        return true;
    }

private:
    int* counter_;
};

void probe_undoredo() {
    auto_ptr_t<kiv::undoredo_service> history(new kiv::undoredo_service(true));
    history->addref();
    int counter = 0;
    auto_ptr_t<count_command> command(new count_command(&counter));
    command->addref();
    CHECK(history->push_command(command.get()));
    CHECK(counter == 1);
    CHECK(history->undo());
    CHECK(counter == 0);
    CHECK(history->can_redo());
    CHECK(!history->can_undo());
    CHECK(kiv_cast_i_undoredo_service(history.get()) == static_cast<kiv::i_undoredo_service*>(history.get()));
    CHECK(kiv_cast_i_undoredo_command(command.get()) == static_cast<kiv::i_undoredo_command*>(command.get()));
}

void probe_output(wxFrame* frame) {
    wxPanel* host = new wxPanel(frame);
    auto_ptr_t<kiv::output_service> output(new kiv::output_service(
        host, "Output", kiv::output_service::pack_style(0, 0, 0, false, false, false), "Welcome"));
    output->addref();
    int page = output->find_or_create_output_page("Probe", true);
    CHECK(page > 0);
    int before = output->get_page_number_of_lines(page);
    output->add_text_line(page, "one line");
    CHECK(output->get_page_number_of_lines(page) == before + 1);
    CHECK(output->get_output_page_index("Probe") == page);
    auto_ptr_t<kiv::i_object> registered(kiv_core()->get_service("svc_gui_output"));
    CHECK(kiv_cast_i_output_service(registered) == static_cast<kiv::i_output_service*>(output.get()));
    registered.reset();
    kiv_core()->unregister_service("svc_gui_output");
    output.reset();
    host->Destroy();
}

void probe_print() {
    auto_ptr_t<kiv::print_service> printing(new kiv::print_service);
    printing->addref();
    printing->set_margins(12.7, 5, 6, 7.9);
    int left = 0, top = 0, right = 0, bottom = 0;
    printing->get_margins(&left, &top, &right, &bottom);
    CHECK(left == 12 && top == 5 && right == 6 && bottom == 7);
    CHECK(kiv_cast_i_print_service(printing.get()) == static_cast<kiv::i_print_service*>(printing.get()));
}

void probe_status(wxFrame* frame) {
    auto_ptr_t<kiv::object_col> statuses(new kiv::object_col);
    statuses->addref();
    auto_ptr_t<kiv::status_ctrl> ctrl(new kiv::status_ctrl(frame->GetStatusBar(), 3, statuses.get()));
    ctrl->addref();
    auto_ptr_t<kiv::status_item> item(new kiv::status_item("probe", probe_xpm, 0, 0));
    item->addref();
    ctrl->add_status(item.get(), 0);
    CHECK(item->get_ctrl() != nullptr);
    auto_ptr_t<kiv::i_object_col> pictures(item->get_images());
    CHECK(pictures && pictures->get_count() == 1);
    if (pictures && pictures->get_count() == 1) {
        auto_ptr_t<kiv::i_object> first(pictures->get_item_by_pos(0));
        kiv::i_status_image* picture = kiv_cast_i_status_image(first);
        CHECK(picture != nullptr);
        if (picture != nullptr) {
            auto_ptr_t<kiv::i_image> image(picture->get_image());
            CHECK(image && image->get_width() == 2);
        }
    }
    auto_ptr_t<kiv::i_object_col> shown(ctrl->get_statuses());
    CHECK(shown && shown->get_count() == 1);
    CHECK(kiv_cast_i_status(item.get()) == static_cast<kiv::i_status*>(item.get()));
    ctrl->remove_status(item.get());
}

void probe_time(wxFrame* frame) {
    auto* time = new kiv::time_ctrl(frame);
    time->set(3 * 3600 + 25 * 60);
    CHECK(time->get() == 3u * 3600 + 25 * 60);
    time->Destroy();
}

void probe_image_manager() {
    const std::string folder = work + "/images";
    mkdir(folder.c_str(), 0700);
    kiv_set_env("KIV_IMAGE_PATH", folder.c_str());
    const std::string file = work + "/probe.bmp";
    CHECK(wxImage(16, 16).SaveFile(wxString::FromUTF8(file), wxBITMAP_TYPE_BMP));
    auto_ptr_t<kiv::image_manager> images(new kiv::image_manager(16, 16));
    images->addref();
    int index = images->create_image("probe.bmp", file.c_str());
    CHECK(index >= 0);
    CHECK(images->get_image_index("probe.bmp") == index);
    CHECK(images->get_image_list() != nullptr && images->get_image_list()->GetImageCount() == index + 1);
    auto_ptr_t<kiv::i_string> name(images->get_image_name(index));
    CHECK(name && std::strcmp(name->get_value(), "probe.bmp") == 0);
    CHECK(kiv_cast_i_image_manager(images.get()) == static_cast<kiv::i_image_manager*>(images.get()));
    // The workspaces take their icons from it.
    kiv_core()->register_service(images.get(), "svc_gui_image_manager");
}

// MDI children live under an MDI parent frame, the top window meanwhile.
void probe_mdi(wxFrame* frame) {
    auto* parent = new wxMDIParentFrame(nullptr, wxID_ANY, "mdi", wxPoint(0, 0), wxSize(400, 300));
    wxTheApp->SetTopWindow(parent);
    parent->Show();
    auto_ptr_t<kiv::mdi_service> mdi(new kiv::mdi_service);
    mdi->addref();
    kiv_core()->register_service(mdi.get(), "svc_gui_mdi");
    {
        auto_ptr_t<kiv::mdi_child_frame> child(new kiv::mdi_child_frame("child", wxIcon()));
        child->addref();
        CHECK(child->get_child_wnd() != nullptr);
        CHECK(child->initialize());
        mdi->add_child_frame(child.get());
        auto_ptr_t<kiv::i_object_col> children(mdi->get_child_frames());
        CHECK(children && children->get_count() == 1);
        CHECK(kiv_cast_mdi_child_frame(child.get()) == child.get());
        CHECK(kiv_cast_i_mdi_service(mdi.get()) == static_cast<kiv::i_mdi_service*>(mdi.get()));
    }
    parent->Destroy();
    pump_until([] { return !wxTheApp->HasPendingEvents(); });
    kiv_core()->unregister_service("svc_gui_mdi");
    wxTheApp->SetTopWindow(frame);
}

// The workspace manager's pane, on the image manager of probe_image_manager.
void probe_workspace() {
    CHECK(kiv_gui_create_workspace_manager("workspace", "Workspace", wxSize(200, 300)));
    auto_ptr_t<kiv::i_object> service(kiv_core()->get_service("svc_gui_workspace_manager"));
    kiv::i_workspace_manager* manager = kiv_cast_i_workspace_manager(service);
    CHECK(manager != nullptr);
    if (manager == nullptr)
        return;
    {
        auto_ptr_t<kiv::i_workspace> space(manager->create_workspace("probe", 0, nullptr, 0));
        CHECK(space && space->get_tree() != nullptr);
        CHECK(manager->select_workspace("probe"));
        auto_ptr_t<kiv::i_workspace> active(manager->get_active_workspace());
        CHECK(active && std::strcmp(active->get_name(), "probe") == 0);
        CHECK(kiv_cast_i_workspace(space) == space.get());
    }
    service.reset();
    kiv_core()->unregister_service("svc_gui_workspace_manager");
    kiv_core()->unregister_service("svc_gui_image_manager");
}

// A property page that adds one notebook page.
class probe_page : public kiv::object, public virtual kiv::i_property_page {
public:
    bool get_interface(const char* name, void** out) override {
        return kiv::answer_interface(name, "i_property_page", static_cast<kiv::i_property_page*>(this), out) ||
               kiv::object::get_interface(name, out);
    }
    void add_page(wxNotebook* notebook) override {
        notebook->AddPage(new wxPanel(notebook), "Probe page");
        ++added;
    }
    int added = 0;
};

void probe_property_sheet(wxFrame* frame) {
    auto_ptr_t<probe_page> page(new probe_page);
    page->addref();
    auto_ptr_t<kiv::object_col> pages(new kiv::object_col);
    pages->addref();
    pages->add_item(page.get(), false);
    auto* sheet = new kiv::property_sheet(frame, pages.get(), "Properties", wxOK | wxCANCEL);
    CHECK(page->added == 1);
    CHECK(sheet->get_notebook() != nullptr && sheet->get_notebook()->GetPageCount() == 1);
    CHECK(kiv_cast_i_property_page(page.get()) == static_cast<kiv::i_property_page*>(page.get()));
    sheet->Destroy();
}

void probe_folder_tree(wxFrame* frame) {
    // A root folder, as the directory dialog's root "/", ends in a slash:
    // its children's paths are its own and their names.
    const std::string top = work + "/folders/";
    mkdir(top.c_str(), 0700);
    mkdir((top + "maps").c_str(), 0700);
    auto_ptr_t<kiv::tree_ctrl> control(new kiv::tree_ctrl);
    control->addref();
    wxTreeCtrl* tree = control->create(frame, wxSize(200, 200), 0);
    CHECK(tree != nullptr);
    if (tree == nullptr)
        return;
    auto_ptr_t<kiv::folder_object> folder(new kiv::folder_object(top.c_str(), "folder.gif"));
    folder->addref();
    CHECK(std::strcmp(folder->get_path(), top.c_str()) == 0);
    folder->insert_as_root(tree);
    tree->SetItemHasChildren(folder->get_tree_id(), true);
    tree->Expand(folder->get_tree_id());
    wxTreeItemIdValue cookie;
    wxTreeItemId first = tree->GetFirstChild(folder->get_tree_id(), cookie);
    CHECK(first.IsOk() && tree->GetItemText(first) == "maps");
    if (first.IsOk()) {
        auto_ptr_t<kiv::i_tree_object> maps(control->get_item_data(first)->get_object());
        kiv::folder_object* child = kiv_cast_folder_object(maps.get());
        CHECK(child != nullptr && child->get_path() == top + "maps");
    }
    CHECK(kiv_cast_folder_object(folder.get()) == folder.get());
    tree->DeleteAllItems();
    tree->Destroy();
}

// The drop-down tree is made as the toolkit makes it before its first show.
class probe_combobox : public kiv::tree_combobox {
public:
    using kiv::tree_combobox::tree_combobox;
    void make_popup() { EnsurePopupControl(); }
};

void probe_tree_combobox(wxFrame* frame) {
    auto* combo = new probe_combobox(frame, wxSize(180, -1));
    combo->make_popup();
    kiv::tree_popup* popup = combo->get_tree_popup();
    CHECK(popup != nullptr && popup->get_tree() != nullptr);
    if (popup != nullptr && popup->get_tree() != nullptr) {
        auto_ptr_t<kiv::tree_object> node(new kiv::tree_object);
        node->addref();
        node->set_name("Minsk");
        combo->add_root(node.get());
        wxTreeCtrl* tree = popup->get_tree()->get_tree_ctrl();
        CHECK(tree != nullptr && tree->GetItemText(tree->GetRootItem()) == "Minsk");
        combo->set_value("Minsk");
        CHECK(combo->GetValue() == "Minsk");
        combo->clear();
    }
    combo->Destroy();
}

void probe_tree_list(wxFrame* frame) {
    auto_ptr_t<kiv::tree_ctrl_ex> control(new kiv::tree_ctrl_ex);
    control->addref();
    auto* list = dynamic_cast<kiv::tree_list_ctrl*>(control->create(frame, wxSize(200, 200)));
    CHECK(list != nullptr);
    if (list == nullptr)
        return;
    auto_ptr_t<kiv::tree_object_ex> node(new kiv::tree_object_ex);
    node->addref();
    node->set_name("checked");
    node->set_tree_flags(KIV_TREE_CHECKBOX);
    node->insert_as_root(list);
    node->set_is_checked(true);
    CHECK(node->get_is_checked());
    // A click on the check box's icon, as the list window reports it.
    wxTreeEvent click(KIV_EVT_TREE_ICON_CLICK, list->GetId());
    click.SetEventObject(list);
    click.SetItem(node->get_tree_id());
    list->GetEventHandler()->ProcessEvent(click);
    CHECK(!node->get_is_checked());
    CHECK(kiv_cast_i_tree_object_ex(node.get()) == static_cast<kiv::i_tree_object_ex*>(node.get()));
    list->DeleteAllItems();
    list->Destroy();
}

// --- the map view and the add-in's functions ----------------------------------

// The name of the view's active mode, "" when none.
std::string active_mode(kiv::map_view* map) {
    auto_ptr_t<kiv::i_map_mode> mode(map->get_active_mode());
    return mode ? mode->get_name() : "";
}

void probe_map_view(wxFrame* frame, wxAuiManager* panes) {
    auto* map = new kiv::map_view(frame);
    map->addref();
    CHECK(map->initialize_sdi());
    panes->AddPane(map->get_wnd(), wxAuiPaneInfo().CenterPane().Name("map_view"));
    panes->Update();
    auto* move = new kiv::move_map_mode;
    auto* zoom = new kiv::zoom_map_mode;
    auto* dimension = new kiv::dimension_map_mode;
    auto* geozone = new kiv::geozone_map_mode;
    kiv::map_mode_base* modes[] = {move, zoom, dimension, geozone};
    for (kiv::map_mode_base* mode : modes) {
        mode->addref();
        map->add_mode(mode);
    }
    map->activate_mode_by_name("MAP_MODE_MOVE");
    pump_until([&] { return map->get_map_wnd()->GetClientSize().x > 200; });
    // The demo town of the installed data, through the installed driver.
    CHECK(map->set_center(53.90, 27.55, 20000));
    pump();

    map->activate_mode_by_name("MAP_MODE_ZOOM");
    CHECK(active_mode(map) == "MAP_MODE_ZOOM");
    const unsigned before = map->get_scale();
    zoom->click_down_proc(wxPoint(40, 40));
    zoom->motion_proc(wxPoint(140, 120));
    zoom->click_up_proc(wxPoint(140, 120));
    CHECK(map->get_scale() < before);

    map->activate_mode_by_name("MAP_MODE_DIMENSION");
    CHECK(active_mode(map) == "MAP_MODE_DIMENSION");
    for (wxPoint at : {wxPoint(50, 50), wxPoint(150, 90)}) {
        dimension->click_down_proc(at);
        dimension->click_up_proc(at);
    }
    CHECK(dimension->get_points().GetCount() == 2);
    CHECK(dimension->get_total() > 0);

    map->activate_mode_by_name("MAP_MODE_GEOZONE");
    CHECK(active_mode(map) == "MAP_MODE_GEOZONE");
    geozone->set_enable(true);
    geozone->db_click_proc(wxPoint(100, 100));
    CHECK(geozone->get_zone().size() == 1);
    if (!geozone->get_zone().empty())
        CHECK(kiv_cast_geozone_point(geozone->get_zone()[0]) == geozone->get_zone()[0]);
    CHECK(kiv_cast_geozone_map_mode(geozone) == geozone);
    CHECK(kiv_cast_i_map_view(map) == static_cast<kiv::i_map_view*>(map));

    map->activate_mode_by_name("MAP_MODE_MOVE");
    for (kiv::map_mode_base* mode : modes) {
        map->remove_mode(mode);
        mode->release();
    }
    map->close();
    panes->DetachPane(map->get_wnd());
    map->release();
    pump();
}

void probe_addin_functions(wxFrame* frame, wxAuiManager* panes) {
    wxArrayString layers;
    CHECK(get_ozm_map_layers_info(layers) && layers.GetCount() == 5);
    CHECK(get_scale_values() != nullptr && get_scale_values()->GetCount() == 17);
    CHECK(get_map_layer_menu() != nullptr && get_map_layer_menu()->GetMenuItemCount() == 0);
    CHECK(is_valid_coords(53.9, 27.5) && !is_valid_coords(91, 0));
    CHECK(pt_in_rect(54, 27, 53, 28, 53.5, 27.5) == 1);
    kiv::geo_point nearest{};
    CHECK(std::fabs(kiv_distance_to_line2(0, 0, 0, 2, 1, 1, &nearest) - 1) < 1e-9);
    CHECK(std::fabs(nearest.lat) < 1e-9 && std::fabs(nearest.lon - 1) < 1e-9);
    wxArrayRealPoint square;
    for (wxRealPoint corner : {wxRealPoint(53.90, 27.50), wxRealPoint(53.90, 27.51), wxRealPoint(53.91, 27.51),
                               wxRealPoint(53.91, 27.50)})
        square.Add(corner);
    CHECK(get_polygon_area(square) > 0);
    const unsigned char pixel[4] = {10, 20, 30, 40};
    unsigned char* rgb = rgba2rgb(1, 1, pixel, 4);
    CHECK(rgb != nullptr && rgb[0] == 10 && rgb[1] == 20 && rgb[2] == 30);
    std::free(rgb);

    CHECK(get_fmt_scale(100000) == "1.0 km");
    const time_t moment = 1700000000;
    char local[32];
    std::strftime(local, sizeof local, "%d.%m.%y %H:%M:%S", std::localtime(&moment));
    CHECK(get_fmt_time(moment) == local);
    CHECK(get_fmt_interval(3661) == "01:01:01");
    CHECK(get_fmt_coord(53.9005, 27.5) == "N 53' 54.0300, E 027' 30.0000");
    CHECK(get_fmt_float(3.14159, 2) == "3,14");
    // The GWX driver (the default here) names the demo chart's town.
    CHECK(get_location(53.902, 27.552) == "Ashford");

    wxConfigBase::Get()->Write("probe/list", "10;x;20");
    wxArrayString words;
    CHECK(get_reg_str_values("probe/list", words) && words.GetCount() == 3 && words[1] == "x");
    wxArrayLong numbers;
    CHECK(get_reg_long_values("probe/list", numbers) && numbers.GetCount() == 2 && numbers[1] == 20);

    wxImage picture(3, 2);
    picture.SetRGB(0, 0, 200, 100, 50);
    auto_ptr_t<kiv::i_image> from_wx(get_image_from_wx(&picture));
    CHECK(from_wx && from_wx->get_width() == 3 && from_wx->get_height() == 2);
    auto_ptr_t<kiv::i_image> from_xpm(get_image_from_xpm(probe_xpm));
    CHECK(from_xpm && from_xpm->get_width() == 2);
    wxImage* back = get_wx_image(from_wx.get());
    CHECK(back != nullptr && back->GetWidth() == 3 && back->GetRed(0, 0) == 200);
    delete back;
    // Opaque red: the disc's centre pixel is red, its corner transparent.
    auto_ptr_t<kiv::i_image> circle(draw_circle(4, 0xFF0000FFu));
    CHECK(circle && circle->get_width() == 8 && circle->get_height() == 8);
    if (circle && circle->get_data_size() == 8 * 8 * 4) {
        auto* bytes = static_cast<const unsigned char*>(circle->get_data());
        const unsigned char* centre = bytes + (4 * 8 + 4) * 4;
        CHECK(centre[0] == 255 && centre[1] == 0 && centre[3] == 255);
        CHECK(bytes[3] == 0);
    }
    auto_ptr_t<kiv::i_image> gradient(draw_circle_with_gradient(4, 0xFF0000FFu));
    CHECK(gradient && gradient->get_width() == 8);
    auto_ptr_t<kiv::i_image> arrow(draw_arrow(10, 0xFF00FF00u));
    CHECK(arrow && arrow->get_width() == 10 && arrow->get_height() == 10);

    panes->AddPane(new wxPanel(frame), wxAuiPaneInfo().Name("probe_pane").Left());
    panes->Update();
    CHECK(get_panel("probe_pane") != nullptr && get_panel("probe_pane")->IsOk());
    CHECK(is_shown_panel("probe_pane"));
    show_panel("probe_pane", false, true);
    CHECK(!is_shown_panel("probe_pane"));
}

// --- one instance of each library -------------------------------------------

const char* const libraries[] = {"kiv_core",       "kiv_image",      "kiv_zip",  "kiv_http",     "kiv_gis",
                                 "gis_ozm_driver", "gwx_map_driver", "kiv_gui",  "kiv_gui_addin"};

std::string base_name(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int count_loaded(dl_phdr_info* info, size_t, void* data) {
    auto* counts = static_cast<std::map<std::string, int>*>(data);
    if (info->dlpi_name != nullptr)
        ++(*counts)[base_name(info->dlpi_name)];
    return 0;
}

// Each library: loaded once (one entry in the loader's list) and mapped
// from one file, the one in the prefix's bin folder.
void probe_one_instance() {
    std::map<std::string, std::set<std::string>> files;  // library -> files mapped
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        size_t path = line.find('/');
        if (path == std::string::npos)
            continue;
        std::string file = line.substr(path);
        files[base_name(file)].insert(file);
    }
    std::map<std::string, int> loaded;
    dl_iterate_phdr(count_loaded, &loaded);
    char* real_bin = realpath(prefix_bin.c_str(), nullptr);
    const std::string bin = real_bin != nullptr ? real_bin : prefix_bin;
    std::free(real_bin);
    for (const char* library : libraries) {
        const std::string name = std::string(library) + ".so";
        const std::set<std::string>& mapped = files[name];
        bool one = mapped.size() == 1 && *mapped.begin() == bin + "/" + name && loaded[name] == 1;
        if (!one) {
            std::fprintf(stderr, "%s: loaded %d times, mapped from", name.c_str(), loaded[name]);
            for (const std::string& file : mapped)
                std::fprintf(stderr, " %s", file.c_str());
            std::fprintf(stderr, " (expected %s/%s once)\n", bin.c_str(), name.c_str());
        }
        check(one, name.c_str(), __LINE__);
    }
}

// --- the program --------------------------------------------------------------

class probe_app : public wxApp {
public:
    explicit probe_app(Display* held) : held_(held) {}

    // The probe runs from the event loop, as an application's handlers do.
    bool OnInit() override {
        XCloseDisplay(held_);
        CallAfter([this] {
            run();
            ExitMainLoop();
        });
        return true;
    }

private:
    void run() {
        kiv_set_env("KIV_ROOT_PATH", prefix_bin.c_str());
        kiv_set_env("KIV_APP_TITLE", "Probe");
        kiv_set_env("APP_SPLASH_TITLE", nullptr);
        kiv_set_env("KIV_GIS_CACHE_PATH", "disable");
        // The installed configuration's choice of driver: the GWX demo chart.
        kiv_set_env("KIV_GIS_DEFAULT_DRIVER", "gwx");
        CHECK(kiv_initialize());
        CHECK(kiv_load_config("config/config.xml"));
        wxInitAllImageHandlers();
        wxConfigBase::Set(new wxFileConfig(wxEmptyString, wxEmptyString, wxString::FromUTF8(work + "/probe.conf"),
                                           wxEmptyString, wxCONFIG_USE_LOCAL_FILE));

        auto* frame_service = new kiv::gui_frame(this);
        kiv_core()->register_service(frame_service, "svc_gui_frame");
        kiv_core()->register_service(new kiv::gui_event_proc, "svc_gui_event");
        wxFrame* frame = new wxFrame(nullptr, wxID_ANY, "probe", wxPoint(0, 0), wxSize(800, 600));
        wxMenuBar* bar = new wxMenuBar;
        for (const char* title : {"&File", "&Edit", "&View"}) {
            wxMenu* menu = new wxMenu;
            menu->Append(wxID_ANY, "placeholder");
            bar->Append(menu, title);
        }
        frame->SetMenuBar(bar);
        frame->CreateStatusBar(4);
        SetTopWindow(frame);
        wxAuiManager* panes = frame_service->get_frame_manager();
        panes->SetManagedWindow(frame);
        frame->Show();
        pump_until([&] { return frame->IsShownOnScreen(); });

        CHECK(kiv_gui_is_running());
        CHECK(std::strcmp(kiv_get_app_name(), "Probe") == 0);
        CHECK(std::strcmp(kiv_get_splash_name(), "") == 0);
        probe_tree(frame);
        probe_tab_control(frame);
        probe_undoredo();
        probe_output(frame);
        probe_print();
        probe_status(frame);
        probe_time(frame);
        probe_image_manager();
        probe_mdi(frame);
        probe_workspace();
        probe_property_sheet(frame);
        probe_folder_tree(frame);
        probe_tree_combobox(frame);
        probe_tree_list(frame);
        probe_map_view(frame, panes);
        probe_addin_functions(frame, panes);
        probe_one_instance();
        pump();

        panes->UnInit();
        frame->Destroy();
        pump();
        kiv_gui_terminate();
        CHECK(!kiv_gui_is_running());
        kiv_core()->unregister_service("svc_gui_event");
        kiv_core()->unregister_service("svc_gui_frame");
    }

    Display* held_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PREFIX_BIN WORK_FOLDER\n", argv[0]);
        return 2;
    }
    prefix_bin = argv[1];
    work = argv[2];
    // An X server resets itself when its last client leaves: a connection
    // of the probe's own, held until the toolkit is up, keeps a server
    // that another program just left from resetting under the start.
    Display* held = nullptr;
    const char* display = std::getenv("DISPLAY");
    while (display != nullptr && *display != '\0' && held == nullptr) {
        held = XOpenDisplay(nullptr);
        if (held == nullptr)
            wxMilliSleep(50);
    }
    if (held == nullptr) {
        std::fputs("kiv_install_probe: no display (run under xvfb-run -a)\n", stderr);
        return 2;
    }
    wxApp::SetInstance(new probe_app(held));
    int toolkit_argc = 1;
    char* toolkit_argv[] = {argv[0], nullptr};
    if (wxEntry(toolkit_argc, toolkit_argv) != 0 && failures == 0)
        ++failures;
    delete wxConfigBase::Set(nullptr);
    kiv_terminate();
    if (failures > 0)
        std::fprintf(stderr, "kiv_install_probe: %d checks failed\n", failures);
    else
        std::puts("kiv_install_probe: every check passed");
    return failures > 0 ? 1 : 0;
}
