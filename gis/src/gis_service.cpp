// gis_service.cpp --
//
//     The service "svc_gis". Requests name a driver; "" and unknown names
//     fall to the default one. The service adds the distance wording of
//     location texts ("1.50 from Town") and keeps the maps-state JSON of
//     the default driver until its render version changes.

#include "gis_service.h"

#include "maps_state_json.h"

#include <kiv/core/auto_ptr.h>
#include <kiv/core/c_locale.h>
#include <kiv/core/col_sort.h>
#include <kiv/core/env.h>
#include <kiv/core/string_impl.h>
#include <kiv/gis/i_gis_road_lock.h>
#include <kiv/image/i_image.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace kiv {

namespace {

// A place at most this many metres away is named without its distance.
constexpr double near_place_range = 100.0;

// Words a location `dist` metres away as "<km> <joiner> <place>", the
// kilometres with two decimals, in a malloc-ed block of strlen(place) +
// strlen(joiner) + 50 bytes (cut short to fit, always terminated).
// Returns: the block, or null when memory fails.
char* word_distance(double dist, const char* joiner, const char* place) {
    const size_t size = std::strlen(place) + std::strlen(joiner) + 50;
    char* block = static_cast<char*>(std::malloc(size));
    if (block == nullptr)
        return nullptr;
    std::string text = format_fixed(dist / 1000, 2);
    text += ' ';
    text += joiner;
    text += ' ';
    text += place;
    const size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(block, text.data(), n);
    block[n] = '\0';
    return block;
}

}  // namespace

gis_service::gis_service() {
    default_names_.push_back(std::make_unique<const std::string>());
    default_driver_ = default_names_.back().get();
    std::string name;
    if (kiv_get_env("KIV_GIS_DEFAULT_DRIVER", name))
        set_default_driver(name.c_str());
}

gis_service::~gis_service() = default;

const std::string* gis_service::keep_text(std::vector<std::unique_ptr<const std::string>>& kept, const char* text) {
    for (const auto& known : kept) {
        if (*known == text)
            return known.get();
    }
    kept.push_back(std::make_unique<const std::string>(text));
    return kept.back().get();
}

bool gis_service::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_gis_service", static_cast<i_gis_service*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool gis_service::set_default_driver(const char* driver_name) {
    if (driver_name == nullptr)
        return false;
    mutex_locker lock(&default_mutex_);
    default_driver_ = keep_text(default_names_, driver_name);
    return true;
}

const char* gis_service::get_default_driver() {
    mutex_locker lock(&default_mutex_);
    return default_driver_->c_str();
}

i_object_col* gis_service::get_drivers() {
    return drivers_.copy();
}

bool gis_service::add_driver(i_gis_driver* driver) {
    if (driver == nullptr)
        return false;
    const char* name = driver->get_name();
    if (name == nullptr)
        return false;
    // The collection's own lock makes the name check and the append one
    // step, so two drivers of one name racing in cannot both get in.
    mutex_locker lock(&drivers_);
    auto_ptr_t<i_gis_driver> same(get_driver_by_name(name));
    if (same)
        return false;
    drivers_.add_item(driver, false);
    if (drivers_.get_count() == 1) {
        mutex_locker default_lock(&default_mutex_);
        if (default_driver_->empty())
            set_default_driver(name);
    }
    return true;
}

bool gis_service::remove_driver(i_gis_driver* driver) {
    if (driver == nullptr)
        return false;
    drivers_.remove_item(driver);
    return true;
}

i_gis_driver* gis_service::get_driver_by_name(const char* name) {
    if (name == nullptr)
        return nullptr;
    // Drivers are matched through their own get_name, whether or not
    // they also answer "i_named_object".
    mutex_locker lock(&drivers_);
    for (unsigned i = 0; i < drivers_.get_count(); ++i) {
        auto_ptr_t<i_object> item(drivers_.get_item_by_pos(i));
        i_gis_driver* driver = kiv_cast_i_gis_driver(item);
        if (driver == nullptr)
            continue;
        const char* driver_name = driver->get_name();
        if (driver_name != nullptr && std::strcmp(driver_name, name) == 0) {
            driver->addref();
            return driver;
        }
    }
    return nullptr;
}

i_gis_driver* gis_service::get_driver(const char* name) {
    if (name == nullptr)
        return nullptr;
    i_gis_driver* driver = get_driver_by_name(name);
    if (driver != nullptr)
        return driver;
    std::string fallback;
    {
        mutex_locker lock(&default_mutex_);
        fallback = *default_driver_;
    }
    return get_driver_by_name(fallback.c_str());
}

i_gis_renderer* gis_service::create_renderer(const char* driver_name, i_gis_viewport* vp, const char* layers,
                                             const char* map_tags) {
    auto_ptr_t<i_gis_driver> driver(get_driver(driver_name));
    return driver ? driver->create_renderer(vp, layers, map_tags) : nullptr;
}

i_image* gis_service::get_image(const char* driver_name, i_gis_viewport* vp, const char* layers,
                                const char* map_tags, bool allow_cache) {
    auto_ptr_t<i_gis_renderer> renderer(create_renderer(driver_name, vp, layers, map_tags));
    return renderer ? renderer->render_image(allow_cache) : nullptr;
}

