// fake_control.h --
//
//     A scripted map control for the driver's tests: it answers with the
//     records, positions, load codes and refusals a test sets up, and
//     notes every call with its exact arguments (texts as UTF-16), so a
//     test sees what the driver really asked. The script and the notes
//     live in a shared state that the test keeps after handing the
//     control to a driver.

#ifndef KIV_TESTS_GWX_FAKE_CONTROL_H
#define KIV_TESTS_GWX_FAKE_CONTROL_H

#include "gwx_control.h"

#include "bmp_maker.h"

#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kiv_test {

// One record: text fields (UTF-16), the value of field 0, an optional
// child set 3 (the layers of a map record) and a key naming a layer.
struct fake_row {
    std::vector<std::u16string> fields;
    double value = 0;
    std::shared_ptr<std::vector<fake_row>> layers;
    int key = -1;
};

inline fake_row object_row(const std::u16string& id, const std::u16string& cls, const std::u16string& name) {
    return fake_row{{id, u"map", cls, name}, 0, nullptr, -1};
}

struct fake_state {
    std::mutex lock;
    // Script.
    std::map<std::u16string, std::vector<fake_row>> answers;  // query text -> records
    std::vector<fake_row> area_rows;                          // what query_area gives
    std::map<long long, std::vector<double>> objects;         // id -> get_coords
    std::vector<fake_row> maps;                               // what get_maps gives
    std::map<std::u16string, long> load_codes;                // path -> code (missing: 0)
    double bounds[4] = {53.8, 27.4, 54.0, 27.7};
    std::u16string place = u"Town";
    bool refuse_create = false, refuse_load = false, refuse_bounds = false, refuse_center = false,
         refuse_scale = false, refuse_snapshot = false, refuse_resize = false;
    // Notes.
    std::vector<std::u16string> queries;
    std::vector<double> area;                // the last query_area arguments
    std::map<int, bool> layer_visible;       // key -> the last set_layer_state
    std::vector<std::u16string> loads, unloads;
    std::vector<std::string> calls;          // the other operations, in order
    std::u16string snapshot_file;
    double snapshot_args[4] = {0, 0, 0, 0};  // north, west, south, east
    int snapshot_w = 0, snapshot_h = 0, snapshot_flags = 0;
    bool snapshot_existed = false;           // the file was there when save_snapshot ran
    bool closed = false;
};

class fake_records : public kiv::gwx_record_set {
public:
    explicit fake_records(std::vector<fake_row> rows) : rows_(std::move(rows)) {}
    long move_first() override {
        pos_ = 0;
        return rows_.empty() ? -1 : 0;
    }
    long move_next() override {
        if (pos_ < rows_.size())
            ++pos_;
        return pos_ < rows_.size() ? long(pos_) : -1;
    }
    bool get_field_text(int index, std::u16string& text) override {
        if (pos_ >= rows_.size() || index < 0 || size_t(index) >= rows_[pos_].fields.size())
            return false;
        text = rows_[pos_].fields[index];
        return true;
    }
    bool get_field_value(int index, double& value) override {
        if (pos_ >= rows_.size() || index != 0)
            return false;
        value = rows_[pos_].value;
        return true;
    }
    bool get_child(int index, std::unique_ptr<kiv::gwx_record_set>& child) override {
        if (pos_ >= rows_.size() || index != 3 || !rows_[pos_].layers)
            return false;
        child.reset(new fake_records(*rows_[pos_].layers));
        return true;
    }
    int key() const { return pos_ < rows_.size() ? rows_[pos_].key : -1; }

private:
    std::vector<fake_row> rows_;
    size_t pos_ = 0;
};

class fake_object : public kiv::gwx_object {
public:
    explicit fake_object(std::vector<double> v) : v_(std::move(v)) {}
    bool get_coords(std::vector<double>& values) override {
        values = v_;
        return true;
    }

private:
    std::vector<double> v_;
};

class fake_control : public kiv::gwx_control {
public:
    explicit fake_control(std::shared_ptr<fake_state> s) : s_(std::move(s)) {}

