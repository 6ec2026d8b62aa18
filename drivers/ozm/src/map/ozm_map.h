// ozm_map.h --
//
//     One loaded ozm map: its header, feature directory, R-tree, string
//     pool and search index stay in memory while the map is loaded; the
//     geometry lives in pages read on demand, locked while a renderer or
//     a search uses them, and freed by the driver's background task
//     after KIV_OZM_MEM_LOCK_TIME minutes (default 60) without a holder.
//
//     On top of that the map answers what the driver asks of it: the tag
//     filter, whether it covers a view, the features in a box (for the
//     renderer), the candidates around a point (for place search and road
//     snapping, whose per-feature rules live with them), and the street
//     and house listings of its search index.
//
//     Threads: the header, arrays and trees are read-only after load()
//     and may be read from any thread. Page locks, unlocks and the idle
//     release take only the page's own guard, so a page that is locked
//     is never freed.

#ifndef KIV_OZM_OZM_MAP_H
#define KIV_OZM_OZM_MAP_H

#include <kiv/core/i_string.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/gis/i_gis_driver.h>

#include "format/map_file.h"
#include "format/map_record.h"

#include <array>
#include <atomic>
#include <bitset>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace kiv {

class ozm_map;

namespace ozm {

// Texts ordered by byte value, as strcmp orders them.
struct text_less {
    bool operator()(const char* a, const char* b) const { return std::strcmp(a, b) < 0; }
};
// Search keys (borrowed from the string pool) to record indexes.
typedef std::map<const char*, uint32_t, text_less> key_index;

// One feature in a box, as query() hands it to the renderer. The
// geometry stays null until the renderer resolves it under a page lock.
struct feature_entry {
    const uint8_t* geometry;  // the record in its locked page; null until resolved
    const char* resources;    // the map's string pool (null when it has none)
    uint8_t flags;            // feature flags
    uint16_t page;
    uint32_t offset;          // of the record in its page
    ozm_map* map;             // not owned; the caller keeps the map alive
};
// Feature code -> features, codes ascending, equal codes in the order found.
typedef std::multimap<uint8_t, feature_entry> feature_table;
// A set of feature codes, bit c for code c.
typedef std::bitset<256> code_set;

// A street or house found by a listing.
struct listing_entry {
    uint32_t index;        // in the map's street (house) array
    uint32_t load_number;  // of the map
    const char* name;      // borrowed from the map's string pool
    float lat, lon;
};

// A point of a segment, x then y (longitude, latitude for map points).
struct seg_point {
    float x, y;
};

// Where segments a1-a2 and b1-b2 meet. Collinear segments that share an
// end meet there (b1 tried first); otherwise collinear or parallel
// segments do not meet.
// Returns: false when `out` is null or the segments do not meet.
bool segment_intersection(const seg_point& a1, const seg_point& a2, const seg_point& b1,
                          const seg_point& b2, seg_point* out);

// Even-odd test of the point (lat, lon) against a ring of `count`
// (lat, lon) f32 pairs read from unaligned bytes (a record's point list);
// the ring closes from the last point to the first. Fewer than 3 points:
// outside.
bool point_in_ring(double lat, double lon, const uint8_t* points, uint32_t count);

// The box that holds every point within `range_m` metres of (lat, lon):
// 110,000 m per degree of latitude, longitude widened by 1/cos(latitude),
// its half-width at most 180 degrees.
// Returns: false (box unchanged) for a range that is negative or not a
//     finite number, or a point that is not finite.
bool candidate_box(double lat, double lon, double range_m, float min[2], float max[2]);

// The pages one operation has locked, across maps: each (map, page) is
// locked the first time it is asked for and unlocked once by
// unlock_all() or the destructor. A page that failed to lock is not
// tried again by the same set. Ordered by map, then page. One thread.
class page_set {
public:
    page_set() = default;
    page_set(const page_set&) = delete;
    page_set& operator=(const page_set&) = delete;
    ~page_set() { unlock_all(); }

