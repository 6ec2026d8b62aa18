// addin_lib.h --
//
//     The plain exported functions of kiv_gui_addin: the tables its
//     library entry fills (the 17 scales of the map view's wheel and best
//     view, the render-layer names of the ozm render configuration) and
//     helpers for coordinates, texts, registry lists, images and docking
//     panes; the casts sit beside their classes and interfaces. Unless said otherwise
//     they run on the GUI thread.
//
//     Every function here is exported under its plain (unmangled) name:
//     none is overloaded, so all have C linkage, and a program may look
//     them up by name in the loaded library. They stay C++ functions all
//     the same (their arguments and results are toolkit classes), callable
//     from C++ only.

#ifndef KIV_GUI_ADDIN_ADDIN_LIB_H
#define KIV_GUI_ADDIN_ADDIN_LIB_H

#include <kiv/core/export.h>
#include <kiv/gis/gis_types.h>

#include <wx/arrstr.h>
#include <wx/dynarray.h>
#include <wx/gdicmn.h>
#include <wx/string.h>

#include <ctime>

class wxAuiPaneInfo;
class wxImage;
class wxMenu;

namespace kiv {
class i_image;
}

// The point lists of the map modes.
WX_DECLARE_USER_EXPORTED_OBJARRAY(wxRealPoint, wxArrayRealPoint, KIV_EXPORT);

// --- tables -----------------------------------------------------------------

// Returns: the scale table, 17 denominators from 50000000 down to 1000
//     (empty before the library entry ran). Owned by the library.
KIV_EXTERN_C wxArrayLong* get_scale_values();
// out := the render-layer names found by the library entry.
// Returns: true when there is at least one.
KIV_EXTERN_C bool get_ozm_map_layers_info(wxArrayString& out);
// Returns: the process-wide map-layer menu, made empty on first use
//     (the toolkit must be running); owned by the library.
KIV_EXTERN_C wxMenu* get_map_layer_menu();

// --- coordinates and geometry ----------------------------------------------

// Returns: -90 <= lat <= 90 and -180 <= lon <= 180. Any thread.
KIV_EXTERN_C bool is_valid_coords(double lat, double lon);
// Returns: 1 when (lat, lon) lies in the box from the north-west corner
//     (lat1, lon1) to the south-east corner (lat2, lon2), else 0.
KIV_EXTERN_C int pt_in_rect(double lat1, double lon1, double lat2, double lon2, double lat, double lon);
// The distance, in the plane of degrees, from (lat, lon) to the segment
// (lat1, lon1)-(lat2, lon2). Changes: *nearest (when not null) gets the
// segment's point nearest to it. Returns: that distance.
KIV_EXTERN_C double kiv_distance_to_line2(double lat1, double lon1, double lat2, double lon2, double lat, double lon,
                                          kiv::geo_point* nearest);
// The area enclosed by the points (x latitude, y longitude, degrees) in
// their order, in km²: three points by base and height on the ellipsoid,
// more by the shoelace formula in a local plane (north offsets along the
// meridian, east offsets along each point's own parallel), so a concave
// outline measures its own area; an outline that crosses itself measures
// the area of its convex hull. Returns: 0 for fewer than three points.
KIV_EXTERN_C double get_polygon_area(const wxArrayRealPoint& points);

// The red, green and blue bytes of the first ceil(size / 4) pixels of an
// RGBA buffer in a new width x height x 3 buffer (the rest zero).
// Returns: a malloc-ed buffer the caller frees (or hands to a wxImage);
//     null when an argument is 0, size exceeds width x height x 4, or
//     memory fails. Any thread.
KIV_EXTERN_C unsigned char* rgba2rgb(unsigned width, unsigned height, const unsigned char* rgba, unsigned size);

// --- texts ------------------------------------------------------------------

// These return a toolkit string by value with C linkage, which clang notes
// as a type C cannot express; the plain names are what the library
// promises, so the note is silenced for these declarations alone.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif

// Returns: what one screen centimetre shows: "1.0 km", "500 m"
//     (translated units).
KIV_EXTERN_C wxString get_fmt_scale(unsigned scale);
// Returns: t as local time, "%d.%m.%y %H:%M:%S".
KIV_EXTERN_C wxString get_fmt_time(time_t t);
// Returns: the span as "%H:%M:%S", or "%D day, %H:%M:%S" (translated)
//     from one whole day on.
KIV_EXTERN_C wxString get_fmt_interval(long seconds);
// Returns: degrees and decimal minutes, "N 53' 54.0300, E 027' 30.0000";
//     the south and west with their letter and absolute values; "" for
//     coordinates out of range.
KIV_EXTERN_C wxString get_fmt_coord(double lat, double lon);
// Returns: value with `digits` decimals and a comma: "3,14".
KIV_EXTERN_C wxString get_fmt_float(double value, int digits);
// Returns: the default driver's text of the place near (lat, lon)
//     within 1000 m, or "" (no service, no place).
KIV_EXTERN_C wxString get_location(double lat, double lon);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

// --- registry lists ---------------------------------------------------------

// out := the non-empty items of the configuration text `key`, split at
// ";", line feeds and carriage returns. Returns: true when out is not
// empty; false also when the key cannot be read.
KIV_EXTERN_C bool get_reg_str_values(const wxString& key, wxArrayString& out);
// out := the items of get_reg_str_values that are base-10 numbers.
// Returns: true when out is not empty.
KIV_EXTERN_C bool get_reg_long_values(const wxString& key, wxArrayLong& out);

// --- images -----------------------------------------------------------------

// Returns: the picture as an i_image (one reference), or null.
KIV_EXTERN_C kiv::i_image* get_image_from_wx(wxImage* image);
KIV_EXTERN_C kiv::i_image* get_image_from_xpm(const char* const* xpm);
// Returns: a new wxImage the caller deletes, or null.
KIV_EXTERN_C wxImage* get_wx_image(kiv::i_image* image);
// Returns: a transparent (2 radius)-square picture with an anti-aliased
//     disc of `colour` (bytes from the lowest: R, G, B, A; a value not
//     above 0xFFFFFF is opaque), one reference; null for radius 0.
KIV_EXTERN_C kiv::i_image* draw_circle(unsigned radius, unsigned colour);
KIV_EXTERN_C kiv::i_image* draw_circle_with_gradient(unsigned radius, unsigned colour);
// Returns: a transparent size-square picture with an arrow head pointing
//     up, one reference; null for size 0.
KIV_EXTERN_C kiv::i_image* draw_arrow(unsigned size, unsigned colour);

// --- docking panes (through "svc_gui_frame") -------------------------------

// Returns: the frame's pane named `name` (UTF-8), the manager's invalid
//     pane when none; null without the frame service or a name.
KIV_EXTERN_C wxAuiPaneInfo* get_panel(const char* name);
KIV_EXTERN_C void show_panel(const char* name, bool show, bool update);
KIV_EXTERN_C bool is_shown_panel(const char* name);

#endif
