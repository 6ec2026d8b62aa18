// gwx_control.h --
//
//     The map control behind the "gwx" driver, as the driver, its host
//     and its renderer call it. The outside control this driver was built
//     for exists only on another platform; here one method stands for
//     each operation the driver uses, with the control's numbering noted
//     beside it, and gwx_create_control makes the stand-in control of
//     this library (text "*.chart" maps, searches by class code and name,
//     24-bit BMP snapshots). Tests put a scripted control in its place.
//
//     Texts cross as UTF-16. The driver sends them after a round through
//     the system's 8-bit code page (characters it lacks become "?"), the
//     way the outside control expected them.
//
//     A false result is the control refusing the call (the outside
//     control's negative result code). Record sets and objects handed
//     out are owned by the caller and stay valid after the control
//     changes; they carry copies, not views into the control.
//
//     Threads: a control may be called from several threads; the
//     stand-in serialises every call on its own lock. Record sets and
//     objects belong to one caller at a time.

#ifndef KIV_GWX_GWX_CONTROL_H
#define KIV_GWX_GWX_CONTROL_H

#include <kiv/core/export.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kiv {

// Records with a cursor: objects found by a query, or the loaded maps
// with their layers. Fields of object records: 0 the id (decimal text),
// 1 the map's name, 2 the class code, 3 the name. Fields of map and
// layer records: 0 the state value, 1 the name; child 3 of a map record
// holds its layers.
class KIV_EXPORT gwx_record_set {
public:
    virtual ~gwx_record_set();

    // (13) Moves to the first record.
    // Returns: its position (0), negative when there is none.
    virtual long move_first() = 0;
    // (15) Moves to the next record.
    // Returns: its position, negative past the last one.
    virtual long move_next() = 0;
    // (21) The field `index` of the current record as text.
    // Returns: false without a current record or such a field.
    virtual bool get_field_text(int index, std::u16string& text) = 0;
    // (12) The field `index` of the current record as a number.
    // Returns: false without a current record or such a field.
    virtual bool get_field_value(int index, double& value) = 0;
    // (20) The child record set `index` of the current record.
    // Returns: false without a current record or such a child.
    virtual bool get_child(int index, std::unique_ptr<gwx_record_set>& child) = 0;
};

// One object of a map, as get_object gives it.
class KIV_EXPORT gwx_object {
public:
    virtual ~gwx_object();

    // (7) The object's position: latitude and longitude for a point;
    // for an area the centre's latitude and longitude followed by the
    // half height and half width in degrees (so the first two values
    // are always a point, and the four values bound the area for
    // query_area).
    // Returns: false when the object has no position.
    virtual bool get_coords(std::vector<double>& values) = 0;
};

class KIV_EXPORT gwx_control {
public:
    virtual ~gwx_control();

    // Host side: what the hidden window and the container site did for
    // the outside control.

    // Gives the control a drawing area of width × height pixels (the
    // control is hidden and shown again with that extent).
    // Returns: false when a side is 0 or the control is closed.
    virtual bool resize(unsigned width, unsigned height) = 0;
    // Hides and closes the control without saving; every later call
    // fails. Closing twice does nothing.
    virtual void close() = 0;

    // Operations of the control.

    // (8) Opens an empty workspace; the driver calls it once before it
    // loads maps, with an empty text.
    virtual bool open_workspace(const std::u16string& text) = 0;
    // (10) The scale denominator of the view.
    virtual bool set_scale(double scale) = 0;
    // (11) The centre of the view.
    virtual bool set_center(double lat, double lon) = 0;
    // (21) Objects matching a query "{code,code,...}name": the class
    // code of each begins with one of the codes (no braces: any class)
    // and its name begins with `name`, letter case ignored.
    virtual bool query(const std::u16string& text, std::unique_ptr<gwx_record_set>& records) = 0;
    // (23) Objects meeting the area of centre (lat, lon) with half
    // height and half width (degrees), the four values of an area
    // object's get_coords.
    virtual bool query_area(double lat, double lon, double half_height, double half_width,
                            std::unique_ptr<gwx_record_set>& records) = 0;
    // (28) The object with that id.
    virtual bool get_object(long long id, std::unique_ptr<gwx_object>& object) = 0;
    // (34) The area of a loaded map, by the handle load_map gave.
    virtual bool get_map_bounds(long handle, double& min_lat, double& min_lon, double& max_lat,
                                double& max_lon) = 0;
    // (39) Draws the area north/west/south/east into a 24-bit
    // bottom-up BMP file of width × height pixels at `file`; `flags` is
    // 10 from the driver.
    virtual bool save_snapshot(const std::u16string& file, double north, double west, double south,
                               double east, int width, int height, int flags) = 0;
    // (40) The loaded maps (one record each) and their layers.
    virtual bool get_maps(std::unique_ptr<gwx_record_set>& records) = 0;
    // (41) Shows or hides the layer on which `layer` (a layer record set
    // from get_maps) stands; `mode` is "VMCT" from the driver.
    virtual bool set_layer_state(gwx_record_set& layer, bool visible, const std::u16string& mode) = 0;
    // (53) and (61): the driver calls them once after loading its maps,
    // set_auto_redraw with 1 first, then set_tool with 0.
    virtual bool set_tool(long value) = 0;
    virtual bool set_auto_redraw(long value) = 0;
    // (63) Loads a map file. `code` receives the control's result code
    // (0 loaded, 1 already loaded, 2 file missing, 3 invalid file,
    // 4 unknown format, 5 system error, ...) and `handle`, when the
    // code is 0, the map's handle.
    // Returns: false only when the call itself failed.
    virtual bool load_map(const std::u16string& path, const std::u16string& text, long& handle,
                          long& code) = 0;
    // (64) Unloads the map loaded from `path`.
    virtual bool unload_map(const std::u16string& path) = 0;
    // (71) The name of the place at a point ("" when nothing is there).
    virtual bool get_place_name(double lat, double lon, std::u16string& name) = 0;
};

// Makes the control a driver hosts; a null result means the control
// could not be created.
using gwx_control_factory = std::function<std::unique_ptr<gwx_control>()>;

}  // namespace kiv

// The stand-in control of this library (the creation by class id of the
// outside control). It knows no map until load_map.
// Returns: the control, owned by the caller, or null when memory fails.
// Any thread.
KIV_EXPORT std::unique_ptr<kiv::gwx_control> gwx_create_control();

#endif
