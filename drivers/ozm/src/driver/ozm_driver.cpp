// ozm_driver.cpp --
//
//     The driver object: its start (maps, then layers, then the
//     background handler), the rescan of the maps folder with its load
//     numbers, the background task, and the simple operations of the GIS
//     contract (maps, layers, render version). Renderer selection lives
//     in ozm_driver_renderers.cpp, place search, location texts and road
//     snapping in ozm_driver_search.cpp.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/files.h>
#include <kiv/core/absolute_path.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_event_proc.h>
#include <kiv/core/log.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>

#include "driver/ozm_driver.h"
#include "driver/render_tools.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>

namespace kiv {

namespace {

// Seconds between two runs of the background task.
constexpr uint32_t bg_task_period = 5;

// The core clock second of the last background run; shared by every
// driver of the library. 0 until the first tick.
std::atomic<uint32_t> last_bg_run{0};
std::atomic<bool> bg_clock_started{false};

// Returns: the names of the files `dir` lists for `pattern`, in listing
//     order; empty when the folder lists none.
std::vector<std::string> list_files(const std::string& dir, const char* pattern) {
    std::vector<std::string> names;
    auto_ptr_t<i_object_col> listing(kiv_scan_dir(dir.c_str(), pattern, 1));
    for (unsigned i = 0; listing && i < listing->get_count(); ++i) {
        auto_ptr_t<i_object> item(listing->get_item_by_pos(i));
        i_string* name = kiv_cast_i_string(item);
        if (name != nullptr && name->get_value() != nullptr)
            names.push_back(name->get_value());
    }
    return names;
}

}  // namespace

ozm_driver::ozm_driver() : render_tools_(std::make_shared<render_tool_pool>()) {
    set_name("ozm");
}

ozm_driver::~ozm_driver() {
    if (handler_installed_)
        kiv_uninstall_handler("KIV_CORE_EVT_BG_TASK", 0, this, static_cast<kiv_event_function>(&ozm_driver::on_bg_task));
    for (auto& entry : maps_)
        entry.second->release();
    maps_.clear();
    maps_by_number_.clear();
    for (auto& entry : layers_)
        delete entry.second;
    layers_.clear();
}

bool ozm_driver::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    if (answer_interface(name, "i_gis_driver", static_cast<i_gis_driver*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool ozm_driver::init(const char* maps_path, const char* render_config_path) {
    if (maps_path == nullptr || render_config_path == nullptr)
        return false;
    // The folder is listed relative to the root (kiv_scan_dir), so its
    // files are opened from there too, not from the working folder.
    maps_dir_ = absolute_path(maps_path);
    if (maps_dir_.empty())
        maps_dir_ = maps_path;
    if (!load_maps(false))
        return false;
    std::string layers_dir = std::string(render_config_path) + "/layers";
    if (!kiv_dir_exists(layers_dir.c_str())) {
        kiv_trace("GIS OZM driver: error loading renderer layers configuration. Directory "
                  "${KIV_OZM_RENDER_CONFIG_PATH}/layers not exists");
        kiv_log(0, "gis_ozm_driver: the render configuration has no layers folder '%s'", layers_dir.c_str());
        return false;
    }
    if (!load_layers(layers_dir))
        return false;
    kiv_install_handler("KIV_CORE_EVT_BG_TASK", 0, this, static_cast<kiv_event_function>(&ozm_driver::on_bg_task));
    handler_installed_ = true;
    return true;
}

bool ozm_driver::load_layers(const std::string& dir) {
    std::vector<std::string> files = list_files(dir, "*.xml");
    if (files.empty())
        return false;
    for (const std::string& file : files) {
        std::string path = dir + "/" + file;
        renderer_layer* layer = new (std::nothrow) renderer_layer;
        if (layer == nullptr)
            continue;
        if (!layer->load(path.c_str())) {
            delete layer;
            continue;
        }
        int32_t priority = layer->get_priority();
        layers_.emplace(uint32_t(priority), layer);
        if (!layer_names_.empty())
            layer_names_ += ",";
        layer_names_ += layer->get_name();
        kiv_trace("Loaded layer '%s' with priority %d", path.c_str(), int(priority));
    }
    return true;
}

bool ozm_driver::load_maps(bool verbose) {
    // One scan at a time (the start and the background task); the maps
    // guard is held only while the collections are read or changed, so
    // renderers are not kept waiting while files load.
    mutex_locker scan(&scan_guard_);
    std::vector<std::string> files = list_files(maps_dir_, "*.ozm");
    if (files.empty())
        return false;
    // A refused file that is gone is forgotten: should it come back
    // with the same fault, the log hears of it again.
    for (auto it = refused_.begin(); it != refused_.end();) {
        bool listed = false;
        for (const std::string& file : files)
            listed = listed || maps_dir_ + "/" + file == it->first;
        it = listed ? std::next(it) : refused_.erase(it);
    }

    // Unload maps whose file is gone or no longer carries the header
    // they were loaded with. The check opens the file again by its path
    // (so a file replaced by rename counts as changed) and reads the
    // disk, which on a slow folder takes long: it runs on the maps taken
    // out under the guard, and the guard is taken again only to drop the
    // changed ones. Only this scan changes the collections, so what it
    // took is still there.
    std::vector<ozm_map*> held;
    {
        mutex_locker lock(&guard_);
        held.reserve(maps_.size());
        for (const auto& entry : maps_) {
            entry.second->addref();
            held.push_back(entry.second);
        }
    }
    std::vector<std::string> loaded_paths;
    std::vector<ozm_map*> changed;
    for (ozm_map* map : held) {
        if (map->is_unchanged())
            loaded_paths.push_back(map->path());
        else
            changed.push_back(map);
    }
    if (!changed.empty()) {
        mutex_locker lock(&guard_);
        for (ozm_map* map : changed) {
            for (auto it = maps_.begin(); it != maps_.end(); ++it) {
                if (it->second != map)
                    continue;
                if (verbose)
                    kiv_trace("Unloaded map '%s'", map->get_name());
                maps_by_number_.erase(map->load_number());
                maps_.erase(it);
                map->release();
                break;
            }
        }
    }
    for (ozm_map* map : held)
        map->release();

    for (const std::string& file : files) {
        std::string path = maps_dir_ + "/" + file;
        bool loaded = false;
        for (const std::string& known : loaded_paths)
            loaded = loaded || known == path;
        if (loaded)
            continue;
        ozm_map* map = new (std::nothrow) ozm_map;
        if (map != nullptr)
            map->addref();
        auto_ptr_t<ozm_map> map_holder(map);
        string* error = new (std::nothrow) string;
        if (error != nullptr)
            error->addref();
        auto_ptr_t<string> error_holder(error);
        if (map == nullptr || error == nullptr)
            continue;
        if (!map->load(path.c_str(), error, next_load_number_, verbose)) {
            report_refused(path, error->get_value() != nullptr ? error->get_value() : "");
            continue;
        }
        refused_.erase(path);
        ++next_load_number_;
        if (verbose)
            kiv_trace("Loaded map '%s' from '%s' with priority %d", map->get_name(), path.c_str(),
                      int(map->priority()));
        mutex_locker lock(&guard_);
        map->addref();
        maps_.emplace(map->priority(), map);
        maps_by_number_[map->load_number()] = map;
    }
    return true;
}

void ozm_driver::report_refused(const std::string& path, const std::string& reason) {
    // Every scan traces the refusal; the log gets it once per file and
    // reason, not every five seconds while the file stays.
    auto known = refused_.find(path);
    if (known != refused_.end() && known->second == reason) {
        kiv_trace("Error loading map from '%s': %s", path.c_str(), reason.c_str());
        return;
    }
    kiv_log(0, "Error loading map from '%s': %s", path.c_str(), reason.c_str());
    try {
        refused_[path] = reason;
    } catch (const std::bad_alloc&) {
        refused_.erase(path);  // logged again next time: no harm
    }
}

bool ozm_driver::on_bg_task(i_event*) {
    uint32_t now = kiv_get_curr_time();
    if (!bg_clock_started.exchange(true)) {
        last_bg_run = now;
        return true;
    }
    uint32_t last = last_bg_run.load();
    if (now - last < bg_task_period)
        return true;
    // One run at a time: a tick arriving while a slow rescan is still
    // under way leaves it alone instead of loading the same files twice.
    bool expected = false;
    if (!bg_running_.compare_exchange_strong(expected, true))
        return true;
    if (!last_bg_run.compare_exchange_strong(last, now)) {
        bg_running_ = false;
        return true;
    }
    for (auto& entry : layers_)
        entry.second->reload();
    load_maps(true);
    {
        mutex_locker lock(&guard_);
        for (auto& entry : maps_)
            entry.second->release_idle_pages();
    }
    bg_running_ = false;
    return true;
}

unsigned ozm_driver::get_render_version() {
    mutex_locker lock(&guard_);
    uint32_t sum = 0;
    for (const auto& entry : maps_)
        sum += entry.second->map_version();
    for (const auto& entry : layers_)
        sum += entry.second->get_version();
    return sum;
}

i_object_col* ozm_driver::get_maps(const char* map_tags) {
    if (map_tags == nullptr)
        return nullptr;
    object_col* col = new (std::nothrow) object_col;
    if (col == nullptr)
        return nullptr;
    col->addref();
    mutex_locker lock(&guard_);
    for (const auto& entry : maps_) {
        if (entry.second->matches_tags(map_tags))
            col->add_item(static_cast<i_gis_map*>(entry.second), false);
    }
    return col;
}

ozm_map* ozm_driver::map_by_load_number(uint32_t load_number) {
    mutex_locker lock(&guard_);
    auto it = maps_by_number_.find(load_number);
    if (it == maps_by_number_.end())
        return nullptr;
    it->second->addref();
    return it->second;
}

std::vector<renderer_layer*> ozm_driver::layers_by_priority() const {
    std::vector<renderer_layer*> list;
    for (const auto& entry : layers_)
        list.push_back(entry.second);
    return list;
}

}  // namespace kiv
