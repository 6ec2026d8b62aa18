// geodesic.cpp --
//
//     Distances and directions on the ellipsoid and in the plane, and the
//     latitude coefficient table. The distance is Andoyer-Lambert's
//     first-order correction of the spherical distance: a handful of
//     trigonometric calls, within 1.3e-5 of the exact geodesic up to
//     18,000 km (geodesic.h has the measured figures), which is what road
//     snapping and measuring need at the rates they call it.

#include <kiv/gis/geodesic.h>

#include <algorithm>
#include <cmath>

namespace {

// The ellipsoid: equatorial radius in km and flattening (1/298.257).
constexpr double earth_a_km = 6378.14;
constexpr double earth_f = 0.0033528131778969143;
// Degrees to radians; this exact value is part of the distances'
// last digits, which stored distances and tests compare.
constexpr double deg_to_rad = 0.017453292519943278;
constexpr double pi_value = 3.141592653589793;

// 1 / cos(lat) by whole degrees as the map views have always used it:
// an empirical table, not strictly increasing, kept exact so that views
// come out pixel for pixel as before.
const double lat_coef_table[90] = {
    0.994619, 0.995992, 0.996667, 0.995533, 1.001228, 1.002125, 1.006136, 1.000555, 1.002137, 1.006779,
    1.009492, 1.014286, 1.024107, 1.020076, 1.022775, 1.030754, 1.040894, 1.037553, 1.044561, 1.05237,
    1.059273, 1.071442, 1.070705, 1.078455, 1.09135, 1.102193, 1.11042, 1.122186, 1.127641, 1.134145,
    1.154964, 1.162891, 1.169788, 1.192376, 1.204152, 1.217187, 1.234525, 1.248846, 1.266263, 1.28059,
    1.297454, 1.320742, 1.337841, 1.357593, 1.38272, 1.407516, 1.429218, 1.460415, 1.483304, 1.519167,
    1.5516, 1.581454, 1.624046, 1.655527, 1.703692, 1.742173, 1.782041, 1.829374, 1.872315, 1.940956,
    1.996537, 2.063585, 2.129217, 2.193146, 2.276169, 2.352063, 2.449338, 2.560503, 2.669503, 2.791219,
    2.902039, 3.050515, 3.215982, 3.406356, 3.62852, 3.851926, 4.127395, 4.450237, 4.808884, 5.235419,
    5.74933, 6.341281, 7.168006, 8.215152, 9.570123, 11.402398, 14.292265, 18.967756, 28.61962, 56.853094,
};

// True when v lies strictly outside the closed range spanned by a and b.
bool outside_range(double v, double a, double b) {
    return v < std::min(a, b) || v > std::max(a, b);
}

// True for a latitude and longitude a place on the Earth can have:
// latitudes within the poles, longitudes up to a turn either way (callers
// write a place at 180 and at -180, or past the date line).
bool is_place(double lat, double lon) {
    return std::fabs(lat) <= 90.0 && std::fabs(lon) <= 360.0;  // false for NaN too
}

// The longitude `lon` moved by whole turns to lie within half a turn of
// `around`. Left as it is when it already does, so callers that write
// longitudes 0..360 keep their numbers.
double unwrap_near(double lon, double around) {
    const double d = lon - around;
    if (d > 180.0)
        return lon - 360.0 * std::ceil((d - 180.0) / 360.0);
    if (d < -180.0)
        return lon + 360.0 * std::ceil((-180.0 - d) / 360.0);
    return lon;
}

}  // namespace

double kiv_calc_distance(double lat1, double lon1, double lat2, double lon2) {
    if (!is_place(lat1, lon1) || !is_place(lat2, lon2))
        return -1.0;
    if (lat1 == lat2 && lon1 == lon2)
        return 0.0;
    const double g = (lat1 - lat2) / 2 * deg_to_rad;
    const double f = (lat1 + lat2) / 2 * deg_to_rad;
    const double l = (lon1 - lon2) / 2 * deg_to_rad;
    const double sin_g = std::sin(g), cos_g = std::cos(g);
    const double sin_f = std::sin(f), cos_f = std::cos(f);
    const double sin_l = std::sin(l), cos_l = std::cos(l);
    const double s = (sin_g * cos_l) * (sin_g * cos_l) + (cos_f * sin_l) * (cos_f * sin_l);
    const double c = (cos_g * cos_l) * (cos_g * cos_l) + (sin_f * sin_l) * (sin_f * sin_l);
    // S vanishes for distinct points only when their difference
    // underflows (a subnormal latitude step, longitudes a turn apart);
    // the formula would divide 0 by 0 there.
    if (s == 0.0)
        return 0.0;
    const double omega = std::atan(std::sqrt(s / c));
    const double r = 3 * std::sqrt(s * c) / omega;
    const double d = 2 * omega * earth_a_km;
    const double h1 = (r - 1) / (2 * c);
    const double h2 = (r + 1) / (2 * s);
    return d * (1 + earth_f * h1 * (sin_f * cos_g) * (sin_f * cos_g) - earth_f * h2 * (cos_f * sin_g) * (cos_f * sin_g)) *
           1000;
}

