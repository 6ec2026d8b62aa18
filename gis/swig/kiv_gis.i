// kiv_gis.i --
//
//     The Tcl package "kiv_gis" (Kiv_gis_Init, Kiv_gis_SafeInit), built
//     into kiv_gis.so by cmake's kiv_add_tcl_package: the GIS interfaces,
//     the image interface of the pictures they hand out, the flat and
//     geodesic functions and the casts, and the core's command set under
//     the same names as in the core's own package.
//
//     Value types travel as Tcl lists: a geo_point is {lat lon}, a
//     view_point {x y}, a road_point {lat lon simulated}. An interface
//     method that fills points appends one such list per point to its
//     result ("i_gis_viewport_get_center $vp" gives "1 {55.75 37.62}").
//
//     Arrays with a separate count never come from scripts, where a
//     count could claim more than was given:
//       - i_gis_viewport_dp_to_lc2 and _lc_to_dp2 take one Tcl list of
//         points (the count is its length) and give the converted list;
//       - the array forms of get_locations_text and lock_points_to_road
//         (service and driver) are left out: kiv_gis_get_locations_text
//         and kiv_gis_lock_points_to_road take the points as text lists;
//       - the road lock's raw array (get_points) is left out: get_point
//         gives each point;
//       - the driver's get_location_text, with its distance out-pointer,
//         is left out: the service's and kiv_gis_get_loc_text serve
//         scripts;
//       - the foot pointers of kiv_geodistance_to_line are always null.

%module kiv_gis

%include "kiv_swig.i"
%include "kiv_core_api.i"

%{
#include <kiv/gis/geodesic.h>
#include <kiv/gis/gis_lib.h>
#include <kiv/gis/gis_types.h>
#include <kiv/gis/i_gis_driver.h>
#include <kiv/gis/i_gis_road_lock.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/image/i_image.h>

#include <vector>

static Tcl_Obj* kiv_gis_geo_list(const kiv::geo_point& pt) {
    Tcl_Obj* items[2] = {Tcl_NewDoubleObj(pt.lat), Tcl_NewDoubleObj(pt.lon)};
    return Tcl_NewListObj(2, items);
}
static Tcl_Obj* kiv_gis_view_list(const kiv::view_point& pt) {
    Tcl_Obj* items[2] = {Tcl_NewIntObj(pt.x), Tcl_NewIntObj(pt.y)};
    return Tcl_NewListObj(2, items);
}
static Tcl_Obj* kiv_gis_road_list(const kiv::road_point& pt) {
    Tcl_Obj* items[3] = {Tcl_NewDoubleObj(pt.lat), Tcl_NewDoubleObj(pt.lon), Tcl_NewIntObj(pt.simulated)};
    return Tcl_NewListObj(3, items);
}

// Appends one element to the command's result, made a list.
static void kiv_gis_append_result(Tcl_Interp* interp, Tcl_Obj* element) {
    Tcl_Obj* result = Tcl_GetObjResult(interp);
    if (Tcl_IsShared(result)) {
        result = Tcl_DuplicateObj(result);
        Tcl_SetObjResult(interp, result);
    }
    if (Tcl_ListObjAppendElement(interp, result, element) != TCL_OK)
        Tcl_DecrRefCount(element);
}

// Reads a Tcl list of two-number lists into `points` (x y as ints, or
// lat lon as doubles). Returns: false with an error result when an
// element is not a pair of numbers.
template <class point, class reader>
static bool kiv_gis_read_points(Tcl_Interp* interp, Tcl_Obj* list, std::vector<point>& points, reader read) {
    int count = 0;
    Tcl_Obj** items = nullptr;
    if (Tcl_ListObjGetElements(interp, list, &count, &items) != TCL_OK)
        return false;
    points.assign(static_cast<size_t>(count) + 1, point{});  // never empty, so data() is not null
    points.resize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        int n = 0;
        Tcl_Obj** pair = nullptr;
        if (Tcl_ListObjGetElements(interp, items[i], &n, &pair) != TCL_OK)
            return false;
        if (n != 2 || !read(interp, pair, points[static_cast<size_t>(i)])) {
            Tcl_SetObjResult(interp, Tcl_ObjPrintf("point %d is not a pair of numbers", i));
            return false;
        }
    }
    return true;
}
static bool kiv_gis_read_view(Tcl_Interp* interp, Tcl_Obj** pair, kiv::view_point& pt) {
    return Tcl_GetIntFromObj(interp, pair[0], &pt.x) == TCL_OK && Tcl_GetIntFromObj(interp, pair[1], &pt.y) == TCL_OK;
}
static bool kiv_gis_read_geo(Tcl_Interp* interp, Tcl_Obj** pair, kiv::geo_point& pt) {
    return Tcl_GetDoubleFromObj(interp, pair[0], &pt.lat) == TCL_OK &&
           Tcl_GetDoubleFromObj(interp, pair[1], &pt.lon) == TCL_OK;
}