    bool resize(unsigned width, unsigned height) override {
        return note("resize " + std::to_string(width) + "x" + std::to_string(height), !s_->refuse_resize);
    }
    void close() override {
        std::lock_guard<std::mutex> hold(s_->lock);
        s_->closed = true;
    }
    bool open_workspace(const std::u16string& text) override {
        return note(text.empty() ? "open_workspace" : "open_workspace <text>", true);
    }
    bool set_scale(double scale) override {
        return note("set_scale " + std::to_string(long(scale)), !s_->refuse_scale);
    }
    bool set_center(double, double) override { return note("set_center", !s_->refuse_center); }
    bool query(const std::u16string& text, std::unique_ptr<kiv::gwx_record_set>& records) override {
        std::lock_guard<std::mutex> hold(s_->lock);
        s_->queries.push_back(text);
        auto it = s_->answers.find(text);
        if (it == s_->answers.end())
            return false;
        records.reset(new fake_records(it->second));
        return true;
    }
    bool query_area(double a, double b, double c, double d, std::unique_ptr<kiv::gwx_record_set>& records) override {
        std::lock_guard<std::mutex> hold(s_->lock);
        s_->area = {a, b, c, d};
        records.reset(new fake_records(s_->area_rows));
        return true;
    }
    bool get_object(long long id, std::unique_ptr<kiv::gwx_object>& object) override {
        std::lock_guard<std::mutex> hold(s_->lock);
        auto it = s_->objects.find(id);
        if (it == s_->objects.end())
            return false;
        object.reset(new fake_object(it->second));
        return true;
    }
    bool get_map_bounds(long, double& a, double& b, double& c, double& d) override {
        std::lock_guard<std::mutex> hold(s_->lock);
        a = s_->bounds[0], b = s_->bounds[1], c = s_->bounds[2], d = s_->bounds[3];
        return !s_->refuse_bounds;
    }
    bool save_snapshot(const std::u16string& file, double n, double w, double s, double e, int width, int height,
                       int flags) override {
        std::lock_guard<std::mutex> hold(s_->lock);
        s_->snapshot_file = file;
        s_->snapshot_args[0] = n, s_->snapshot_args[1] = w, s_->snapshot_args[2] = s, s_->snapshot_args[3] = e;
        s_->snapshot_w = width, s_->snapshot_h = height, s_->snapshot_flags = flags;
        std::string path(file.begin(), file.end());  // ASCII temp paths in these tests
        s_->snapshot_existed = std::ifstream(path).good();
        if (s_->refuse_snapshot)
            return false;
        // Red at the top left, blue elsewhere.
        auto bmp = make_bmp(width, height, [](int x, int y) { return x == 0 && y == 0 ? 0xFF0000u : 0x0000FFu; });
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bmp.data()), std::streamsize(bmp.size()));
        return out.good();
    }
    bool get_maps(std::unique_ptr<kiv::gwx_record_set>& records) override {
        std::lock_guard<std::mutex> hold(s_->lock);
        records.reset(new fake_records(s_->maps));
        return true;
    }
    bool set_layer_state(kiv::gwx_record_set& layer, bool visible, const std::u16string& mode) override {
        std::lock_guard<std::mutex> hold(s_->lock);
        auto* own = dynamic_cast<fake_records*>(&layer);
        if (own == nullptr || mode != u"VMCT")
            return false;
        s_->layer_visible[own->key()] = visible;
        return true;
    }
    bool set_tool(long value) override { return note("set_tool " + std::to_string(value), true); }
    bool set_auto_redraw(long value) override { return note("set_auto_redraw " + std::to_string(value), true); }
    bool load_map(const std::u16string& path, const std::u16string&, long& handle, long& code) override {
        std::lock_guard<std::mutex> hold(s_->lock);
        s_->loads.push_back(path);
        auto it = s_->load_codes.find(path);
        code = it == s_->load_codes.end() ? 0 : it->second;
        handle = 7;
        return !s_->refuse_load;
    }
    bool unload_map(const std::u16string& path) override {
        std::lock_guard<std::mutex> hold(s_->lock);
        s_->unloads.push_back(path);
        return true;
    }
    bool get_place_name(double, double, std::u16string& name) override {
        std::lock_guard<std::mutex> hold(s_->lock);
        name = s_->place;
        return true;
    }

private:
    bool note(const std::string& call, bool result) {
        std::lock_guard<std::mutex> hold(s_->lock);
        s_->calls.push_back(call);
        return result;
    }
    std::shared_ptr<fake_state> s_;
};

// A factory handing out one scripted control over `state` (none when
// the state says creation is refused).
inline kiv::gwx_control_factory fake_factory(std::shared_ptr<fake_state> state) {
    return [state]() -> std::unique_ptr<kiv::gwx_control> {
        if (state->refuse_create)
            return nullptr;
        return std::unique_ptr<kiv::gwx_control>(new fake_control(state));
    };
}

}  // namespace kiv_test

#endif
