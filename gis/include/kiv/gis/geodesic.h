// geodesic.h --
//
//     Distances and directions on the Earth and in the plane. The ozm
//     driver snaps roads and words locations with them, the map view
//     measures and fits views, the viewport takes its latitude
//     coefficient from here. Latitudes and longitudes are degrees,
//     distances metres (the planar function works in the caller's
//     units). All are pure functions, safe from any thread.

#ifndef KIV_GIS_GEODESIC_H
#define KIV_GIS_GEODESIC_H

#include <kiv/core/export.h>

// Distance on the ellipsoid (a = 6378.14 km, f = 1/298.257) by the
// Andoyer-Lambert formula. Measured against GeographicLib's exact
// geodesic (GeodSolve on the same ellipsoid, 600,000 pairs over the
// globe and near antipodes): within 1.28e-5 (13 mm a kilometre) up to
// 18,000 km, where that is 182 m; then it grows: 2.0e-5 (370 m) up to
// 18,863 km, 2.3e-5 (439 m) up to 19,000 km, 4.8e-5 (937 m) up to
// 19,500 km, and 1.6e-3 (32 km) at the antipodes (20,004 km).
// The accuracy test of the library prints the table per range.
// Returns: metres; exactly 0 for equal points; -1 (as the other distances
//     here fail) when a point is no place: a latitude beyond +-90, a
//     longitude beyond +-360, or a coordinate that is not a number.
KIV_EXTERN_C double kiv_calc_distance(double lat1, double lon1, double lat2, double lon2);

// Direction from point 1 to point 2 in the plane of the degrees (no
// scaling of longitude), as whole degrees of the back bearing: due north
// of point 1 gives 180, due south 360, due east 270, due west 90,
// north-east 225. Scripts rely on this convention; equal latitudes take
// the same formula, so equal points give 180. Longitudes are compared
// the short way round: from 179.9 to -179.9 is a hop east (270).
// Returns: 0..360; 0 when the direction is not a number (a NaN input,
//     or equal infinities that cancel).
KIV_EXTERN_C int kiv_calc_course(double lat1, double lon1, double lat2, double lon2);

// Planar distance from (pnt_from_x, pnt_from_y) to the line through
// pnt1 and pnt2 (its perpendicular foot). With check_intersect the foot
// must lie within the segment's ranges in x and in y.
// Returns: the distance; the distance to pnt1 when both line points are
//     equal; -1 when check_intersect is set and the foot lies outside.
KIV_EXTERN_C double kiv_distance_to_line(double pnt1x, double pnt1y, double pnt2x, double pnt2y,
                                         double pnt_from_x, double pnt_from_y, bool check_intersect);

// Distance in metres from pnt_from to the segment pnt1-pnt2. The foot
// of the perpendicular is found in a plane whose longitudes are scaled
// by the cosine of pnt_from's latitude, so it is right away from the
// equator; the distance to the foot is kiv_calc_distance. The segment
// runs the short way round between its ends (179.99 to -179.99 is 0.02
// degrees across 180) and the point is taken next to it, so the ranges
// of check_intersect are those of that short segment.
// Changes: *plat_int and *plon_int (when not null) receive the foot,
//     except when both line points are equal (then untouched); a foot
//     beyond 180 on a segment across it is written within +-180.
// Returns: metres; the distance to pnt1 when both line points are
//     equal; -1 when check_intersect is set and the foot's latitude or
//     longitude lies outside the segment's degree ranges.
KIV_EXTERN_C double kiv_geodistance_to_line(double pnt1_lat, double pnt1_lon, double pnt2_lat,
                                            double pnt2_lon, double pnt_from_lat,
                                            double pnt_from_lon, bool check_intersect,
                                            double* plat_int = nullptr, double* plon_int = nullptr);

// The latitude coefficient, an approximation of 1 / cos(lat) read from a
// fixed table of whole degrees (0.0 gives 0.994619, 89.9 gives
// 56.853094, -45.7 gives 1.407516). The viewport divides the latitude
// extent of a centred view by it.
// Returns: the table entry of |lat| truncated; 1.0 at or beyond the
//     poles (|lat| >= 90) and for NaN.
KIV_EXTERN_C double kiv_gis_calc_lat_coef(double lat);

#endif
