// chart_file.cpp --
//
//     Reads the stand-in control's text charts. Every field is checked
//     (numbers finite and on the globe, ids in range and unique, layers
//     declared, sizes capped), so whatever a file holds, the control
//     either gets a sound chart or a load code with the failing line.

#include "chart_file.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>

namespace kiv {

namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Cuts words off the front of one line.
class line_reader {
public:
    explicit line_reader(const std::string& line) : line_(line) {}

    // Returns: the next word, "" at the end of the line.
    std::string word() {
        skip();
        size_t start = pos_;
        while (pos_ < line_.size() && !is_blank(line_[pos_]))
            ++pos_;
        return line_.substr(start, pos_ - start);
    }
    // Returns: the rest of the line without surrounding blanks.
    std::string rest() {
        skip();
        size_t end = line_.size();
        while (end > pos_ && is_blank(line_[end - 1]))
            --end;
        std::string out = line_.substr(pos_, end - pos_);
        pos_ = line_.size();
        return out;
    }
    // A number spelled with "." (never the locale's separator).
    // Returns: false when the next word is no finite number.
    bool number(double& value) {
        std::string w = word();
        if (w.empty())
            return false;
        const char* end = w.data() + w.size();
        auto res = std::from_chars(w.data(), end, value);
        return res.ec == std::errc() && res.ptr == end && std::isfinite(value);
    }

private:
    void skip() {
        while (pos_ < line_.size() && is_blank(line_[pos_]))
            ++pos_;
    }
    const std::string& line_;
    size_t pos_ = 0;
};

bool valid_lat(double v) {
    return v >= -90.0 && v <= 90.0;
}

bool valid_lon(double v) {
    return v >= -180.0 && v <= 180.0;
}

}  // namespace

chart_status parse_chart(const std::string& text, chart& out, std::string& error) {
    chart result;
    std::set<long long> ids;
    bool have_bounds = false;
    size_t line_no = 0;
    size_t pos = 0;
    auto fail = [&](chart_status status, const std::string& what) {
        error = "line " + std::to_string(line_no) + ": " + what;
        return status;
    };
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            nl = text.size();
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        ++line_no;
        line_reader in(line);
        std::string kind = in.word();
        if (line_no == 1) {
            if (kind != "GWX-CHART" || in.word() != "1" || !in.rest().empty())
                return fail(chart_unknown_format, "not a chart file (\"GWX-CHART 1\" expected)");
            continue;
        }
        if (kind.empty() || kind[0] == '#')
            continue;
        if (kind == "bounds") {
            if (have_bounds)
                return fail(chart_invalid, "second bounds line");
            if (!in.number(result.min_lat) || !in.number(result.min_lon) || !in.number(result.max_lat) ||
                !in.number(result.max_lon) || !in.rest().empty())
                return fail(chart_invalid, "bounds needs four numbers");
            if (!valid_lat(result.min_lat) || !valid_lat(result.max_lat) || !valid_lon(result.min_lon) ||
                !valid_lon(result.max_lon) || result.min_lat >= result.max_lat || result.min_lon >= result.max_lon)
                return fail(chart_invalid, "bounds out of range or empty");
            have_bounds = true;
        } else if (kind == "layer") {
            chart_layer layer;
            layer.name = in.word();
            std::string state = in.word();
            if (layer.name.empty() || layer.name.size() > chart_max_name || !in.rest().empty())
                return fail(chart_invalid, "layer needs a name");
            if (state == "hidden")
                layer.state = 2;
            else if (!state.empty() && state != "shown")
                return fail(chart_invalid, "layer state is shown or hidden");
            for (const chart_layer& other : result.layers)
                if (other.name == layer.name)
                    return fail(chart_invalid, "layer " + layer.name + " declared twice");
            if (result.layers.size() >= chart_max_layers)
                return fail(chart_system_error, "too many layers");
            result.layers.push_back(layer);
        } else if (kind == "point" || kind == "area") {
            chart_object obj;
            obj.area = kind == "area";
            double id = 0;
            if (!in.number(id) || id < 1 || id > 2147483647.0 || id != std::floor(id))
                return fail(chart_invalid, "object id must be 1 to 2147483647");
            obj.id = static_cast<long long>(id);
            if (!ids.insert(obj.id).second)
                return fail(chart_invalid, "object id " + std::to_string(obj.id) + " used twice");
            obj.cls = in.word();
            std::string layer = in.word();
            if (obj.cls.empty() || layer.empty())
                return fail(chart_invalid, "object needs a class and a layer");
            bool found = false;
            for (size_t i = 0; i < result.layers.size() && !found; ++i)
                if (result.layers[i].name == layer) {
                    obj.layer = static_cast<unsigned>(i);
                    found = true;
                }
            if (!found)
                return fail(chart_invalid, "layer " + layer + " not declared");
            if (obj.area) {
                if (!in.number(obj.min_lat) || !in.number(obj.min_lon) || !in.number(obj.max_lat) ||
                    !in.number(obj.max_lon))
                    return fail(chart_invalid, "area needs four numbers");
            } else {
                if (!in.number(obj.min_lat) || !in.number(obj.min_lon))
                    return fail(chart_invalid, "point needs two numbers");
                obj.max_lat = obj.min_lat;
                obj.max_lon = obj.min_lon;
            }
            if (!valid_lat(obj.min_lat) || !valid_lat(obj.max_lat) || !valid_lon(obj.min_lon) ||
                !valid_lon(obj.max_lon) || obj.min_lat > obj.max_lat || obj.min_lon > obj.max_lon)
                return fail(chart_invalid, "object position out of range");
            obj.name = in.rest();
            if (obj.name.size() > chart_max_name)
                return fail(chart_invalid, "object name too long");
            if (result.objects.size() >= chart_max_objects)
                return fail(chart_system_error, "too many objects");
            result.objects.push_back(std::move(obj));
        } else {
            return fail(chart_invalid, "unknown record \"" + kind.substr(0, 40) + "\"");
        }
    }
    if (line_no == 0)
        return fail(chart_unknown_format, "empty file");
    if (!have_bounds)
        return fail(chart_invalid, "no bounds line");
    out = std::move(result);
    return chart_ok;
}

chart_status read_chart(const std::string& path, chart& out, std::string& error) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "cannot open " + path;
        return chart_missing;
    }
    if (static_cast<unsigned long long>(st.st_size) > chart_max_file_size) {
        error = "file larger than " + std::to_string(chart_max_file_size) + " bytes";
        return chart_system_error;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return chart_missing;
    }
    std::ostringstream buf;
    buf << file.rdbuf();
    if (file.bad()) {
        error = "cannot read " + path;
        return chart_missing;
    }
    std::string text = buf.str();
    if (text.size() > chart_max_file_size) {
        error = "file grew past the size cap while read";
        return chart_system_error;
    }
    return parse_chart(text, out, error);
}

}  // namespace kiv
