// ozm_driver_renderers.cpp --
//
//     The driver's drawing policy: for one viewport, which maps and which
//     render layers take part in the image, at which render level and
//     detail class. Maps whose level band holds the view's level are
//     preferred; without them the coarser maps of the nearest band below
//     stand in, and without those every finer map. A covering map that
//     holds the whole view hides the maps of higher priority stacked
//     before it.

#include <kiv/core/auto_string.h>

#include "driver/ozm_driver.h"
#include "driver/ozm_renderer.h"

#include <cstring>
#include <new>

namespace kiv {

namespace {

// Pixels added around the view on every side, so features just outside
// still draw their strokes and labels into the edge.
constexpr int view_margin = 64;

void release_all(std::vector<ozm_map*>& maps) {
    for (ozm_map* map : maps)
        map->release();
    maps.clear();
}

// Returns: whether `name` is one of the comma-separated `names` (exact
//     bytes; runs of commas skipped; a token of 255 bytes or more ends the
//     list).
bool names_layer(const char* names, const std::string& name) {
    string_tokenizer tokens(names, ',');
    char token[255];
    while (tokens.next(token, sizeof token, true)) {
        if (name == token)
            return true;
    }
    return false;
}

}  // namespace

unsigned char level_from_scale(unsigned scale) {
    uint64_t limit = 1500;
    for (unsigned char level = 0; level < 16; ++level, limit *= 2) {
        if (scale <= limit)
            return level;
    }
    return 16;
}

unsigned char detail_class_from_scale(unsigned scale) {
    if (scale <= 50000)
        return 0;
    if (scale <= 2000000)
        return 1;
    return 2;
}

i_gis_renderer* ozm_driver::create_renderer(i_gis_viewport* vp, const char* layers, const char* map_tags) {
    if (vp == nullptr || layers == nullptr || map_tags == nullptr)
        return nullptr;
    view_point size{0, 0};
    if (!vp->get_viewport_size(size) || size.x <= 0 || size.y <= 0)
        return nullptr;
    geo_point box_min{0, 0};
    geo_point box_max{0, 0};
    if (!vp->dp_to_lc(-view_margin, size.y + view_margin, box_min) ||
        !vp->dp_to_lc(size.x + view_margin, -view_margin, box_max))
        return nullptr;
    unsigned scale = vp->get_scale();
    uint8_t level = level_from_scale(scale);
    uint8_t detail_class = detail_class_from_scale(scale);

    std::vector<ozm_map*> selected;  // one reference each, highest priority first
    std::vector<ozm_map*> fallback;  // maps of a finer band, same order
    {
        mutex_locker lock(&guard_);
        // `below`: the selected maps lie below the level (their band ends
        // under it), all with max_level `band`. A flag of its own, so a
        // band ending at level 0 is not mistaken for in-band maps.
        bool below = false;
        uint8_t band = 0;
        for (auto it = maps_.rbegin(); it != maps_.rend(); ++it) {
            ozm_map* map = it->second;
            if ((map->flags() & 0x08) != 0)
                continue;
            if (!map->in_view(box_min.lat, box_min.lon, box_max.lat, box_max.lon, false))
                continue;
            if (!map->matches_tags(map_tags))
                continue;
            if (map->min_level() > level) {
                map->addref();
                fallback.push_back(map);
                continue;
            }
            if (map->max_level() >= level) {
                if (below)
                    release_all(selected);
                below = false;
                band = 0;
            } else {
                if (!selected.empty() && (!below || map->max_level() < band))
                    continue;
                if (map->max_level() > band)
                    release_all(selected);
                below = true;
                band = map->max_level();
            }
            map->addref();
            selected.push_back(map);
        }
    }
    if (selected.empty())
        selected.swap(fallback);

    // The covering map nearest the end (lowest priority) that holds the
    // whole view hides every map of higher priority than its own run of
    // equal priorities.
    for (size_t i = selected.size(); i-- > 0;) {
        ozm_map* map = selected[i];
        if ((map->flags() & 0x01) == 0 ||
            !map->in_view(box_min.lat, box_min.lon, box_max.lat, box_max.lon, true))
            continue;
        size_t first = i;
        while (first > 0 && selected[first - 1]->priority() == map->priority())
            --first;
        for (size_t k = 0; k < first; ++k)
            selected[k]->release();
        selected.erase(selected.begin(), selected.begin() + long(first));
        break;
    }
    release_all(fallback);

    std::vector<renderer_layer*> chosen;
    bool every_layer = *layers == '\0';
    for (const auto& entry : layers_) {
        renderer_layer* layer = entry.second;
        if (!layer->is_visible(level))
            continue;
        if (every_layer || names_layer(layers, layer->get_name()))
            chosen.push_back(layer);
    }
    if (chosen.empty()) {
        release_all(selected);
        return nullptr;
    }

    ozm_renderer* renderer = new (std::nothrow) ozm_renderer;
    if (renderer == nullptr) {
        release_all(selected);
        return nullptr;
    }
    renderer->addref();
    renderer->init(chosen, selected, vp, level, detail_class, box_min, box_max);
    renderer->share_tools(render_tools_);
    return renderer;
}

}  // namespace kiv
