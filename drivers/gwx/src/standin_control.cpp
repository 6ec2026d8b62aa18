// standin_control.cpp --
//
//     The stand-in control's operations: loading and unloading charts,
//     the record sets of maps, layers and found objects, positions of
//     objects, place names, and the snapshot file. Drawing itself is in
//     standin_snapshot.cpp.

#include "standin_control.h"

#include "gwx_text.h"

#include <kiv/core/c_locale.h>
#include <kiv/core/file_writer.h>
#include <kiv/core/text_checks.h>
#include <kiv/core/log.h>

#include <cmath>
#include <cstdio>
#include <new>

namespace kiv {

gwx_record_set::~gwx_record_set() = default;
gwx_object::~gwx_object() = default;
gwx_control::~gwx_control() = default;

namespace {

// The position of one object, as get_object gives it.
class standin_object : public gwx_object {
public:
    explicit standin_object(std::vector<double> values) : values_(std::move(values)) {}
    bool get_coords(std::vector<double>& values) override {
        values = values_;
        return true;
    }

private:
    std::vector<double> values_;
};

standin_field text_field(const std::string& text) {
    standin_field f;
    f.text = text;
    return f;
}

standin_field number_field(double value) {
    standin_field f;
    char buf[32];
    c_snprintf(buf, sizeof buf, "%.0f", value);
    f.text = buf;
    f.value = value;
    return f;
}

// A query "{code,code,...}name" taken apart.
struct parsed_query {
    std::vector<std::string> codes;  // empty: any class
    std::string name;                // lower case
};

parsed_query parse_query(const std::string& text) {
    parsed_query q;
    std::string rest = text;
    if (!rest.empty() && rest[0] == '{') {
        size_t close = rest.find('}');
        if (close != std::string::npos) {
            std::string list = rest.substr(1, close - 1);
            size_t start = 0;
            while (start <= list.size()) {
                size_t comma = list.find(',', start);
                if (comma == std::string::npos)
                    comma = list.size();
                std::string code = list.substr(start, comma - start);
                if (!code.empty())
                    q.codes.push_back(code);
                start = comma + 1;
            }
            rest = rest.substr(close + 1);
        }
    }
    q.name = utf8_lower(rest);
    return q;
}

bool class_matches(const std::vector<std::string>& codes, const std::string& cls) {
    if (codes.empty())
        return true;
    for (const std::string& code : codes)
        if (starts_with(cls, code))
            return true;
    return false;
}

// The file name of a path without its folder and extension.
std::string map_name_of(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = file.rfind('.');
    return dot == std::string::npos ? file : file.substr(0, dot);
}

}  // namespace

long standin_records::move_first() {
    pos_ = 0;
    return rows_.empty() ? -1 : 0;
}

long standin_records::move_next() {
    if (pos_ < rows_.size())
        ++pos_;
    return pos_ < rows_.size() ? static_cast<long>(pos_) : -1;
}

const standin_record* standin_records::current() const {
    return pos_ < rows_.size() ? &rows_[pos_] : nullptr;
}

bool standin_records::get_field_text(int index, std::u16string& text) {
    const standin_record* row = current();
    if (row == nullptr || index < 0 || static_cast<size_t>(index) >= row->fields.size())
        return false;
    text = utf8_to_utf16(row->fields[index].text.c_str());
    return true;
}

bool standin_records::get_field_value(int index, double& value) {
    const standin_record* row = current();
    if (row == nullptr || index < 0 || static_cast<size_t>(index) >= row->fields.size())
        return false;
    value = row->fields[index].value;
    return true;
}

bool standin_records::get_child(int index, std::unique_ptr<gwx_record_set>& child) {
    const standin_record* row = current();
    if (row == nullptr || index != 3 || !row->layers)
        return false;
    child.reset(new (std::nothrow) standin_records(*row->layers));
    return child != nullptr;
}

void standin_control::add_object_record(const loaded_chart& map, const chart_object& obj,
                                        std::vector<standin_record>& rows) {
    standin_record row;
    long long id = (static_cast<long long>(map.handle) << 32) | obj.id;
    row.fields.push_back(number_field(static_cast<double>(id)));
    row.fields.back().text = std::to_string(id);  // exact, whatever a double holds
    row.fields.push_back(text_field(map.name));
    row.fields.push_back(text_field(obj.cls));
    row.fields.push_back(text_field(obj.name));
    rows.push_back(std::move(row));
}

bool standin_control::resize(unsigned width, unsigned height) {
    mutex_locker hold(&lock_);
    if (closed_ || width == 0 || height == 0)
        return false;
    width_ = width;
    height_ = height;
    return true;
}

void standin_control::close() {
    mutex_locker hold(&lock_);
    closed_ = true;
    maps_.clear();
}

bool standin_control::open_workspace(const std::u16string&) {
    mutex_locker hold(&lock_);
    return !closed_;
}

bool standin_control::set_scale(double scale) {
    mutex_locker hold(&lock_);
    if (closed_ || !std::isfinite(scale) || scale <= 0)
        return false;
    scale_ = scale;
    return true;
}

bool standin_control::set_center(double lat, double lon) {
    mutex_locker hold(&lock_);
    if (closed_ || !(lat >= -90 && lat <= 90) || !(lon >= -180 && lon <= 180))
        return false;
    center_lat_ = lat;
    center_lon_ = lon;
    return true;
}

bool standin_control::query(const std::u16string& text, std::unique_ptr<gwx_record_set>& records) {
    mutex_locker hold(&lock_);
    if (closed_)
        return false;
    parsed_query q = parse_query(utf16_to_utf8(text));
    std::vector<standin_record> rows;
    for (const loaded_chart& map : maps_)
        for (size_t i = 0; i < map.data.objects.size(); ++i) {
            const chart_object& obj = map.data.objects[i];
            if (class_matches(q.codes, obj.cls) && starts_with(map.lower_names[i], q.name))
                add_object_record(map, obj, rows);
        }
    records.reset(new (std::nothrow) standin_records(std::move(rows)));
    return records != nullptr;
}

bool standin_control::query_area(double lat, double lon, double half_height, double half_width,
                                 std::unique_ptr<gwx_record_set>& records) {
    mutex_locker hold(&lock_);
    if (closed_ || !std::isfinite(lat) || !std::isfinite(lon) || !(half_height >= 0) || !(half_width >= 0) ||
        !std::isfinite(half_height) || !std::isfinite(half_width))
        return false;
    double s = lat - half_height, n = lat + half_height, w = lon - half_width, e = lon + half_width;
    std::vector<standin_record> rows;
    for (const loaded_chart& map : maps_)
        for (const chart_object& obj : map.data.objects)
            if (obj.max_lat >= s && obj.min_lat <= n && obj.max_lon >= w && obj.min_lon <= e)
                add_object_record(map, obj, rows);
    records.reset(new (std::nothrow) standin_records(std::move(rows)));
    return records != nullptr;
}

bool standin_control::get_object(long long id, std::unique_ptr<gwx_object>& object) {
    mutex_locker hold(&lock_);
    if (closed_)
        return false;
    long handle = static_cast<long>(id >> 32);
    long long local = id & 0xFFFFFFFFll;
    for (const loaded_chart& map : maps_) {
        if (map.handle != handle)
            continue;
        for (const chart_object& obj : map.data.objects) {
            if (obj.id != local)
                continue;
            std::vector<double> values;
            double lat = (obj.min_lat + obj.max_lat) / 2, lon = (obj.min_lon + obj.max_lon) / 2;
            values.push_back(lat);
            values.push_back(lon);
            if (obj.area) {
                values.push_back((obj.max_lat - obj.min_lat) / 2);
                values.push_back((obj.max_lon - obj.min_lon) / 2);
            }
            object.reset(new (std::nothrow) standin_object(std::move(values)));
            return object != nullptr;
        }
    }
    return false;
}

bool standin_control::get_map_bounds(long handle, double& min_lat, double& min_lon, double& max_lat,
                                     double& max_lon) {
    mutex_locker hold(&lock_);
    if (closed_)
        return false;
    for (const loaded_chart& map : maps_) {
        if (map.handle != handle)
            continue;
        min_lat = map.data.min_lat;
        min_lon = map.data.min_lon;
        max_lat = map.data.max_lat;
        max_lon = map.data.max_lon;
        return true;
    }
    return false;
}

bool standin_control::save_snapshot(const std::u16string& file, double north, double west, double south,
                                    double east, int width, int height, int) {
    mutex_locker hold(&lock_);
    std::string path = utf16_to_utf8(file);
    if (closed_ || path.empty() || width <= 0 || height <= 0)
        return false;
    std::vector<const chart*> charts;
    for (const loaded_chart& map : maps_)
        charts.push_back(&map.data);
    std::vector<unsigned char> bmp;
    if (!draw_chart_snapshot(charts, north, west, south, east, static_cast<unsigned>(width),
                             static_cast<unsigned>(height), bmp)) {
        kiv_trace("gwx stand-in: snapshot %d x %d of %f,%f,%f,%f refused", width, height, north, west, south,
                  east);
        return false;
    }
    file_writer out(path);
    if (!out.ok() || !out.write(bmp.data(), bmp.size()) || !out.commit()) {
        kiv_trace("gwx stand-in: cannot write snapshot '%s'", path.c_str());
        return false;
    }
    return true;
}

bool standin_control::get_maps(std::unique_ptr<gwx_record_set>& records) {
    mutex_locker hold(&lock_);
    if (closed_)
        return false;
    std::vector<standin_record> rows;
    for (const loaded_chart& map : maps_) {
        standin_record row;
        row.fields.push_back(number_field(1));
        row.fields.push_back(text_field(map.name));
        row.handle = map.handle;
        row.layers = std::make_shared<std::vector<standin_record>>();
        for (size_t i = 0; i < map.data.layers.size(); ++i) {
            standin_record layer;
            layer.fields.push_back(number_field(map.data.layers[i].state));
            layer.fields.push_back(text_field(map.data.layers[i].name));
            layer.handle = map.handle;
            layer.layer = static_cast<int>(i);
            row.layers->push_back(std::move(layer));
        }
        rows.push_back(std::move(row));
    }
    records.reset(new (std::nothrow) standin_records(std::move(rows)));
    return records != nullptr;
}

bool standin_control::set_layer_state(gwx_record_set& layer, bool visible, const std::u16string& mode) {
    mutex_locker hold(&lock_);
    standin_records* own = dynamic_cast<standin_records*>(&layer);
    const standin_record* row = own != nullptr ? own->current() : nullptr;
    if (closed_ || row == nullptr || row->layer < 0 || mode != u"VMCT")
        return false;
    for (loaded_chart& map : maps_) {
        if (map.handle != row->handle || static_cast<size_t>(row->layer) >= map.data.layers.size())
            continue;
        unsigned& state = map.data.layers[row->layer].state;
        state = (state & ~3u) | (visible ? 1u : 2u);
        return true;
    }
    return false;  // the map was unloaded since the record was read
}

bool standin_control::set_tool(long) {
    mutex_locker hold(&lock_);
    return !closed_;
}

bool standin_control::set_auto_redraw(long) {
    mutex_locker hold(&lock_);
    return !closed_;
}

bool standin_control::load_map(const std::u16string& path, const std::u16string&, long& handle, long& code) {
    mutex_locker hold(&lock_);
    if (closed_)
        return false;
    std::string file = utf16_to_utf8(path);
    handle = 0;
    for (const loaded_chart& map : maps_)
        if (map.path == file) {
            code = 1;
            return true;
        }
    loaded_chart map;
    std::string error;
    chart_status status = read_chart(file, map.data, error);
    if (status != chart_ok) {
        kiv_trace("gwx stand-in: '%s': %s", file.c_str(), error.c_str());
        code = status;
        return true;
    }
    if (next_handle_ >= 0x7FFFFFFF) {
        code = chart_system_error;
        return true;
    }
    map.handle = next_handle_++;
    map.path = file;
    map.name = map_name_of(file);
    map.lower_names.reserve(map.data.objects.size());
    for (const chart_object& obj : map.data.objects)
        map.lower_names.push_back(utf8_lower(obj.name));
    handle = map.handle;
    code = 0;
    maps_.push_back(std::move(map));
    return true;
}

bool standin_control::unload_map(const std::u16string& path) {
    mutex_locker hold(&lock_);
    std::string file = utf16_to_utf8(path);
    for (auto it = maps_.begin(); it != maps_.end(); ++it)
        if (!closed_ && it->path == file) {
            maps_.erase(it);
            return true;
        }
    return false;
}

bool standin_control::get_place_name(double lat, double lon, std::u16string& name) {
    mutex_locker hold(&lock_);
    if (closed_ || !std::isfinite(lat) || !std::isfinite(lon))
        return false;
    // The smallest area around the point names it.
    const chart_object* best = nullptr;
    double best_size = 0;
    for (const loaded_chart& map : maps_)
        for (const chart_object& obj : map.data.objects) {
            if (!obj.area || obj.name.empty() || lat < obj.min_lat || lat > obj.max_lat || lon < obj.min_lon ||
                lon > obj.max_lon)
                continue;
            double size = (obj.max_lat - obj.min_lat) * (obj.max_lon - obj.min_lon);
            if (best == nullptr || size < best_size) {
                best = &obj;
                best_size = size;
            }
        }
    name = best != nullptr ? utf8_to_utf16(best->name.c_str()) : std::u16string();
    return true;
}

}  // namespace kiv

std::unique_ptr<kiv::gwx_control> gwx_create_control() {
    return std::unique_ptr<kiv::gwx_control>(new (std::nothrow) kiv::standin_control);
}
