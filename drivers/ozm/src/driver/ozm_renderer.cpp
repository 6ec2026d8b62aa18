// ozm_renderer.cpp --
//
//     The renderer object: what create_renderer hands it, its version
//     (a key of the GIS service's image cache) and its lifetime. The
//     drawing itself is in ozm_renderer_draw.cpp.

#include "driver/ozm_renderer.h"

namespace kiv {

ozm_renderer::~ozm_renderer() {
    release_maps();
}

void ozm_renderer::release_maps() {
    for (ozm_map* map : maps_)
        map->release();
    maps_.clear();
}

bool ozm_renderer::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_gis_renderer", static_cast<i_gis_renderer*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool ozm_renderer::init(const std::vector<renderer_layer*>& layers, const std::vector<ozm_map*>& maps,
                        i_gis_viewport* vp, uint8_t level, uint8_t detail_class, const geo_point& box_min,
                        const geo_point& box_max) {
    if (vp != nullptr)
        vp->addref();
    viewport_.reset(vp);
    level_ = level;
    detail_class_ = detail_class;
    layers_ = layers;
    release_maps();
    maps_.assign(maps.begin(), maps.end());
    box_min_ = box_min;
    box_max_ = box_max;
    return true;
}

unsigned ozm_renderer::get_version() {
    uint32_t sum = 0;
    for (ozm_map* map : maps_)
        sum += map->map_version();
    for (renderer_layer* layer : layers_)
        sum += layer->get_version();
    return sum;
}

}  // namespace kiv
