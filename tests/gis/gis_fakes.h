// gis_fakes.h --
//
//     Stand-in map drivers and maps for the tests of "svc_gis": each
//     records what it was asked and answers with values the test chose,
//     so a test sees which driver a request reached and with what.

#ifndef KIV_TESTS_GIS_GIS_FAKES_H
#define KIV_TESTS_GIS_GIS_FAKES_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>
#include <kiv/gis/gis_road_lock.h>
#include <kiv/gis/i_gis_driver.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace kiv_test {

class fake_map : public kiv::object, public kiv::i_named_object_impl, public virtual kiv::i_gis_map {
public:
    fake_map(const char* name, const char* tags, const char* copyright, unsigned version, bool has_envelope,
             kiv::geo_point min = {0, 0}, kiv::geo_point max = {0, 0})
        : tags_(tags), copyright_(copyright), version_(version), has_envelope_(has_envelope), min_(min), max_(max) {
        set_name(name);
    }
    bool get_interface(const char* name, void** out) override {
        if (kiv::answer_interface(name, "i_gis_map", static_cast<kiv::i_gis_map*>(this), out))
            return true;
        if (kiv::answer_interface(name, "i_named_object", static_cast<kiv::i_named_object*>(this), out))
            return true;
        return object::get_interface(name, out);
    }
    const char* get_tags() override { return tags_.c_str(); }
    const char* get_copyright() override { return copyright_.c_str(); }
    unsigned get_version() override { return version_; }
    bool get_envelope(kiv::geo_point& min, kiv::geo_point& max) override {
        if (!has_envelope_)
            return false;
        min = min_;
        max = max_;
        return true;
    }

private:
    std::string tags_, copyright_;
    unsigned version_;
    bool has_envelope_;
    kiv::geo_point min_, max_;
};

class fake_renderer : public kiv::object, public kiv::i_gis_renderer {
public:
    bool get_interface(const char* name, void** out) override {
        if (kiv::answer_interface(name, "i_gis_renderer", static_cast<kiv::i_gis_renderer*>(this), out))
            return true;
        return object::get_interface(name, out);
    }
    unsigned get_version() override { return 7; }
    kiv::i_image* render_image(bool allow_cache) override {
        last_allow_cache = allow_cache;
        ++renders;
        return nullptr;
    }
    bool last_allow_cache = false;
    int renders = 0;
};

class fake_driver : public kiv::object, public kiv::i_named_object_impl, public virtual kiv::i_gis_driver {
public:
    explicit fake_driver(const char* name) { set_name(name); }

    bool get_interface(const char* name, void** out) override {
        if (kiv::answer_interface(name, "i_gis_driver", static_cast<kiv::i_gis_driver*>(this), out))
            return true;
        if (kiv::answer_interface(name, "i_named_object", static_cast<kiv::i_named_object*>(this), out))
            return true;
        return object::get_interface(name, out);
    }

    kiv::i_gis_renderer* create_renderer(kiv::i_gis_viewport* vp, const char* layers, const char* map_tags) override {
        note("create_renderer", layers, map_tags);
        last_vp = vp;
        renderer->addref();
        return renderer.get();
    }
    char* get_location_text(double lat, double lon, double max_range, double* range) override {
        note("get_location_text");
        last_lat = lat;
        last_lon = lon;
        last_range = max_range;
        if (range != nullptr)
            *range = place_range;
        return place == nullptr ? nullptr : strdup(place);
    }
    kiv::i_object_col* get_locations_text(double* lats, double*, unsigned point_count, double max_range) override {
        note("get_locations_text");
        last_lat = lats[0];
        last_count = point_count;
        last_range = max_range;
        if (!places)
            return nullptr;
        places->addref();
        return places.get();
    }
    kiv::i_gis_road_lock* lock_points_to_road(double* lats, double* lons, unsigned point_count, double max_range,
                                              bool simulate) override {
        note("lock_points_to_road");
        kiv::gis_road_lock* lock = new kiv::gis_road_lock;
        for (unsigned i = 0; i < point_count; ++i)
            lock->points.push_back(kiv_gis_create_road_point(lats[i], lons[i], simulate ? 1 : 0));
        last_range = max_range;
        lock->addref();
        return lock;
    }
    bool lock_point_to_road(double lat, double lon, double max_range, kiv::geo_point& pt) override {
        note("lock_point_to_road");
        last_range = max_range;
        pt.lat = lat + 1;
        pt.lon = lon + 1;
        return true;
    }
    kiv::i_gis_search_result* search_cities(const char* name, const char* map_tags) override {
        note("search_cities", name, map_tags);
        return nullptr;
    }
    kiv::i_gis_search_result* search_streets(long long city_id, const char* name) override {
        note("search_streets", name);
        last_id = city_id;
        return nullptr;
    }
    kiv::i_gis_search_result* search_houses(long long street_id, const char* name) override {
        note("search_houses", name);
        last_id = street_id;
        return nullptr;
    }
    unsigned get_render_version() override { return render_version.load(); }
    kiv::i_object_col* get_maps(const char* map_tags) override {
        note("get_maps", map_tags);
        ++maps_calls;
        if (!maps)
            return nullptr;
        return maps->copy();
    }
    const char* get_layers() override {
        note("get_layers");
        return layers.c_str();
    }

    // Appends a map to what get_maps gives.
    void add_map(fake_map* map) {
        map->addref();
        auto_ptr_t<fake_map> held(map);
        maps->add_item(map, false);
    }

    auto_ptr_t<fake_renderer> renderer{new_renderer()};
    auto_ptr_t<kiv::object_col> maps{new_col()};       // null: get_maps fails
    auto_ptr_t<kiv::object_col> places;                // what get_locations_text gives
    std::string layers = "roads,water";                // what get_layers lends; goes with the driver
    const char* place = "Town";                        // get_location_text's place; null: none
    double place_range = 0;
    std::atomic<unsigned> render_version{1};
    std::atomic<int> maps_calls{0};
    // The operations called, in order, each with its text arguments.
    std::vector<std::string> calls;
    kiv::i_gis_viewport* last_vp = nullptr;
    double last_lat = 0, last_lon = 0, last_range = 0;
    unsigned last_count = 0;
    long long last_id = 0;

private:
    static fake_renderer* new_renderer() {
        fake_renderer* r = new fake_renderer;
        r->addref();
        return r;
    }
    static kiv::object_col* new_col() {
        kiv::object_col* c = new kiv::object_col;
        c->addref();
        return c;
    }
    void note(const char* op, const char* a = nullptr, const char* b = nullptr) {
        std::string line = op;
        for (const char* arg : {a, b})
            if (arg != nullptr)
                line += std::string(" ") + arg;
        calls.push_back(line);
    }
};

// A new fake with one reference held by the returned pointer.
inline auto_ptr_t<fake_driver> make_driver(const char* name) {
    fake_driver* d = new fake_driver(name);
    d->addref();
    return auto_ptr_t<fake_driver>(d);
}

}  // namespace kiv_test

#endif
