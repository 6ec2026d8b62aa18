// geodesic_accuracy_test.cpp --
//
//     How far the geodesic helpers are from the truth, as a table the
//     test prints and bounds it enforces.
//
//     Distances: pairs are made by Vincenty's direct formula on the same
//     ellipsoid (a = 6378140 m, f = 1/298.257) — a point at a known
//     geodesic distance and azimuth from a start — so the reference is
//     the distance the pair was built with; Vincenty's inverse formula
//     measures every pair back as a check of the reference itself.
//     Starts run from 80S to 80N, azimuths round the compass.
//
//     Point-to-segment distances: at latitudes 0, 45, 60 and 70, points
//     beside segments of several directions are measured against the
//     least Vincenty distance to densely sampled points of the segment.
//     The column "plane foot" shows the error of dropping the
//     perpendicular in unscaled degrees, which the helper no longer does.

#include <kiv/gis/geodesic.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double ell_a = 6378140.0;
constexpr double ell_f = 0.0033528131778969143;
constexpr double ell_b = ell_a * (1 - ell_f);
constexpr double pi = 3.141592653589793;
constexpr double rad = pi / 180;

// Vincenty's direct problem: the point s metres from (lat1, lon1) along
// azimuth az1 (degrees clockwise from north).
void vincenty_direct(double lat1, double lon1, double az1, double s, double& lat2, double& lon2) {
    const double alpha1 = az1 * rad;
    const double sin_a1 = std::sin(alpha1), cos_a1 = std::cos(alpha1);
    const double tan_u1 = (1 - ell_f) * std::tan(lat1 * rad);
    const double cos_u1 = 1 / std::sqrt(1 + tan_u1 * tan_u1), sin_u1 = tan_u1 * cos_u1;
    const double sigma1 = std::atan2(tan_u1, cos_a1);
    const double sin_alpha = cos_u1 * sin_a1;
    const double cos2_alpha = 1 - sin_alpha * sin_alpha;
    const double u2 = cos2_alpha * (ell_a * ell_a - ell_b * ell_b) / (ell_b * ell_b);
    const double a = 1 + u2 / 16384 * (4096 + u2 * (-768 + u2 * (320 - 175 * u2)));
    const double b = u2 / 1024 * (256 + u2 * (-128 + u2 * (74 - 47 * u2)));
    double sigma = s / (ell_b * a), sigma_prev = 0, cos_2sm = 0, sin_s = 0, cos_s = 0;
    for (int i = 0; i < 200; ++i) {
        cos_2sm = std::cos(2 * sigma1 + sigma);
        sin_s = std::sin(sigma);
        cos_s = std::cos(sigma);
        const double d_sigma =
            b * sin_s *
            (cos_2sm + b / 4 *
                           (cos_s * (-1 + 2 * cos_2sm * cos_2sm) -
                            b / 6 * cos_2sm * (-3 + 4 * sin_s * sin_s) * (-3 + 4 * cos_2sm * cos_2sm)));
        sigma_prev = sigma;
        sigma = s / (ell_b * a) + d_sigma;
        if (std::fabs(sigma - sigma_prev) < 1e-13)
            break;
    }
    cos_2sm = std::cos(2 * sigma1 + sigma);
    sin_s = std::sin(sigma);
    cos_s = std::cos(sigma);
    const double tmp = sin_u1 * sin_s - cos_u1 * cos_s * cos_a1;
    lat2 = std::atan2(sin_u1 * cos_s + cos_u1 * sin_s * cos_a1,
                      (1 - ell_f) * std::sqrt(sin_alpha * sin_alpha + tmp * tmp)) / rad;
    const double lambda = std::atan2(sin_s * sin_a1, cos_u1 * cos_s - sin_u1 * sin_s * cos_a1);
    const double c = ell_f / 16 * cos2_alpha * (4 + ell_f * (4 - 3 * cos2_alpha));
    const double l = lambda - (1 - c) * ell_f * sin_alpha *
                                  (sigma + c * sin_s * (cos_2sm + c * cos_s * (-1 + 2 * cos_2sm * cos_2sm)));
    lon2 = lon1 + l / rad;
    if (lon2 > 180)
        lon2 -= 360;
    if (lon2 < -180)
        lon2 += 360;
}

