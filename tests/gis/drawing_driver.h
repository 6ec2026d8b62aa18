// drawing_driver.h --
//
//     A map driver for the tests and the benchmark of the rendered-image
//     cache: its pictures are a pure function of the viewport (size,
//     scale and corners), so a picture read back from the cache can be
//     compared with what rendering would give, and it counts its
//     renderings, so a test sees whether the cache answered.

#ifndef KIV_TESTS_GIS_DRAWING_DRIVER_H
#define KIV_TESTS_GIS_DRAWING_DRIVER_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include <kiv/gis/i_gis_driver.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

namespace kiv_test {

// The picture the driver draws for `vp`: opaque RGBA whose colours mix
// the pixel position with the view's scale and north-west corner.
// Returns: a new image with one reference, or null when the view
//     cannot be computed.
inline kiv::i_image* draw_view(kiv::i_gis_viewport* vp) {
    kiv::view_point size{0, 0};
    kiv::geo_point nw{0, 0};
    if (!vp->get_viewport_size(size) || !vp->dp_to_lc(0, 0, nw) || size.x <= 0 || size.y <= 0)
        return nullptr;
    const uint32_t seed = vp->get_scale() ^ static_cast<uint32_t>(static_cast<int64_t>(nw.lat * 1e6)) ^
                          (static_cast<uint32_t>(static_cast<int64_t>(nw.lon * 1e6)) << 8);
    const size_t w = static_cast<size_t>(size.x), h = static_cast<size_t>(size.y);
    std::vector<uint8_t> rgba(w * h * 4);
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            uint8_t* px = &rgba[(y * w + x) * 4];
            px[0] = static_cast<uint8_t>(x + seed);
            px[1] = static_cast<uint8_t>(y + (seed >> 8));
            px[2] = static_cast<uint8_t>((x ^ y) + (seed >> 16));
            px[3] = 255;
        }
    }
    return kiv_image_create_from_data(rgba.data(), static_cast<unsigned>(rgba.size()), size.x, size.y, 6);
}

// Returns: whether two images have the same size and pixels.
inline bool same_pixels(kiv::i_image* a, kiv::i_image* b) {
    return a != nullptr && b != nullptr && a->get_width() == b->get_width() && a->get_height() == b->get_height() &&
           a->get_data_size() == b->get_data_size() &&
           std::memcmp(a->get_data(), b->get_data(), a->get_data_size()) == 0;
}

class drawing_driver;

class drawing_renderer : public kiv::object, public kiv::i_gis_renderer {
public:
    drawing_renderer(kiv::i_gis_viewport* vp, unsigned version, std::atomic<int>& renders)
        : vp_(vp), version_(version), renders_(renders) {
        vp_->addref();
    }
    bool get_interface(const char* name, void** out) override {
        if (kiv::answer_interface(name, "i_gis_renderer", static_cast<kiv::i_gis_renderer*>(this), out))
            return true;
        return object::get_interface(name, out);
    }
    unsigned get_version() override { return version_; }
    kiv::i_image* render_image(bool) override {
        ++renders_;
        return draw_view(vp_);
    }

private:
    auto_ptr_t<kiv::i_gis_viewport> vp_;  // the view drawn; one reference
    unsigned version_;
    std::atomic<int>& renders_;  // the driver's counter, which outlives its renderers
};

class drawing_driver : public kiv::object, public kiv::i_named_object_impl, public virtual kiv::i_gis_driver {
public:
    explicit drawing_driver(const char* name, unsigned version) : version_(version) { set_name(name); }

    bool get_interface(const char* name, void** out) override {
        if (kiv::answer_interface(name, "i_gis_driver", static_cast<kiv::i_gis_driver*>(this), out))
            return true;
        if (kiv::answer_interface(name, "i_named_object", static_cast<kiv::i_named_object*>(this), out))
            return true;
        return object::get_interface(name, out);
    }
    kiv::i_gis_renderer* create_renderer(kiv::i_gis_viewport* vp, const char*, const char*) override {
        ++renderers;
        if (vp == nullptr)
            return nullptr;
        drawing_renderer* r = new drawing_renderer(vp, version_, renders);
        r->addref();
        return r;
    }
    char* get_location_text(double, double, double, double*) override { return nullptr; }
    kiv::i_object_col* get_locations_text(double*, double*, unsigned, double) override { return nullptr; }
    kiv::i_gis_road_lock* lock_points_to_road(double*, double*, unsigned, double, bool) override { return nullptr; }
    bool lock_point_to_road(double, double, double, kiv::geo_point&) override { return false; }
    kiv::i_gis_search_result* search_cities(const char*, const char*) override { return nullptr; }
    kiv::i_gis_search_result* search_streets(long long, const char*) override { return nullptr; }
    kiv::i_gis_search_result* search_houses(long long, const char*) override { return nullptr; }
    unsigned get_render_version() override { return version_; }
    kiv::i_object_col* get_maps(const char*) override { return nullptr; }
    const char* get_layers() override { return "roads"; }

    std::atomic<int> renderers{0};  // create_renderer calls
    std::atomic<int> renders{0};    // render_image calls

private:
    unsigned version_;  // renderer and render version
};

// A new driver with one reference held by the returned pointer.
inline auto_ptr_t<drawing_driver> make_drawing_driver(const char* name, unsigned version) {
    drawing_driver* d = new drawing_driver(name, version);
    d->addref();
    return auto_ptr_t<drawing_driver>(d);
}

}  // namespace kiv_test

#endif