    // Returns: true when the page is locked by this set.
    bool lock(ozm_map* map, uint32_t page);
    void unlock_all();
    size_t size() const { return locked_.size(); }

private:
    std::set<std::pair<ozm_map*, uint32_t>> locked_;  // maps not owned; each page locked once
    std::set<std::pair<ozm_map*, uint32_t>> failed_;  // pages that could not be locked
    // The page asked for last and whether it is locked: features come in
    // page order, so most asks repeat it and need no look-up.
    ozm_map* last_map_ = nullptr;
    uint32_t last_page_ = 0;
    bool last_locked_ = false;
};

// The per-feature step of a candidate search.
class candidate_visitor {
public:
    // Returns: whether the feature is worth its page (asked before the
    //     page is locked).
    virtual bool wants(uint32_t feature, const feature_info& info) = 0;
    // A wanted feature whose record decoded; the record points into a
    // page that the search's page_set keeps locked.
    virtual void visit(uint32_t feature, const feature_info& info, const feature_record& record) = 0;

protected:
    ~candidate_visitor() = default;
};

}  // namespace ozm

class ozm_map : public object, public virtual i_gis_map {
public:
    ozm_map();
    // Unlocks the pages of the coverage areas and frees every page; a
    // page still locked by someone is traced.
    ~ozm_map() override;

    // i_object: answers "i_named_object" and "i_gis_map".
    bool get_interface(const char* name, void** out) override;
    // i_named_object: the header's name; renaming is refused (false).
    const char* get_name() override { return file_.header().name; }
    bool set_name(const char*) override { return false; }

    // The map's own texts and numbers (header fields; zero or empty
    // until a load succeeds).
    const char* get_tags() const { return file_.header().tags; }
    const char* get_copyright() const { return file_.header().copyright; }
    unsigned get_version() const { return file_.header().map_version; }
    // South-west and north-east corners of the map's envelope.
    void get_envelope(double& min_lat, double& min_lon, double& max_lat, double& max_lon) const;

    // i_gis_map: the same header fields for the map's users.
    const char* get_tags() override { return file_.header().tags; }
    const char* get_copyright() override { return file_.header().copyright; }
    unsigned get_version() override { return file_.header().map_version; }
    // Returns: true (the header always holds an envelope once loaded).
    bool get_envelope(geo_point& min, geo_point& max) override;
    uint8_t priority() const { return file_.header().priority; }
    uint32_t map_version() const { return file_.header().map_version; }
    uint32_t flags() const { return file_.header().flags; }
    uint8_t min_level() const { return file_.header().min_level; }
    uint8_t max_level() const { return file_.header().max_level; }
    // The file the map was loaded from; "" before.
    const char* path() const { return path_.c_str(); }
    uint32_t load_number() const { return load_number_; }
    const ozm::map_file& file() const { return file_; }

    // Reads and checks the map file (every page must end inside it),
    // then collects the coverage areas. `rescan`: the load is the
    // background rescan's rather than the start's; both check the same.
    // Returns: true when loaded; else false with the cause in
    //     `error_text` (may be null; never left empty).
    //     Call once per object, on any one thread.
    bool load(const char* path, i_string* error_text, uint32_t load_number, bool rescan);
    // Returns: true while the file at path() still opens and begins
    //     with the header read at load.
    bool is_unchanged() const;

    // Locks page `page`, reading it from the file when it is not loaded.
    // Returns: false for a page out of range, a core that is not running
    //     or a failed read (the page then stays unloaded).
    bool lock_page(uint32_t page);
    // Returns: false for a page out of range. The count never goes
    //     below 0.
    bool unlock_page(uint32_t page);
    // Returns: the bytes at `offset` of a loaded page (the caller holds a
    //     lock), null when the page is not loaded or the offset lies
    //     outside it. Takes no lock.
    const uint8_t* page_data(uint32_t page, uint32_t offset) const;
    // Decodes the record of a feature in a page the caller holds locked.
    // Returns: false when the page is not loaded or the record does not
    //     fit in it (or names text outside the pool).
    bool decode_record(uint32_t page, uint32_t offset, uint8_t feature_flags, ozm::feature_record& out) const;
    // Frees every loaded page that nobody holds and that was last used
    // more than KIV_OZM_MEM_LOCK_TIME minutes ago (60 when unset, not a
    // number or not above 0).
    // Returns: the number of pages freed.
    unsigned release_idle_pages();
    // Returns: the holders of a page (0 out of range).
    uint32_t page_lock_count(uint32_t page) const;
    bool page_loaded(uint32_t page) const;
    // The clock of page use, in seconds (default kiv_get_curr_time).
    // Tests drive their own.
    void set_clock(uint32_t (*now)()) { clock_ = now; }