// Vincenty's inverse problem. Returns: metres, or -1 when it does not
// converge (nearly antipodal points, which these tests avoid).
double vincenty_inverse(double lat1, double lon1, double lat2, double lon2) {
    const double l = (lon2 - lon1) * rad;
    const double u1 = std::atan((1 - ell_f) * std::tan(lat1 * rad));
    const double u2 = std::atan((1 - ell_f) * std::tan(lat2 * rad));
    const double sin_u1 = std::sin(u1), cos_u1 = std::cos(u1);
    const double sin_u2 = std::sin(u2), cos_u2 = std::cos(u2);
    double lambda = l, lambda_prev;
    double sin_s = 0, cos_s = 0, sigma = 0, cos2_alpha = 0, cos_2sm = 0;
    int i = 0;
    for (; i < 1000; ++i) {
        const double sin_l = std::sin(lambda), cos_l = std::cos(lambda);
        sin_s = std::sqrt((cos_u2 * sin_l) * (cos_u2 * sin_l) +
                          (cos_u1 * sin_u2 - sin_u1 * cos_u2 * cos_l) * (cos_u1 * sin_u2 - sin_u1 * cos_u2 * cos_l));
        if (sin_s == 0)
            return 0;
        cos_s = sin_u1 * sin_u2 + cos_u1 * cos_u2 * cos_l;
        sigma = std::atan2(sin_s, cos_s);
        const double sin_alpha = cos_u1 * cos_u2 * sin_l / sin_s;
        cos2_alpha = 1 - sin_alpha * sin_alpha;
        cos_2sm = cos2_alpha != 0 ? cos_s - 2 * sin_u1 * sin_u2 / cos2_alpha : 0;
        const double c = ell_f / 16 * cos2_alpha * (4 + ell_f * (4 - 3 * cos2_alpha));
        lambda_prev = lambda;
        lambda = l + (1 - c) * ell_f * sin_alpha *
                         (sigma + c * sin_s * (cos_2sm + c * cos_s * (-1 + 2 * cos_2sm * cos_2sm)));
        if (std::fabs(lambda - lambda_prev) < 1e-13)
            break;
    }
    if (i == 1000)
        return -1;
    const double u_sq = cos2_alpha * (ell_a * ell_a - ell_b * ell_b) / (ell_b * ell_b);
    const double a = 1 + u_sq / 16384 * (4096 + u_sq * (-768 + u_sq * (320 - 175 * u_sq)));
    const double b = u_sq / 1024 * (256 + u_sq * (-128 + u_sq * (74 - 47 * u_sq)));
    const double d_sigma =
        b * sin_s *
        (cos_2sm + b / 4 *
                       (cos_s * (-1 + 2 * cos_2sm * cos_2sm) -
                        b / 6 * cos_2sm * (-3 + 4 * sin_s * sin_s) * (-3 + 4 * cos_2sm * cos_2sm)));
    return ell_b * a * (sigma - d_sigma);
}

TEST(geodesic_accuracy, reference_formulas_agree_with_each_other_and_the_equator) {
    // Along the equator a geodesic is the equator itself.
    double lat = 1, lon = 0;
    vincenty_direct(0, 0, 90, 1000000, lat, lon);
    EXPECT_NEAR(lat, 0, 1e-12);
    EXPECT_NEAR(lon * rad * ell_a, 1000000, 1e-6);
    for (double s : {1.0, 1000.0, 1e6, 1.9e7}) {
        vincenty_direct(37, -5, 33, s, lat, lon);
        EXPECT_NEAR(vincenty_inverse(37, -5, lat, lon), s, 1e-6 + s * 1e-12) << s;
    }
}

TEST(geodesic_accuracy, distance_table) {
    struct range_bound {
        double metres;
        double max_error;  // metres, enforced
    } ranges[] = {
        // Andoyer-Lambert corrects the sphere to first order in f, so up
        // to continental distances the error is about f² (1.3e-5) of
        // the distance; it grows towards antipodes.
        {1, 1.5e-5},  {10, 1.5e-4},   {100, 1.5e-3},  {1e3, 0.015},   {1e4, 0.15},  {1e5, 1.5},
        {1e6, 15},    {5e6, 60},      {1e7, 80},      {1.5e7, 80},    {1.9e7, 600},
    };
    std::printf("\nkiv_calc_distance against Vincenty on a = 6378140 m, f = 1/298.257\n");
    std::printf("(starts 80S..80N every 10 deg, azimuths every 15 deg; 408 pairs per row)\n");
    std::printf("%12s %14s %14s %12s %12s\n", "distance m", "max error m", "mean error m", "max rel", "bound m");
    for (const auto& r : ranges) {
        double worst = 0, sum = 0, worst_rel = 0;
        int n = 0;
        for (int lat1 = -80; lat1 <= 80; lat1 += 10) {
            for (int az = 0; az < 360; az += 15) {
                double lat2 = 0, lon2 = 0;
                vincenty_direct(lat1, 20, az, r.metres, lat2, lon2);
                const double check = vincenty_inverse(lat1, 20, lat2, lon2);
                ASSERT_NEAR(check, r.metres, 1e-6 + r.metres * 1e-11) << lat1 << " " << az;
                const double err = std::fabs(kiv_calc_distance(lat1, 20, lat2, lon2) - r.metres);
                worst = std::max(worst, err);
                worst_rel = std::max(worst_rel, err / r.metres);
                sum += err;
                ++n;
            }
        }
        std::printf("%12.0f %14.6f %14.6f %12.2e %12.2e\n", r.metres, worst, sum / n, worst_rel, r.max_error);
        EXPECT_LE(worst, r.max_error) << r.metres;
    }
}

