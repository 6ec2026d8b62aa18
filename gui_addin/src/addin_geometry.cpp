// addin_geometry.cpp --
//
//     Coordinate checks, the nearest point of a segment in the plane of
//     degrees, and the RGBA to RGB conversion the map view makes its
//     bitmap with.

#include <kiv/gui_addin/addin_lib.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>

bool is_valid_coords(double lat, double lon) {
    return lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180;
}

int pt_in_rect(double lat1, double lon1, double lat2, double lon2, double lat, double lon) {
    return (lat2 <= lat && lat <= lat1 && lon1 <= lon && lon <= lon2) ? 1 : 0;
}

double kiv_distance_to_line2(double lat1, double lon1, double lat2, double lon2, double lat, double lon,
                             kiv::geo_point* nearest) {
    auto distance = [&](double a, double b) { return std::sqrt((lat - a) * (lat - a) + (lon - b) * (lon - b)); };
    kiv::geo_point foot;
    if (lat1 == lat2 && lon1 == lon2) {
        foot = {(lat1 + lat2) / 2, (lon1 + lon2) / 2};
        if (nearest != nullptr)
            *nearest = foot;
        return distance(lat1, lon1);
    }
    if (lat1 != lat2) {
        double k = (lon1 - lon2) / (lat1 - lat2);
        double u = (lat + lon * k - k * (lon1 - lat1 * k)) / (k * k + 1);
        foot = {u, k * u + (lon1 - lat1 * k)};
    } else {
        // A segment along a parallel: the foot keeps the point's longitude.
        foot = {lat1, lon};
    }
    if (nearest != nullptr)
        *nearest = foot;
    bool inside = foot.lon >= std::fmin(lon1, lon2) && foot.lon <= std::fmax(lon1, lon2) &&
                  foot.lat >= std::fmin(lat1, lat2) && foot.lat <= std::fmax(lat1, lat2);
    if (inside)
        return distance(foot.lat, foot.lon);
    double d1 = distance(lat1, lon1), d2 = distance(lat2, lon2);
    if (d2 < d1) {
        if (nearest != nullptr)
            *nearest = {lat2, lon2};
        return d2;
    }
    if (nearest != nullptr)
        *nearest = {lat1, lon1};
    return d1;
}

unsigned char* rgba2rgb(unsigned width, unsigned height, const unsigned char* rgba, unsigned size) {
    if (width == 0 || height == 0 || rgba == nullptr || size == 0)
        return nullptr;
    const uint64_t pixels = static_cast<uint64_t>(width) * height;
    // The caller's buffer holds `size` bytes; more than the picture's
    // would be read past what the output can take.
    if (size > pixels * 4 || pixels * 3 > SIZE_MAX)
        return nullptr;
    unsigned char* rgb = static_cast<unsigned char*>(std::calloc(static_cast<size_t>(pixels), 3));
    if (rgb == nullptr)
        return nullptr;
    for (uint64_t in = 0, out = 0; in < size; in += 4, out += 3) {
        for (unsigned c = 0; c < 3 && in + c < size; ++c)
            rgb[out + c] = rgba[in + c];
    }
    return rgb;
}