// kiv_gis_create_road_point with every argument optional.
static kiv::road_point kiv_gis_create_road_point_script(double lat = 0.0, double lon = 0.0,
                                                        unsigned char simulated = 0) {
    return kiv_gis_create_road_point(lat, lon, simulated);
}
%}

// Value types returned by value.
%typemap(out) kiv::geo_point "Tcl_SetObjResult(interp, kiv_gis_geo_list($1));"
%typemap(out) kiv::view_point "Tcl_SetObjResult(interp, kiv_gis_view_list($1));"
%typemap(out) kiv::road_point "Tcl_SetObjResult(interp, kiv_gis_road_list($1));"

// Points a method fills: no script argument, one list appended.
%typemap(in, numinputs=0) kiv::geo_point& (kiv::geo_point temp) "temp = kiv::geo_point{0, 0}; $1 = &temp;"
%typemap(argout) kiv::geo_point& "kiv_gis_append_result(interp, kiv_gis_geo_list(*$1));"
%typemap(in, numinputs=0) kiv::view_point& (kiv::view_point temp) "temp = kiv::view_point{0, 0}; $1 = &temp;"
%typemap(argout) kiv::view_point& "kiv_gis_append_result(interp, kiv_gis_view_list(*$1));"
%typemap(in, numinputs=0) kiv::road_point& (kiv::road_point temp) "temp = kiv::road_point{}; $1 = &temp;"
%typemap(argout) kiv::road_point& "kiv_gis_append_result(interp, kiv_gis_road_list(*$1));"

// Point arrays as one Tcl list each; the result is the converted list,
// or an error when the viewport cannot be computed.
%typemap(in, numinputs=1) (kiv::view_point* vpts, kiv::geo_point* gpts, unsigned count)
             (std::vector<kiv::view_point> from, std::vector<kiv::geo_point> to) {
    if (!kiv_gis_read_points(interp, $input, from, kiv_gis_read_view))
        SWIG_fail;
    to.assign(from.size() + 1, kiv::geo_point{0, 0});
    $1 = from.data();
    $2 = to.data();
    $3 = static_cast<unsigned>(from.size());
}
%typemap(argout) (kiv::view_point* vpts, kiv::geo_point* gpts, unsigned count) {
    if (!result) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("$symname: the viewport cannot be computed", -1));
        SWIG_fail;
    }
    Tcl_Obj* list_$argnum = Tcl_NewListObj(0, nullptr);
    for (unsigned i = 0; i < $3; ++i)
        Tcl_ListObjAppendElement(interp, list_$argnum, kiv_gis_geo_list($2[i]));
    Tcl_SetObjResult(interp, list_$argnum);
}
%typemap(in, numinputs=1) (kiv::geo_point* gpts, kiv::view_point* vpts, unsigned count)
             (std::vector<kiv::geo_point> from, std::vector<kiv::view_point> to) {
    if (!kiv_gis_read_points(interp, $input, from, kiv_gis_read_geo))
        SWIG_fail;
    to.assign(from.size() + 1, kiv::view_point{0, 0});
    $1 = from.data();
    $2 = to.data();
    $3 = static_cast<unsigned>(from.size());
}
%typemap(argout) (kiv::geo_point* gpts, kiv::view_point* vpts, unsigned count) {
    if (!result) {
        Tcl_SetObjResult(interp, Tcl_NewStringObj("$symname: the viewport cannot be computed", -1));
        SWIG_fail;
    }
    Tcl_Obj* list_$argnum = Tcl_NewListObj(0, nullptr);
    for (unsigned i = 0; i < $3; ++i)
        Tcl_ListObjAppendElement(interp, list_$argnum, kiv_gis_view_list($2[i]));
    Tcl_SetObjResult(interp, list_$argnum);
}

%typemap(in, numinputs=0) double* plat_int, double* plon_int "$1 = nullptr;"

%ignore kiv::i_gis_service::get_locations_text;
%ignore kiv::i_gis_service::lock_points_to_road;
%ignore kiv::i_gis_driver::get_locations_text;
%ignore kiv::i_gis_driver::lock_points_to_road;
%ignore kiv::i_gis_driver::get_location_text;
%ignore kiv::i_gis_road_lock::get_points;
%ignore kiv_gis_create_road_point;
%ignore kiv::geo_point;
%ignore kiv::view_point;
%ignore kiv::road_point;

%include <kiv/image/i_image.h>
%include <kiv/gis/gis_types.h>
%include <kiv/gis/i_gis_viewport.h>
%include <kiv/gis/i_gis_road_lock.h>
%include <kiv/gis/i_gis_driver.h>
%include <kiv/gis/i_gis_service.h>
%include <kiv/gis/geodesic.h>
%include <kiv/gis/gis_lib.h>

%rename(kiv_gis_create_road_point) kiv_gis_create_road_point_script;
kiv::road_point kiv_gis_create_road_point_script(double lat = 0.0, double lon = 0.0, unsigned char simulated = 0);
