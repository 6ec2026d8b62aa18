// addin_lib.cpp --
//
//     The library's face: the loader protocol, whose entry fills the
//     scale table and reads the render-layer names of the ozm render
//     configuration, the process-wide tables and menu, and the casts of
//     the add-in's interfaces.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/auto_string.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/library_protocol.h>
#include <kiv/core/object.h>
#include <kiv/gui_addin/addin_lib.h>
#include <kiv/gui_addin/i_map_mode.h>
#include <kiv/gui_addin/i_search_item.h>
#include <kiv/gui_addin/map_view.h>

#include <wx/arrimpl.cpp>
#include <wx/menu.h>

#include <string>

WX_DEFINE_USER_EXPORTED_OBJARRAY(wxArrayRealPoint);

using namespace kiv;

namespace {

wxArrayLong scale_table;   // filled by the entry, coarsest first
wxArrayString layer_names; // render-layer names, in directory order

// The scales of the wheel and of best view, coarsest first.
const long scales[] = {50000000, 25000000, 15000000, 10000000, 5000000, 2000000, 1000000, 500000, 200000,
                       100000,   50000,    25000,    15000,    10000,   5000,    2000,    1000};

// Appends the "name" of the root element of every "*.xml" file directly
// in `dir` to the layer names.
void read_layer_names(i_xml_proc* xml, const std::string& dir) {
    auto_ptr_t<i_object_col> files(kiv_scan_dir(dir.c_str(), "*.xml", 1));
    if (!files)
        return;
    for (unsigned i = 0; i < files->get_count(); ++i) {
        auto_ptr_t<i_object> item(files->get_item_by_pos(i));
        i_string* file = kiv_cast_i_string(item);
        if (file == nullptr)
            continue;
        std::string path = dir + "/" + file->get_value();
        auto_ptr_t<i_xml_node> root(xml->parse_file(path.c_str()));
        if (root)
            layer_names.Add(wxString::FromUTF8(root->get_attribute("name")));
    }
}

}  // namespace

const char* kiv_library_name() {
    return "kiv_gui_addin";
}

const char* kiv_library_version() {
    return "1.1.0008";
}

bool kiv_library_initialized() {
    return true;
}

// Fills the tables. "svc_gui_event" is not needed here: the viewer
// registers it only after the configuration has loaded the libraries.
void kiv_library_entry() {
    scale_table.Empty();
    for (long scale : scales)
        scale_table.Add(scale);
    layer_names.Empty();
    i_core* core = kiv_core();
    if (core == nullptr)
        return;
    std::string config;
    if (!kiv_get_env("KIV_OZM_RENDER_CONFIG_PATH", config) || config.empty())
        return;
    auto_ptr_t<i_object> xml_service(core->get_service("svc_xml"));
    i_xml_proc* xml = kiv_cast_i_xml_proc(xml_service);
    if (xml == nullptr)
        return;
    auto_string path(kiv_get_absolute_path(config.c_str()));
    const char* abs = path;
    if (abs == nullptr || !kiv_dir_exists(abs))
        return;
    read_layer_names(xml, std::string(abs) + "/layers");
}

wxArrayLong* get_scale_values() {
    return &scale_table;
}

bool get_ozm_map_layers_info(wxArrayString& out) {
    out = layer_names;
    return !out.IsEmpty();
}

wxMenu* get_map_layer_menu() {
    // Made on first use: a menu needs the running toolkit, which is not
    // there yet when the library is loaded.
    static wxMenu* menu = new wxMenu;
    return menu;
}

i_panel* kiv_cast_i_panel(i_object* obj) {
    return cast_interface<i_panel>(obj, "i_panel");
}

i_map_view* kiv_cast_i_map_view(i_object* obj) {
    return cast_interface<i_map_view>(obj, "i_map_view");
}

map_view* kiv_cast_map_view(i_object* obj) {
    return cast_interface<map_view>(obj, "map_view");
}

i_map_mode* kiv_cast_i_map_mode(i_object* obj) {
    return cast_interface<i_map_mode>(obj, "i_map_mode");
}

i_search_item* kiv_cast_i_search_item(i_object* obj) {
    return cast_interface<i_search_item>(obj, "i_search_item");
}