// The least reference distance from (lat, lon) to the segment, sampled
// every 1/4000 of it and then refined around the best sample.
double sampled_distance(double lat1, double lon1, double lat2, double lon2, double lat, double lon) {
    auto at = [&](double t) {
        return vincenty_inverse(lat1 + (lat2 - lat1) * t, lon1 + (lon2 - lon1) * t, lat, lon);
    };
    const int n = 4000;
    int best_i = 0;
    double best = at(0);
    for (int i = 1; i <= n; ++i) {
        const double d = at(double(i) / n);
        if (d < best) {
            best = d;
            best_i = i;
        }
    }
    const double lo = std::max(0.0, double(best_i - 1) / n), hi = std::min(1.0, double(best_i + 1) / n);
    for (int i = 0; i <= 1000; ++i)
        best = std::min(best, at(lo + (hi - lo) * i / 1000));
    return best;
}

// The foot in unscaled degrees, as the helper once dropped it.
double plane_foot_distance(double l1, double r1, double l2, double r2, double e, double o) {
    const double h = (l1 - l2) / (r1 - r2);
    const double v = (o + e * h - h * (l1 - r1 * h)) / (h * h + 1);
    const double u = l1 - r1 * h + h * v;
    return kiv_calc_distance(u, v, e, o);
}

TEST(geodesic_accuracy, distance_to_segment_table) {
    struct lat_bound {
        double lat;
        double max_rel;  // of the distance, enforced: the distance formula's own error and a little
    } lats[] = {{0, 3e-5}, {45, 3e-5}, {60, 3e-5}, {70, 3e-5}};
    std::printf("\nkiv_geodistance_to_line against dense sampling of the segment (Vincenty)\n");
    std::printf("(5 km segments in 6 directions, points 20 m to 1 km aside at 2 places)\n");
    std::printf("%8s %14s %12s %18s %12s\n", "lat", "max error m", "max rel", "plane foot rel", "bound rel");
    for (const auto& lb : lats) {
        double worst = 0, worst_rel = 0, plane_rel = 0;
        for (int az : {10, 35, 60, 90, 125, 160}) {
            double lat2 = 0, lon2 = 0;
            vincenty_direct(lb.lat, 30, az, 5000, lat2, lon2);
            for (double t : {0.3, 0.7}) {
                const double flat = lb.lat + (lat2 - lb.lat) * t, flon = 30 + (lon2 - 30) * t;
                for (double off : {20.0, 150.0, 1000.0}) {
                    for (int side : {-1, 1}) {
                        double plat = 0, plon = 0;
                        vincenty_direct(flat, flon, az + 90 * side, off, plat, plon);
                        const double ref = sampled_distance(lb.lat, 30, lat2, lon2, plat, plon);
                        const double got = kiv_geodistance_to_line(lb.lat, 30, lat2, lon2, plat, plon, true);
                        ASSERT_GE(got, 0) << lb.lat << " " << az << " " << t << " " << off;
                        const double err = std::fabs(got - ref);
                        worst = std::max(worst, err);
                        worst_rel = std::max(worst_rel, err / ref);
                        plane_rel = std::max(
                            plane_rel,
                            std::fabs(plane_foot_distance(lb.lat, 30, lat2, lon2, plat, plon) - ref) / ref);
                    }
                }
            }
        }
        std::printf("%8.0f %14.4f %12.2e %18.2e %12.2e\n", lb.lat, worst, worst_rel, plane_rel, lb.max_rel);
        EXPECT_LE(worst_rel, lb.max_rel) << lb.lat;
    }
}

}  // namespace
