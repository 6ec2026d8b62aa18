// ozm_map_fuzz.cpp --
//
//     Loads any bytes as an ozm map file (through an in-memory file, so
//     the loader's own descriptor reads run), then uses what loaded the
//     way the driver will: every page read and every feature's record
//     decoded with its names, the search index's texts, and the R-tree
//     searched over the map's envelope and over everything. A loaded map
//     must never hand out a feature number outside its directory or a
//     text outside its pool. The same bytes then load as a map object
//     (the framework runs, so pages lock), which answers a view test,
//     a box query resolved under page locks, a candidate search and the
//     street listings, and frees its pages again. Seeds are maps made by
//     the writer.

#include <kiv/core/i_core.h>
#include <kiv/core/log.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "format/map_file.h"
#include "format/map_record.h"
#include "fuzz_support.h"
#include "map/ozm_map.h"

namespace {

// Pages larger than this are not read, so one input cannot make a run
// allocate gigabytes (the file itself is small; a page claiming more
// only fails its read).
constexpr uint32_t max_page = 1u << 20;

void touch_text(const char* text) {
    if (text != nullptr && std::strlen(text) == size_t(-1))
        abort();
}

// Wants every feature and reads what it is shown.
struct reader : kiv::ozm::candidate_visitor {
    bool wants(uint32_t, const kiv::ozm::feature_info&) override { return true; }
    void visit(uint32_t, const kiv::ozm::feature_info&, const kiv::ozm::feature_record& rec) override {
        touch_text(rec.label);
        touch_text(rec.place_name);
        float lat, lon;
        if (rec.point_count > 0)
            rec.point(rec.point_count - 1, lat, lon);
    }
};

void use_map_object(int fd, const kiv::ozm::map_header& h) {
    kiv::ozm_map* map = new kiv::ozm_map;
    map->addref();
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (map->load(path.c_str(), nullptr, 1, false)) {
        map->in_view(h.min_lat, h.min_lon, h.max_lat, h.max_lon, true);
        map->matches_tags("-a,+b,c");
        const float min[2] = {h.min_lat, h.min_lon}, max[2] = {h.max_lat, h.max_lon};
        kiv::ozm::feature_table table;
        map->query(min, max, 0, table);
        kiv::ozm::page_set pages;
        unsigned resolved = 0;
        for (const auto& entry : table) {
            if (resolved++ > 256)
                break;
            if (entry.second.page < h.page_count && map->file().pages()[entry.second.page].size <= max_page &&
                pages.lock(map, entry.second.page)) {
                kiv::ozm::feature_record rec;
                if (map->decode_record(entry.second.page, entry.second.offset, entry.second.flags, rec))
                    touch_text(rec.label);
            }
        }
        reader visitor;
        map->search_candidates(double(h.min_lat), double(h.min_lon), 5000, pages, visitor);
        pages.unlock_all();
        std::vector<kiv::ozm::listing_entry> found;
        map->list_streets(0, "", found);
        if (!found.empty())
            map->list_houses(found[0].index, "", found);
        for (const auto& e : found)
            touch_text(e.name);
        map->set_clock([]() -> uint32_t { return 0xFFFFFFFFu; });
        map->release_idle_pages();
    }
    map->release();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kiv_enable_trace(false);
    private_root();
    if (!kiv_initialize())
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kiv::ozm::map_file map;
    std::string error;
    int fd = memory_file(data, size);
    int object_fd = dup(fd);
    bool loaded = map.load_fd(fd, error);
    if (loaded)
        use_map_object(object_fd, map.header());
    else if (error.empty())
        abort();  // a refused map always says why
    close(object_fd);
    if (!loaded)
        return 0;
    const kiv::ozm::map_header& h = map.header();
    if (map.features().size() != h.feature_count || map.pages().size() != h.page_count)
        abort();
    for (const kiv::ozm::page_entry& p : map.pages()) {
        if (p.offset > size || p.size > size - p.offset)
            abort();  // a loaded map is whole: every page lies inside the file
    }

    std::vector<uint8_t> page;
    for (uint32_t p = 0; p < h.page_count && p < 64; ++p) {
        uint32_t page_size = map.pages()[p].size;
        if (page_size > max_page)
            continue;
        page.assign(page_size, 0);
        if (!map.read_page(p, page.data()))
            continue;
        for (const kiv::ozm::feature_info& f : map.features()) {
            if (f.page != p)
                continue;
            kiv::ozm::feature_record rec;
            if (!kiv::ozm::decode_feature_record(page.data(), page_size, f.offset, f.flags, map.resources(),
                                                 map.resources_size(), rec))
                continue;
            touch_text(rec.label);
            touch_text(rec.place_name);
            float lat, lon, sum = 0;
            for (uint32_t i = 0; i < rec.point_count; ++i) {
                rec.point(i, lat, lon);
                sum += lat + lon;
            }
            (void)sum;
        }
    }

    for (const auto* places : {&map.cities(), &map.streets()})
        for (const kiv::ozm::search_place& s : *places) {
            touch_text(map.text_at(s.name));
            touch_text(map.text_at(s.key));
        }
    for (const kiv::ozm::search_house& s : map.houses()) {
        touch_text(map.text_at(s.name));
        touch_text(map.text_at(s.key));
    }

    auto in_directory = [&](unsigned feature) {
        if (feature >= h.feature_count)
            abort();
        return true;
    };
    const float env_min[2] = {h.min_lat, h.min_lon}, env_max[2] = {h.max_lat, h.max_lon};
    map.index()->search_each(env_min, env_max, in_directory);
    const float all_min[2] = {-1e30f, -1e30f}, all_max[2] = {1e30f, 1e30f};
    map.index()->search_each(all_min, all_max, in_directory);
    return 0;
}