    // The tag filter: comma-separated tags, each "-tag" (hide maps with
    // it), "+tag" or " tag" (show them, hidden maps too) or "tag" (show
    // them and hide maps matched by no plain tag). The first token that
    // names a tag of the map decides. A map flagged hidden passes only a
    // token that names it.
    bool matches_tags(const char* filter) const;
    // cover false: whether the envelope meets the box (edges touching
    // count). cover true: whether the envelope holds the whole box and,
    // when the map has coverage areas, each corner of the box lies in
    // one of them.
    bool in_view(double min_lat, double min_lon, double max_lat, double max_lon, bool cover) const;
    size_t coverage_count() const { return coverage_.size(); }

    // Adds every feature whose box meets (min_lat, min_lon)-(max_lat,
    // max_lon) and whose detail class is at least `detail_class` (0: all)
    // to `features`, geometry unresolved. Locks nothing.
    // With `codes`, only features whose code is in the set are added.
    // Returns: true when at least one feature was added.
    bool query(const float min[2], const float max[2], unsigned detail_class, ozm::feature_table& features,
               const ozm::code_set* codes = nullptr);
    // Visits the features in candidate_box(lat, lon, range_m) that the
    // visitor wants, each with its record decoded; their pages are
    // locked through `pages` (and stay locked until the set lets them
    // go). A page that cannot be locked hides its features.
    // Returns: false for a range or point candidate_box refuses.
    bool search_candidates(double lat, double lon, double range_m, ozm::page_set& pages,
                           ozm::candidate_visitor& visitor);

    // Search index: cities by key (record indexes into file().cities()).
    const ozm::key_index& city_keys() const { return city_keys_; }
    // Appends the streets of city `city_index` (the houses of street
    // `street_index`) whose keys start with `prefix`, in key order ("" lists
    // all). An index beyond the records read or a null prefix adds nothing.
    void list_streets(uint32_t city_index, const char* prefix, std::vector<ozm::listing_entry>& results) const;
    void list_houses(uint32_t street_index, const char* prefix, std::vector<ozm::listing_entry>& results) const;

private:
    struct page {
        std::atomic<uint8_t*> data{nullptr};  // malloc-ed page bytes; null while not loaded
        uint32_t last_use = 0;                // clock seconds of the last lock or unlock
        uint32_t lock_count = 0;              // holders
        mutable mutex guard;                  // guards the fields above
    };
    struct coverage_area {
        const uint8_t* points;  // (lat, lon) f32 pairs inside a page kept locked
        uint32_t count;
        uint32_t page;
    };

    void collect_coverage();
    // Lists the features of each detail class 1..3 and above in the
    // index's leaf order, for views that hold the whole index.
    void collect_class_order();
    void build_search_keys();
    // Unlocks the coverage pages and frees the pages and the search keys
    // (the destructor, and a load that ran out of memory).
    void release_everything();
    // Returns: the number of page records: the pages a feature can name.
    uint32_t page_slots() const { return uint32_t(file_.pages().size()); }
    void list_children(const ozm::key_index& keys, const char* prefix, bool streets,
                       std::vector<ozm::listing_entry>& results) const;
    uint32_t now() const { return clock_(); }

    ozm::map_file file_;
    std::string path_;           // set by a successful load
    uint32_t load_number_ = 0;   // given by the driver at load
    std::unique_ptr<page[]> pages_;  // page_slots() records; null before load
    std::vector<coverage_area> coverage_;
    // class_order_[c - 1]: the features of detail class c or more, in the
    // order a search visits them; reach_lo_/reach_hi_: a query box
    // spanning both visits every leaf (see RTree::reach), and then these
    // lists stand for the search.
    std::vector<uint32_t> class_order_[3];
    float reach_lo_[2] = {0, 0}, reach_hi_[2] = {0, 0};
    // class_boxes_[c - 1]: the index rectangles (min lat, min lon, max
    // lat, max lon) of class_order_[c - 1], kept when that class holds at
    // most an eighth of the map and the index nests properly: a scan of
    // them then finds what a search finds, in its order, for far fewer
    // steps than the search's walk over the leaves of every class.
    std::vector<std::array<float, 4>> class_boxes_[3];
    ozm::key_index city_keys_;
    std::vector<ozm::key_index> street_keys_;  // per city: street key -> street index
    std::vector<ozm::key_index> house_keys_;   // per street: house key -> house index
    uint32_t (*clock_)();                      // page-use clock; never null
};

}  // namespace kiv

#endif