int kiv_calc_course(double lat1, double lon1, double lat2, double lon2) {
    // The short way round: a hop across 180 degrees heads the way it
    // would anywhere else, not back across the whole map.
    const double deg = std::atan2(unwrap_near(lon2, lon1) - lon1, lat2 - lat1) * 180 / pi_value + 180;
    if (!std::isfinite(deg))
        return 0;
    return static_cast<int>(deg);  // truncation toward zero; deg is within 0..360
}

double kiv_distance_to_line(double pnt1x, double pnt1y, double pnt2x, double pnt2y, double pnt_from_x,
                            double pnt_from_y, bool check_intersect) {
    const double x1 = pnt1x, y1 = pnt1y, x2 = pnt2x, y2 = pnt2y;
    const double x0 = pnt_from_x, y0 = pnt_from_y;
    double u, v;  // the foot of the perpendicular
    if (x1 != x2) {
        const double w = (y1 - y2) / (x1 - x2);
        u = (x0 + y0 * w - w * (y1 - x1 * w)) / (w * w + 1);
        v = y1 - x1 * w + w * u;
    } else if (y1 == y2) {
        return std::sqrt((x0 - x1) * (x0 - x1) + (y0 - y1) * (y0 - y1));
    } else {
        u = x1;
        v = y0;
    }
    const double d = std::sqrt((x0 - u) * (x0 - u) + (y0 - v) * (y0 - v));
    if (check_intersect && (outside_range(u, x1, x2) || outside_range(v, y1, y2)))
        return -1;
    return d;
}

double kiv_geodistance_to_line(double pnt1_lat, double pnt1_lon, double pnt2_lat, double pnt2_lon,
                               double pnt_from_lat, double pnt_from_lon, bool check_intersect, double* plat_int,
                               double* plon_int) {
    // The planar steps below need one run of longitudes: a segment that
    // crosses 180 degrees (179.99 to -179.99) takes its short way, and the
    // point is moved next to it, so such a road snaps like any other.
    const double l1 = pnt1_lat, l2 = pnt2_lat, e = pnt_from_lat;
    const double r1 = pnt1_lon;
    const double r2 = unwrap_near(pnt2_lon, r1);
    if (l1 == l2 && r1 == r2)  // one place, perhaps written at 180 and at -180
        return kiv_calc_distance(l1, r1, e, pnt_from_lon);
    const double o = unwrap_near(pnt_from_lon, (r1 + r2) / 2);
    const bool unwrapped = r2 != pnt2_lon || o != pnt_from_lon;
    double u, v;  // the foot: latitude, longitude
    if (r1 == r2) {
        u = e;
        v = r1;
    } else {
        // A degree of longitude is cos(lat) times shorter than one of
        // latitude; the perpendicular is dropped in a plane scaled so,
        // at the point's latitude. Near the poles the scale would vanish;
        // there the plain degree plane is kept.
        double k = std::cos(e * deg_to_rad);
        if (!(k > 1e-12))
            k = 1.0;
        const double sr1 = r1 * k, sr2 = r2 * k, so = o * k;
        const double h = (l1 - l2) / (sr1 - sr2);
        const double sv = (so + e * h - h * (l1 - sr1 * h)) / (h * h + 1);
        u = l1 - sr1 * h + h * sv;
        v = sv / k;
        if (l1 == l2)
            u = l1;  // keep an east-west segment's latitude exact
    }
    const bool outside = check_intersect && (outside_range(v, r1, r2) || outside_range(u, l1, l2));
    if (unwrapped && std::fabs(v) > 180.0)
        v -= std::copysign(360.0, v);  // a foot past 180 is written as the longitude it is
    if (plat_int != nullptr)
        *plat_int = u;
    if (plon_int != nullptr)
        *plon_int = v;
    if (outside)
        return -1;
    return kiv_calc_distance(u, v, e, pnt_from_lon);
}

double kiv_gis_calc_lat_coef(double lat) {
    const double a = std::fabs(lat);
    if (!(a < 90.0))
        return 1.0;  // the poles, beyond them, and NaN
    return lat_coef_table[static_cast<int>(a)];
}
