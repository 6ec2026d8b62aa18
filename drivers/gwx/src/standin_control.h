// standin_control.h --
//
//     The stand-in map control: loads text charts (chart_file.h), answers
//     the driver's queries from them and draws snapshots of them. Every
//     operation runs under the control's own lock, since searches come
//     from other threads than rendering. Record sets it hands out are
//     copies, so they stay valid while maps are loaded and unloaded.
//
//     Object ids are the map's handle in the high 32 bits and the id in
//     the file in the low ones, so two charts may use the same ids.

#ifndef KIV_GWX_STANDIN_CONTROL_H
#define KIV_GWX_STANDIN_CONTROL_H

#include <kiv/core/mutex.h>
#include "gwx_control.h"

#include "chart_file.h"

#include <memory>
#include <string>
#include <vector>

namespace kiv {

// One field of a record: its text, and the number it stands for.
struct standin_field {
    std::string text;  // UTF-8
    double value = 0;
};

struct standin_record {
    std::vector<standin_field> fields;
    std::shared_ptr<std::vector<standin_record>> layers;  // child 3 of a map record; null elsewhere
    long handle = 0;                                      // the map a layer record belongs to
    int layer = -1;                                       // index of a layer record's layer; -1 elsewhere
};

class standin_records : public gwx_record_set {
public:
    explicit standin_records(std::vector<standin_record> rows) : rows_(std::move(rows)) {}

    long move_first() override;
    long move_next() override;
    bool get_field_text(int index, std::u16string& text) override;
    bool get_field_value(int index, double& value) override;
    bool get_child(int index, std::unique_ptr<gwx_record_set>& child) override;

    // Returns: the record under the cursor, null when there is none.
    const standin_record* current() const;

private:
    std::vector<standin_record> rows_;
    size_t pos_ = 0;  // cursor; rows_.size() means none
};

class standin_control : public gwx_control {
public:
    standin_control() = default;
    ~standin_control() override = default;

    bool resize(unsigned width, unsigned height) override;
    void close() override;
    bool open_workspace(const std::u16string& text) override;
    bool set_scale(double scale) override;
    bool set_center(double lat, double lon) override;
    bool query(const std::u16string& text, std::unique_ptr<gwx_record_set>& records) override;
    bool query_area(double lat, double lon, double half_height, double half_width,
                    std::unique_ptr<gwx_record_set>& records) override;
    bool get_object(long long id, std::unique_ptr<gwx_object>& object) override;
    bool get_map_bounds(long handle, double& min_lat, double& min_lon, double& max_lat,
                        double& max_lon) override;
    bool save_snapshot(const std::u16string& file, double north, double west, double south, double east,
                       int width, int height, int flags) override;
    bool get_maps(std::unique_ptr<gwx_record_set>& records) override;
    bool set_layer_state(gwx_record_set& layer, bool visible, const std::u16string& mode) override;
    bool set_tool(long value) override;
    bool set_auto_redraw(long value) override;
    bool load_map(const std::u16string& path, const std::u16string& text, long& handle, long& code) override;
    bool unload_map(const std::u16string& path) override;
    bool get_place_name(double lat, double lon, std::u16string& name) override;

private:
    struct loaded_chart {
        long handle = 0;
        std::string path;  // UTF-8, as given to load_map
        std::string name;  // the file name without its extension
        chart data;
        std::vector<std::string> lower_names;  // the objects' names in lower case, for queries
    };

    // Appends an object record (id, map name, class, name).
    static void add_object_record(const loaded_chart& map, const chart_object& obj,
                                  std::vector<standin_record>& rows);

    mutex lock_;                      // serialises every operation
    bool closed_ = false;             // true after close(): every call fails
    std::vector<loaded_chart> maps_;  // in load order
    long next_handle_ = 1;            // handles are never reused
    unsigned width_ = 0, height_ = 0; // the drawing area given by resize
    double scale_ = 0;                // the view's scale; 0 until set
    double center_lat_ = 0, center_lon_ = 0;
};

// Draws the visible layers of `maps` into a 24-bit bottom-up BMP file
// image (headers included) of width × height pixels showing the area
// north/west/south/east.
// Returns: false for a size over the cap or an empty area.
bool draw_chart_snapshot(const std::vector<const chart*>& maps, double north, double west, double south,
                         double east, unsigned width, unsigned height, std::vector<unsigned char>& bmp);

}  // namespace kiv

#endif
