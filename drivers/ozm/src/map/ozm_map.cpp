// ozm_map.cpp --
//
//     The map object's life and its page store: loading (the file's
//     checks, then the coverage areas and the search keys), page locks
//     that read a page on first use through the map's own descriptor,
//     and the idle release that frees pages nobody held for
//     KIV_OZM_MEM_LOCK_TIME minutes.

#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/log.h>

#include "map/ozm_map.h"

#include <cstdlib>
#include <limits>
#include <new>

namespace kiv {

namespace {

constexpr long long default_lock_minutes = 60;
// Ten years: longer holds are not a setting but a typo.
constexpr long long max_lock_minutes = 10LL * 366 * 24 * 60;

// Returns: the idle time of a page in minutes, from the environment.
long long lock_minutes() {
    std::string text = kiv_get_env("KIV_OZM_MEM_LOCK_TIME");
    long long minutes = std::atoll(text.c_str());
    if (minutes <= 0)
        return default_lock_minutes;
    return minutes < max_lock_minutes ? minutes : max_lock_minutes;
}

}  // namespace

ozm_map::ozm_map() : clock_(kiv_get_curr_time) {}

ozm_map::~ozm_map() {
    release_everything();
}

void ozm_map::release_everything() {
    for (const coverage_area& area : coverage_)
        unlock_page(area.page);
    coverage_.clear();
    uint32_t count = page_slots();
    for (uint32_t i = 0; pages_ && i < count; ++i) {
        page& p = pages_[i];
        if (p.lock_count != 0)
            kiv_trace("Warning: page %u still being used %u times on map '%s' being destroying", i, p.lock_count,
                      file_.header().name);
        std::free(p.data.load());
    }
    pages_.reset();
    for (auto& order : class_order_)
        order.clear();
    for (auto& boxes : class_boxes_)
        boxes.clear();
    city_keys_.clear();
    street_keys_.clear();
    house_keys_.clear();
}

bool ozm_map::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    if (answer_interface(name, "i_gis_map", static_cast<i_gis_map*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool ozm_map::get_envelope(geo_point& min, geo_point& max) {
    get_envelope(min.lat, min.lon, max.lat, max.lon);
    return true;
}

void ozm_map::get_envelope(double& min_lat, double& min_lon, double& max_lat, double& max_lon) const {
    const ozm::map_header& h = file_.header();
    min_lat = h.min_lat;
    min_lon = h.min_lon;
    max_lat = h.max_lat;
    max_lon = h.max_lon;
}

bool ozm_map::load(const char* path, i_string* error_text, uint32_t load_number, bool /*rescan*/) {
    std::string error;
    if (file_.loaded())
        error = "The map is loaded already.";
    if (file_.loaded() || !file_.load(path, error)) {
        if (error_text != nullptr)
            error_text->set_value(error.c_str());
        return false;
    }
    // The page records and the search keys take memory in proportion to
    // counts the file gives; running out fails this map alone.
    try {
        pages_.reset(new page[page_slots()]);
        build_search_keys();
        collect_coverage();
        collect_class_order();
    } catch (const std::bad_alloc&) {
        release_everything();
        if (error_text != nullptr)
            error_text->set_value("Error allocating memory for the map's pages and search keys.");
        return false;
    }
    path_ = path;
    load_number_ = load_number;
    return true;
}

bool ozm_map::is_unchanged() const {
    return file_.same_header(path_.c_str());
}

void ozm_map::build_search_keys() {
    const auto& cities = file_.cities();
    const auto& streets = file_.streets();
    const auto& houses = file_.houses();
    street_keys_.resize(cities.size());
    house_keys_.resize(streets.size());
    // emplace keeps the first record of a key: later duplicates stay in
    // their array but cannot be found by key.
    for (uint32_t c = 0; c < cities.size(); ++c) {
        city_keys_.emplace(file_.text_at(cities[c].key), c);
        for (uint32_t s = cities[c].first_child; s < cities[c].first_child + cities[c].child_count; ++s) {
            street_keys_[c].emplace(file_.text_at(streets[s].key), s);
            for (uint32_t h = streets[s].first_child; h < streets[s].first_child + streets[s].child_count; ++h)
                house_keys_[s].emplace(file_.text_at(houses[h].key), h);
        }
    }
}

void ozm_map::collect_coverage() {
    const ozm::map_header& h = file_.header();
    const float min[2] = {h.min_lat, h.min_lon}, max[2] = {h.max_lat, h.max_lon};
    std::vector<uint32_t> areas;
    file_.index()->search_each(min, max, [&](unsigned feature) {
        const ozm::feature_info& f = file_.features()[feature];
        if (f.code == 0 && !(f.flags & ozm::feature_flag_point))
            areas.push_back(feature);
        return true;
    });
    for (uint32_t feature : areas) {
        const ozm::feature_info& f = file_.features()[feature];
        if (!lock_page(f.page))
            continue;
        ozm::feature_record rec;
        if (!decode_record(f.page, f.offset, f.flags, rec)) {
            unlock_page(f.page);
            continue;
        }
        coverage_.push_back(coverage_area{rec.points, rec.point_count, f.page});
    }
}

void ozm_map::collect_class_order() {
    const float inf = std::numeric_limits<float>::infinity();
    reach_lo_[0] = reach_lo_[1] = inf;
    reach_hi_[0] = reach_hi_[1] = -inf;
    file_.index()->reach(reach_lo_, reach_hi_);
    std::vector<std::array<float, 4>> boxes[3];
    bool nested = file_.index()->each_leaf([&](const ozm::map_index::Rect& r, unsigned feature) {
        unsigned feature_class = (file_.features()[feature].flags & ozm::feature_class_mask) >> 1;
        for (unsigned c = 1; c <= feature_class; ++c) {
            class_order_[c - 1].push_back(feature);
            boxes[c - 1].push_back({r.min[0], r.min[1], r.max[0], r.max[1]});
        }
    });
    for (unsigned c = 0; c < 3; ++c) {
        if (nested && uint64_t(boxes[c].size()) * 8 <= file_.features().size())
            class_boxes_[c] = std::move(boxes[c]);
    }
}

bool ozm_map::lock_page(uint32_t index) {
    if (!pages_ || index >= page_slots() || !kiv_is_running())
        return false;
    page& p = pages_[index];
    mutex_locker hold(&p.guard);
    if (p.data.load() == nullptr) {
        const ozm::page_entry& entry = file_.pages()[index];
        // A page claiming more than the file holds is refused before any
        // memory is taken for it.
        if (entry.offset > file_.file_size() || entry.size > file_.file_size() - entry.offset)
            return false;
        uint8_t* data = static_cast<uint8_t*>(std::malloc(entry.size > 0 ? entry.size : 1));
        if (data == nullptr)
            return false;
        if (!file_.read_page(index, data)) {
            std::free(data);
            return false;
        }
        p.data.store(data);
    }
    p.last_use = now();
    ++p.lock_count;
    return true;
}

bool ozm_map::unlock_page(uint32_t index) {
    if (!pages_ || index >= page_slots())
        return false;
    page& p = pages_[index];
    mutex_locker hold(&p.guard);
    if (p.lock_count > 0)
        --p.lock_count;
    p.last_use = now();
    return true;
}

const uint8_t* ozm_map::page_data(uint32_t index, uint32_t offset) const {
    if (!pages_ || index >= page_slots())
        return nullptr;
    const uint8_t* data = pages_[index].data.load();
    if (data == nullptr || offset >= file_.pages()[index].size)
        return nullptr;
    return data + offset;
}

bool ozm_map::decode_record(uint32_t index, uint32_t offset, uint8_t feature_flags, ozm::feature_record& out) const {
    if (!pages_ || index >= page_slots())
        return false;
    const uint8_t* data = pages_[index].data.load();
    return data != nullptr && ozm::decode_feature_record(data, file_.pages()[index].size, offset, feature_flags,
                                                         file_.resources(), file_.resources_size(), out);
}

unsigned ozm_map::release_idle_pages() {
    if (!pages_)
        return 0;
    uint64_t idle_seconds = uint64_t(lock_minutes()) * 60;
    uint64_t current = now();
    unsigned freed = 0;
    for (uint32_t i = 0; i < page_slots(); ++i) {
        page& p = pages_[i];
        mutex_locker hold(&p.guard);
        uint8_t* data = p.data.load();
        if (p.lock_count == 0 && data != nullptr && uint64_t(p.last_use) + idle_seconds < current) {
            p.data.store(nullptr);
            std::free(data);
            ++freed;
        }
    }
    return freed;
}

uint32_t ozm_map::page_lock_count(uint32_t index) const {
    if (!pages_ || index >= page_slots())
        return 0;
    mutex_locker hold(&pages_[index].guard);
    return pages_[index].lock_count;
}

bool ozm_map::page_loaded(uint32_t index) const {
    return pages_ && index < page_slots() && pages_[index].data.load() != nullptr;
}

namespace ozm {

bool page_set::lock(ozm_map* map, uint32_t page) {
    if (map == nullptr)
        return false;
    if (map == last_map_ && page == last_page_)
        return last_locked_;
    std::pair<ozm_map*, uint32_t> key(map, page);
    bool locked = locked_.count(key) != 0;
    if (!locked && failed_.count(key) == 0) {
        locked = map->lock_page(page);
        (locked ? locked_ : failed_).insert(key);
    }
    last_map_ = map;
    last_page_ = page;
    last_locked_ = locked;
    return locked;
}

void page_set::unlock_all() {
    for (const auto& entry : locked_)
        entry.first->unlock_page(entry.second);
    locked_.clear();
    failed_.clear();
    last_map_ = nullptr;
    last_locked_ = false;
}

}  // namespace ozm

}  // namespace kiv
