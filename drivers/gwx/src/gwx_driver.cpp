// gwx_driver.cpp --
//
//     The "gwx" driver's start-up (control, maps folder, maps list), its
//     answers that need no search, its layers and the renderer factory.
//     The three searches are in gwx_driver_search.cpp.

#include "gwx_driver.h"

#include "gwx_map.h"
#include "gwx_renderer.h"
#include "gwx_text.h"

#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/absolute_path.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <set>
#include <unistd.h>

namespace kiv {

namespace {

long elapsed_ms(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

// KIV_GWX_MAPS_LOAD as atoi read it, without atoi's overflow: digits
// after an optional sign; anything else reads as 0.
long maps_load_value(const std::string& text) {
    errno = 0;
    char* end = nullptr;
    long value = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str())
        return 0;
    if (errno == ERANGE)
        return value < 0 ? LONG_MIN : LONG_MAX;
    return value;
}

// A text as it comes back from the control after its code-page round.
std::string as_control_sees(const char* text) {
    return from_control_text(to_control_text(text));
}

}  // namespace

gwx_driver::gwx_driver(gwx_control_factory factory) : factory_(std::move(factory)) {
    set_name("gwx");
    object_col* col = new object_col;
    col->addref();
    maps_.reset(col);
}

gwx_driver::~gwx_driver() {
    host_.close();
    maps_.reset();
}

bool gwx_driver::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_gwx_driver", static_cast<i_gwx_driver*>(this), out))
        return true;
    if (answer_interface(name, "i_gis_driver", static_cast<i_gis_driver*>(this), out))
        return true;
    if (answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool gwx_driver::init() {
    kiv_trace("gwx_driver::init - start");
    if (!host_.create(factory_)) {
        kiv_trace("gwx_driver::init - CreateControl - FAILED (%s)", "Failed to create GWX Control");
        return false;
    }
    if (!load_maps())
        return false;
    gwx_control* c = control();
    c->set_auto_redraw(1);
    c->set_tool(0);
    return true;
}

bool gwx_driver::load_maps() {
    gwx_control* c = control();
    if (c == nullptr)
        return false;
    c->open_workspace(u"");
    std::string path;
    if (!kiv_get_env("KIV_GWX_MAPS_PATH", path) || path.empty()) {
        kiv_trace("Error: set evironment variable KIV_GWX_MAPS_PATH.");
        return false;
    }
    // A relative folder is under the installation root, as everywhere in
    // the framework; existence test and scan then agree on it.
    if (path[0] != '/') {
        std::string abs = kiv::absolute_path(path);
        if (!abs.empty())
            path = abs;
    }
    maps_path_ = path;
    if (!kiv_dir_exists(path.c_str())) {
        kiv_trace("Error: invalid map path '%s' in environment variable KIV_GWX_MAPS_PATH.", path.c_str());
        return false;
    }
    auto_ptr_t<i_object_col> files(kiv_scan_dir(path.c_str(), "*.chart", 1));
    if (!files || files->get_count() == 0) {
        kiv_trace("Error: maps not found in directory '%s'.", path.c_str());
        return false;
    }
    std::string load;
    if (!kiv_get_env("KIV_GWX_MAPS_LOAD", load) || maps_load_value(load) < 0) {
        kiv_trace("Warning: skipping loading GWX maps.");
        return true;
    }
    auto start = std::chrono::steady_clock::now();
    for (unsigned i = 0; i < files->get_count(); ++i) {
        auto_ptr_t<i_object> item(files->get_item_by_pos(i));
        i_string* file = kiv_cast_i_string(item);
        if (file == nullptr)
            continue;
        gwx_map* map = new (std::nothrow) gwx_map(host_.control());
        if (map == nullptr)
            continue;
        map->addref();
        auto_ptr_t<gwx_map> held(map);
        std::string full = path + "/" + file->get_value();
        if (map->pre_load_map(full.c_str()))
            maps_->add_item(static_cast<i_gwx_map*>(map), false);
    }
    kiv_trace("gwx_driver::load_maps(), time: %ld ms.", elapsed_ms(start));
    return true;
}

i_gis_renderer* gwx_driver::create_renderer(i_gis_viewport* vp, const char* layers, const char* map_tags) {
    if (vp == nullptr || layers == nullptr || map_tags == nullptr || control() == nullptr)
        return nullptr;
    gis_gwx_renderer* r = new (std::nothrow) gis_gwx_renderer(this, vp);
    if (r == nullptr)
        return nullptr;
    r->addref();
    return r;
}

char* gwx_driver::get_location_text(double lat, double lon, double, double*) {
    gwx_control* c = control();
    std::u16string name;
    if (c == nullptr || !c->get_place_name(lat, lon, name))
        return nullptr;
    return strdup(from_control_text(name).c_str());
}

i_object_col* gwx_driver::get_locations_text(double*, double*, unsigned, double) {
    return nullptr;
}

i_gis_road_lock* gwx_driver::lock_points_to_road(double*, double*, unsigned, double, bool) {
    return nullptr;
}

bool gwx_driver::lock_point_to_road(double, double, double, geo_point&) {
    return false;
}

unsigned gwx_driver::get_render_version() {
    return 0;
}

i_object_col* gwx_driver::get_maps(const char*) {
    return maps_->copy();
}

const char* gwx_driver::get_layers() {
    return nullptr;
}

std::string gwx_driver::next_snapshot_name() {
    const char* temp = kiv_temp_path();
    if (temp == nullptr || temp[0] == '\0')
        return std::string();
    unsigned n = snapshot_counter_.fetch_add(1);
    last_snapshot_ = std::string(temp) + "/gwx_" + std::to_string(static_cast<long>(getpid())) + "_" +
                     std::to_string(n) + ".bmp";
    return last_snapshot_;
}

void gwx_driver::for_each_layer(const std::function<bool(gwx_record_set& layer)>& fn) {
    gwx_control* c = control();
    std::unique_ptr<gwx_record_set> maps;
    if (c == nullptr || !c->get_maps(maps) || !maps)
        return;
    for (long pos = maps->move_first(); pos >= 0; pos = maps->move_next()) {
        std::u16string name;
        if (!maps->get_field_text(1, name))
            continue;
        if (name == u"{topo}" || name == u"{plan}")
            continue;
        std::unique_ptr<gwx_record_set> layers;
        if (!maps->get_child(3, layers) || !layers)
            continue;
        for (long lpos = layers->move_first(); lpos >= 0; lpos = layers->move_next())
            if (!fn(*layers))
                return;
    }
}

i_object_col* gwx_driver::get_layer_names() {
    object_col* col = new (std::nothrow) object_col;
    if (col == nullptr)
        return nullptr;
    col->addref();
    for_each_layer([col](gwx_record_set& layer) {
        std::u16string name;
        if (layer.get_field_text(1, name)) {
            string* s = new (std::nothrow) string(from_control_text(name).c_str());
            if (s != nullptr)
                col->add_item(static_cast<i_string*>(s), false);
        }
        return true;
    });
    return col;
}

bool gwx_driver::set_visible_layers(i_object_col* names) {
    if (names == nullptr || names->get_count() == 0)
        return false;
    std::set<std::string> shown;
    for (unsigned i = 0; i < names->get_count(); ++i) {
        auto_ptr_t<i_object> item(names->get_item_by_pos(i));
        if (i_string* s = kiv_cast_i_string(item))
            shown.insert(as_control_sees(s->get_value()));
    }
    gwx_control* c = control();
    for_each_layer([&](gwx_record_set& layer) {
        std::u16string name;
        if (layer.get_field_text(1, name))
            c->set_layer_state(layer, shown.count(from_control_text(name)) != 0, u"VMCT");
        return true;
    });
    return true;
}

bool gwx_driver::is_layer_visible(const char* name) {
    if (name == nullptr)
        return false;
    std::string wanted = as_control_sees(name);
    bool visible = false;
    for_each_layer([&](gwx_record_set& layer) {
        std::u16string text;
        if (!layer.get_field_text(1, text) || from_control_text(text) != wanted)
            return true;
        double state = 0;
        visible = true;
        if (layer.get_field_value(0, state) && std::isfinite(state) && std::fabs(state) < 9.0e18)
            visible = (static_cast<long long>(state) & 3) != 2;
        return false;
    });
    return visible;
}

}  // namespace kiv