char* gis_service::get_location_text(const char* driver_name, double lat, double lon, double max_range,
                                     const char* text) {
    if (text == nullptr)
        return nullptr;
    auto_ptr_t<i_gis_driver> driver(get_driver(driver_name));
    if (!driver)
        return nullptr;
    double range = 0.0;
    char* loc = driver->get_location_text(lat, lon, max_range, &range);
    if (loc == nullptr)
        return nullptr;
    if (loc[0] == '\0' || !(range > near_place_range) || text[0] == '\0')
        return loc;
    char* worded = word_distance(range, text, loc);
    if (worded == nullptr)
        return loc;
    std::free(loc);
    return worded;
}

i_object_col* gis_service::get_locations_text(const char* driver_name, double* lats, double* lons,
                                              unsigned point_count, double max_range, const char* text) {
    if (text == nullptr || lats == nullptr || lons == nullptr)
        return nullptr;
    auto_ptr_t<i_gis_driver> driver(get_driver(driver_name));
    if (!driver)
        return nullptr;
    auto_ptr_t<i_object_col> places(driver->get_locations_text(lats, lons, point_count, max_range));
    if (!places)
        return nullptr;
    object_col* result = new (std::nothrow) object_col;
    if (result == nullptr)
        return nullptr;
    result->addref();
    for (unsigned i = 0; i < places->get_count(); ++i) {
        auto_ptr_t<i_object> item(places->get_item_by_pos(i));
        i_named_string* place = kiv_cast_i_named_string(item);
        if (place == nullptr)
            continue;
        const char* value = place->get_value();
        const double dist = parse_leading_double(place->get_name());
        if (value[0] == '\0' || !(dist > near_place_range) || text[0] == '\0') {
            result->add_item(place, false);
            continue;
        }
        char* worded = word_distance(dist, text, value);
        string* line = worded != nullptr ? new (std::nothrow) string : nullptr;
        if (line == nullptr) {
            std::free(worded);
            result->add_item(place, false);
            continue;
        }
        line->assign(worded);
        line->addref();
        auto_ptr_t<string> held(line);
        result->add_item(line, false);
    }
    return result;
}

i_gis_road_lock* gis_service::lock_points_to_road(const char* driver_name, double* lats, double* lons,
                                                  unsigned point_count, double max_range, bool simulate) {
    if (lats == nullptr || lons == nullptr || point_count == 0)
        return nullptr;
    auto_ptr_t<i_gis_driver> driver(get_driver(driver_name));
    return driver ? driver->lock_points_to_road(lats, lons, point_count, max_range, simulate) : nullptr;
}

bool gis_service::lock_point_to_road(const char* driver_name, double lat, double lon, double max_range,
                                     geo_point& pt) {
    auto_ptr_t<i_gis_driver> driver(get_driver(driver_name));
    return driver ? driver->lock_point_to_road(lat, lon, max_range, pt) : false;
}

i_gis_search_result* gis_service::search_cities(const char* driver_name, const char* name, const char* map_tags) {
    auto_ptr_t<i_gis_driver> driver(get_driver(driver_name));
    return driver ? driver->search_cities(name, map_tags) : nullptr;
}

i_gis_search_result* gis_service::search_streets(const char* driver_name, long long city_id, const char* name) {
    auto_ptr_t<i_gis_driver> driver(get_driver(driver_name));
    return driver ? driver->search_streets(city_id, name) : nullptr;
}

i_gis_search_result* gis_service::search_houses(const char* driver_name, long long street_id, const char* name) {
    auto_ptr_t<i_gis_driver> driver(get_driver(driver_name));
    return driver ? driver->search_houses(street_id, name) : nullptr;
}

i_object_col* gis_service::get_maps(const char* driver_name, const char* map_tags) {
    auto_ptr_t<i_gis_driver> driver(get_driver(driver_name));
    return driver ? driver->get_maps(map_tags) : nullptr;
}

const char* gis_service::get_layers(const char* driver_name) {
    // The driver's text lives only as long as the driver, which another
    // thread may remove as soon as our reference goes: hand out a copy
    // the service keeps.
    auto_ptr_t<i_gis_driver> driver(get_driver(driver_name));
    const char* text = driver ? driver->get_layers() : nullptr;
    if (text == nullptr)
        return nullptr;
    mutex_locker lock(&layers_mutex_);
    return keep_text(layer_texts_, text)->c_str();
}

char* gis_service::get_maps_state() {
    std::string name;
    {
        mutex_locker lock(&default_mutex_);
        name = *default_driver_;
    }
    auto_ptr_t<i_gis_driver> driver(get_driver(name.c_str()));
    if (!driver)
        return nullptr;
    const unsigned version = driver->get_render_version();
    mutex_locker lock(&maps_state_mutex_);
    if (version == maps_state_version_ && !maps_state_.empty())
        return strdup(maps_state_.c_str());
    auto_ptr_t<i_object_col> maps(driver->get_maps(""));
    if (!maps)
        return nullptr;
    auto_ptr_t<i_object_col> sorted(kiv_sort_col(maps, true));
    maps.reset();
    if (!sorted)
        return nullptr;
    char* json = build_maps_state_json(sorted);
    if (json != nullptr) {
        maps_state_ = json;
        maps_state_version_ = version;
    }
    return json;
}

}  // namespace kiv
