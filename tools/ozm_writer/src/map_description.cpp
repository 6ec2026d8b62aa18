// map_description.cpp --
//
//     The text form of a map that the command-line writer reads: one item
//     per line, tab-separated fields (see map_writer.h). Numbers are
//     parsed without the C locale, so "55.75" reads the same everywhere.

#include <kiv/ozm_writer/map_writer.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace kiv {
namespace ozm_writer {

namespace {

std::vector<std::string> split(const std::string& line, char separator) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, separator))
        fields.push_back(field);
    return fields;
}

bool parse_unsigned(const std::string& text, unsigned long max, unsigned long& out) {
    if (text.empty() || text[0] == '-')
        return false;
    char* end = nullptr;
    errno = 0;
    unsigned long v = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || *end != 0 || v > max)
        return false;
    out = v;
    return true;
}

// strtof follows LC_NUMERIC; read through a classic-locale stream.
bool parse_float(const std::string& text, float& out) {
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    float v;
    if (!(in >> v))
        return false;
    char rest;
    if (in >> rest)
        return false;
    out = v;
    return true;
}

struct line_reader {
    const std::vector<std::string>& fields;
    std::string& error;

    std::string text(size_t i) const { return i < fields.size() ? fields[i] : std::string(); }
    template <class T>
    bool number(size_t i, T& out, unsigned long max, T fallback) {
        if (i >= fields.size() || fields[i].empty()) {
            out = fallback;
            return true;
        }
        unsigned long v;
        if (!parse_unsigned(fields[i], max, v)) {
            error = "bad number '" + fields[i] + "'";
            return false;
        }
        out = T(v);
        return true;
    }
    bool coordinate(size_t i, float& out) {
        if (i >= fields.size() || !parse_float(fields[i], out)) {
            error = "bad coordinate '" + text(i) + "'";
            return false;
        }
        return true;
    }
    bool place(size_t first, point& at) { return coordinate(first, at.lat) && coordinate(first + 1, at.lon); }
};

bool parse_points(const std::string& text, std::vector<point>& out, std::string& error) {
    for (const std::string& pair : split(text, ' ')) {
        if (pair.empty())
            continue;
        size_t comma = pair.find(',');
        point p;
        if (comma == std::string::npos || !parse_float(pair.substr(0, comma), p.lat) ||
            !parse_float(pair.substr(comma + 1), p.lon)) {
            error = "bad point '" + pair + "'";
            return false;
        }
        out.push_back(p);
    }
    return true;
}

}  // namespace

std::unique_ptr<map_writer> read_description(const std::string& text, std::string& error) {
    map_info info;
    uint32_t page_limit = 0;
    std::vector<feature> features;
    std::vector<city> cities;
    std::istringstream in(text);
    std::string line;
    unsigned line_number = 0;
    auto failed = [&](const std::string& cause) {
        error = "line " + std::to_string(line_number) + ": " + cause;
        return nullptr;
    };
    while (std::getline(in, line)) {
        ++line_number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#')
            continue;
        std::vector<std::string> f = split(line, '\t');
        std::string cause;
        line_reader r{f, cause};
        const std::string& kind = f[0];
        bool ok = true;
        if (kind == "map") {
            info.name = r.text(1);
            info.tags = r.text(2);
            info.copyright = r.text(3);
            ok = r.number(4, info.priority, 255, uint8_t(0)) && r.number(5, info.min_level, 16, uint8_t(0)) &&
                 r.number(6, info.max_level, 16, uint8_t(16)) && r.number(7, info.flags, 0xFFFFFFFFul, 0u) &&
                 r.number(8, info.map_version, 0xFFFFFFFFul, 1u);
        } else if (kind == "page_limit") {
            ok = r.number(1, page_limit, 0xFFFFFFFFul, 0u);
        } else if (kind == "point" || kind == "line") {
            feature ft;
            bool is_point = kind == "point";
            size_t names_at = is_point ? 5 : 7;
            ok = r.number(1, ft.code, 255, uint8_t(1)) && r.number(2, ft.flags, 255, uint8_t(0));
            if (ok && is_point) {
                ft.flags |= 0x01;
                ok = r.place(3, ft.anchor);
            } else if (ok) {
                ok = r.number(3, ft.record_flags, 255, uint8_t(0)) && r.place(4, ft.anchor) &&
                     parse_points(r.text(6), ft.points, cause);
            }
            ft.label = r.text(names_at);
            ft.place = r.text(names_at + 1);
            features.push_back(ft);
        } else if (kind == "city" || kind == "street" || kind == "house") {
            point at{0, 0};
            ok = r.place(2, at);
            if (ok && kind == "city") {
                cities.push_back(city{r.text(1), at, {}});
            } else if (ok && kind == "street") {
                if (cities.empty())
                    return failed("a street needs a city before it");
                cities.back().streets.push_back(street{r.text(1), at, {}});
            } else if (ok) {
                if (cities.empty() || cities.back().streets.empty())
                    return failed("a house needs a street before it");
                cities.back().streets.back().houses.push_back(house{r.text(1), at});
            }
        } else {
            return failed("unknown item '" + kind + "'");
        }
        if (!ok)
            return failed(cause);
    }
    auto writer = std::make_unique<map_writer>(info);
    if (page_limit > 0)
        writer->set_page_limit(page_limit);
    for (const feature& ft : features)
        writer->add_feature(ft);
    for (const city& c : cities)
        writer->add_city(c);
    return writer;
}

}  // namespace ozm_writer
}  // namespace kiv
