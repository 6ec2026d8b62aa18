// ozm_map_filter.cpp --
//
//     Which maps take part: the tag filter, the envelope and coverage
//     test of a view, and the geometry they rest on (point in a coverage
//     ring, where two segments meet).

#include <kiv/core/le_bytes.h>

#include "map/ozm_map.h"

#include <cstring>

namespace kiv {

namespace {

// Calls `each` with every non-empty comma-separated token of `text`
// (runs of commas skipped) until it returns false. A token of 255 bytes
// or more ends the list.
template <class F>
void for_each_token(const char* text, F&& each) {
    const char* p = text;
    while (*p != 0) {
        while (*p == ',')
            ++p;
        if (*p == 0)
            return;
        const char* end = std::strchr(p, ',');
        size_t length = end != nullptr ? size_t(end - p) : std::strlen(p);
        if (length >= 255)
            return;
        if (!each(p, length))
            return;
        p += length;
    }
}

}  // namespace

bool ozm_map::matches_tags(const char* filter) const {
    bool answer_default = (flags() & ozm::map_flag_hidden) == 0;
    if (filter == nullptr || *filter == 0)
        return answer_default;
    const char* tags = get_tags();
    bool decided = false, decision = false;
    for_each_token(filter, [&](const char* token, size_t length) {
        bool answer = true;
        if (*token == '-') {
            answer = false;
            ++token;
            --length;
        } else if (*token == '+' || *token == ' ') {
            ++token;
            --length;
        } else {
            answer_default = false;
        }
        for_each_token(tags, [&](const char* tag, size_t tag_length) {
            if (tag_length == length && std::memcmp(tag, token, length) == 0) {
                decided = true;
                decision = answer;
            }
            return !decided;
        });
        return !decided;
    });
    return decided ? decision : answer_default;
}

bool ozm_map::in_view(double min_lat, double min_lon, double max_lat, double max_lon, bool cover) const {
    const ozm::map_header& h = file_.header();
    const float lo_lat = float(min_lat), lo_lon = float(min_lon), hi_lat = float(max_lat), hi_lon = float(max_lon);
    if (!cover)
        return !(lo_lat > h.max_lat || hi_lat < h.min_lat || lo_lon > h.max_lon || hi_lon < h.min_lon);
    if (!(h.min_lat <= lo_lat && hi_lat <= h.max_lat && h.min_lon <= lo_lon && hi_lon <= h.max_lon))
        return false;
    if (coverage_.empty())
        return true;
    const double corners[4][2] = {{lo_lat, lo_lon}, {lo_lat, hi_lon}, {hi_lat, hi_lon}, {hi_lat, lo_lon}};
    for (const auto& corner : corners) {
        bool inside = false;
        for (const coverage_area& area : coverage_)
            if (ozm::point_in_ring(corner[0], corner[1], area.points, area.count)) {
                inside = true;
                break;
            }
        if (!inside)
            return false;
    }
    return true;
}

namespace ozm {

bool point_in_ring(double lat, double lon, const uint8_t* points, uint32_t count) {
    if (points == nullptr || count < 3)
        return false;
    // Longitude is x, latitude y.
    const double px = lon, py = lat;
    auto x_of = [&](uint32_t i) { return double(le_f32(points + 8 * size_t(i) + 4)); };
    auto y_of = [&](uint32_t i) { return double(le_f32(points + 8 * size_t(i))); };
    bool inside = false;
    double old_x = x_of(count - 1), old_y = y_of(count - 1);
    for (uint32_t i = 0; i < count; ++i) {
        double new_x = x_of(i), new_y = y_of(i);
        double x1, y1, x2, y2;
        if (new_x > old_x) {
            x1 = old_x, y1 = old_y, x2 = new_x, y2 = new_y;
        } else {
            x1 = new_x, y1 = new_y, x2 = old_x, y2 = old_y;
        }
        if ((new_x < px) == (px <= old_x) && (py - y1) * (x2 - x1) < (y2 - y1) * (px - x1))
            inside = !inside;
        old_x = new_x;
        old_y = new_y;
    }
    return inside;
}

bool segment_intersection(const seg_point& a1, const seg_point& a2, const seg_point& b1, const seg_point& b2,
                          seg_point* out) {
    if (out == nullptr)
        return false;
    const float dx1 = a2.x - a1.x, dy1 = a2.y - a1.y;
    const float dx2 = b2.x - b1.x, dy2 = b2.y - b1.y;
    // Sides of a's ends against line b, and of b's ends against line a.
    const float s1 = dy2 * (a1.x - b1.x) - dx2 * (a1.y - b1.y);
    const float s2 = dy2 * (a2.x - b1.x) - dx2 * (a2.y - b1.y);
    const float t1 = dy1 * (b1.x - a1.x) - dx1 * (b1.y - a1.y);
    const float t2 = dy1 * (b2.x - a1.x) - dx1 * (b2.y - a1.y);
    if (s1 * s2 > 0 || t1 * t2 > 0)
        return false;
    auto same = [](const seg_point& p, const seg_point& q) { return p.x == q.x && p.y == q.y; };
    if (s1 * s2 == 0 && t1 * t2 == 0) {
        if (same(b1, a1) || same(b1, a2)) {
            *out = b1;
            return true;
        }
        if (same(b2, a1) || same(b2, a2)) {
            *out = b2;
            return true;
        }
    }
    if (s1 == s2)
        return false;
    const float k = s1 / (s1 - s2);
    *out = seg_point{a1.x + dx1 * k, a1.y + dy1 * k};
    return true;
}

}  // namespace ozm

}  // namespace kiv
