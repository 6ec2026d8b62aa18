// location_text.cpp --
//
//     The place rule (the per-feature step of a place search) and the
//     location texts built on it. The place name is read through the
//     record decoder, which checks it against the page and the string
//     pool; a line or area whose record does not carry the name field its
//     flags call for names nothing and is passed over.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/c_locale.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>
#include <kiv/gis/geodesic.h>

#include "map/ozm_map.h"
#include "search/location_text.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

namespace kiv {
namespace ozm {

namespace {

// Returns: the place name of a decoded record, null when it has none.
const char* place_name_of(const feature_info& info, const feature_record& rec) {
    if ((info.flags & feature_flag_point) != 0)
        return rec.place_name;
    // A line keeps its first name behind record flag 0x10 and a second
    // behind 0x20; the place name is the first unless a label precedes it.
    const uint8_t field = (info.flags & feature_flag_labelled) != 0 ? record_flag_place_name : record_flag_name;
    return (rec.record_flags & field) != 0 ? rec.place_name : nullptr;
}

// Finds, over the places a map search visits, the one nearest to the
// point; `best` and `text` are shared by the maps of one search.
class place_visitor : public candidate_visitor {
public:
    place_visitor(double lat, double lon, double& best, std::string& text, bool& found)
        : lat_(lat), lon_(lon), best_(best), text_(text), found_(found) {}

    bool wants(uint32_t, const feature_info& info) override { return (info.flags & feature_flag_place) != 0; }

    void visit(uint32_t, const feature_info& info, const feature_record& rec) override {
        const char* name = place_name_of(info, rec);
        if (name == nullptr)
            return;
        double d;
        if ((info.flags & feature_flag_point) != 0) {
            d = kiv_calc_distance(lat_, lon_, rec.lat, rec.lon);
            if (d == -1)
                return;
        } else {
            if (rec.point_count < 2)
                return;
            d = std::numeric_limits<double>::infinity();
            float lat1, lon1, lat2, lon2;
            rec.point(0, lat1, lon1);
            for (uint32_t s = 0; s + 1 < rec.point_count; ++s, lat1 = lat2, lon1 = lon2) {
                rec.point(s + 1, lat2, lon2);
                double ds = kiv_geodistance_to_line(lat1, lon1, lat2, lon2, lat_, lon_, true);
                if (ds >= 0 && ds < d)
                    d = ds;
            }
        }
        if (!(d < best_))
            return;
        best_ = d;
        text_ = name;
        found_ = true;
    }

private:
    double lat_, lon_;
    double& best_;
    std::string& text_;
    bool& found_;
};

}  // namespace

char* location_text(const map_list& maps, double lat, double lon, double max_range, double* range) {
    if (range == nullptr)
        return nullptr;
    try {
        float min[2], max[2];
        if (!candidate_box(lat, lon, max_range, min, max))
            return nullptr;
        map_list chosen;
        for (ozm_map* map : maps) {
            if ((map->flags() & map_flag_no_location) == 0 && map->in_view(min[0], min[1], max[0], max[1], false))
                chosen.add(map);
        }
        double best = max_range;
        std::string text;
        bool found = false;
        place_visitor visitor(lat, lon, best, text, found);
        for (ozm_map* map : chosen) {
            page_set pages;  // a copy of the name is kept: the pages go when the map is done
            map->search_candidates(lat, lon, best, pages, visitor);
            if (found && (map->flags() & map_flag_covering) != 0 && map->in_view(lat, lon, lat, lon, true))
                break;
        }
        if (!found)
            return nullptr;
        char* out = static_cast<char*>(std::malloc(text.size() + 1));
        if (out == nullptr)
            return nullptr;
        std::memcpy(out, text.c_str(), text.size() + 1);
        *range = best;
        return out;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

i_object_col* locations_text(const map_list& maps, const double* lats, const double* lons, unsigned point_count,
                             double max_range) {
    if (lats == nullptr || lons == nullptr)
        return nullptr;
    try {
        auto_ptr_t<object_col> col(new object_col);
        col->addref();
        for (unsigned i = 0; i < point_count; ++i) {
            double range = 0.0;
            char* text = location_text(maps, lats[i], lons[i], max_range, &range);
            auto_ptr_t<named_string> item(new named_string);
            item->addref();
            if (text != nullptr) {
                item->assign(text);
                char name[64];
                c_snprintf(name, sizeof name, "%f", range);
                item->set_name(name);
            }
            col->add_item(item.get(), false);
        }
        return col.detach();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace ozm
}  // namespace kiv
