// map_search_panel.h --
//
//     The map search panel: a dockable panel that finds a city, a street
//     of that city and a house of that street through "svc_gis" (its
//     default driver), and announces the row the user activates with the
//     GUI event "AVL_EVT_FEATURE_FOUND" (the map view centres on it and
//     marks it). Also the found item (`search_item`) and the row source
//     of the city and street lists (`search_container`). GUI thread only.

#ifndef KIV_GUI_ADDIN_MAP_SEARCH_PANEL_H
#define KIV_GUI_ADDIN_MAP_SEARCH_PANEL_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>
#include <kiv/gui/list_ctrl.h>
#include <kiv/gui_addin/i_search_item.h>
#include <kiv/gui_addin/panel.h>

#include <string>

class wxListEvent;
class wxTextCtrl;

namespace kiv {

class KIV_EXPORT search_item : public i_typed_object_impl,
                               public i_named_object_impl,
                               public object,
                               public virtual i_search_item {
public:
    // `text` is copied and becomes the name; `type` is one of the
    // i_search_item type values.
    search_item(int64_t id, const char* text, double lat, double lon, int type);
    // Answers "i_typed_object", "i_named_object" and "i_search_item".
    bool get_interface(const char* name, void** out) override;
    int get_type() override { return type_; }
    double get_lat() override { return lat_; }
    double get_lon() override { return lon_; }

private:
    double lat_, lon_;
    int type_;
};

// Rows of a result list: column 0 the row number from 1, column 1 the
// item's name.
class KIV_EXPORT search_container : public list_ctrl_container {
public:
    search_container() = default;
    // Holds a reference to its rows: shared through references only.
    search_container(const search_container&) = delete;
    search_container& operator=(const search_container&) = delete;

    // Returns: the cell text; "-" for no control, no rows, a row past the
    //     end or a row that is no search item.
    wxString get_item_text(list_ctrl* ctrl, long item, long column) override;
    int get_item_image(list_ctrl*, long) override { return -1; }
    wxListItemAttr* get_item_attr(list_ctrl*, long) override { return nullptr; }
    // Keeps `objects` (null: none) and, with a list, resets its rows and
    // gives the name column what the number column leaves of the width.
    void set_objects(wxListCtrl* ctrl, i_object_col* objects) override;

private:
    auto_ptr_t<i_object_col> rows_;  // held reference; null: no rows
};

class KIV_EXPORT map_search_panel : public panel {
public:
    // Builds the fields and lists when the panel has its window.
    explicit map_search_panel(wxWindow* parent);
    ~map_search_panel() override;

    // Queues "AVL_EVT_FEATURE_FOUND" with `item`; null does nothing.
    void show_result(i_search_item* item);

    // The controls, for the program that docks the panel and for tests;
    // null when the panel has no window.
    wxTextCtrl* city_field() const { return city_text_; }
    wxTextCtrl* street_field() const { return street_text_; }
    list_ctrl* city_list() const { return city_list_; }
    list_ctrl* street_list() const { return street_list_; }
    list_ctrl* house_list() const { return house_list_; }
    i_object_col* cities() const { return cities_.get(); }
    i_object_col* streets() const { return streets_.get(); }
    i_object_col* houses() const { return houses_.get(); }

private:
    void on_city_enter(wxCommandEvent& event);
    void on_city_search(wxCommandEvent& event);
    void on_street_enter(wxCommandEvent& event);
    void on_street_search(wxCommandEvent& event);
    void on_city_selected(wxListEvent& event);
    void on_street_selected(wxListEvent& event);
    void on_house_selected(wxListEvent& event);
    void on_city_activated(wxListEvent& event);
    void on_street_activated(wxListEvent& event);
    void on_house_activated(wxListEvent& event);
    // A result list was resized: its name column takes the new width.
    void on_list_size(wxSizeEvent& event);

    void clear_houses();
    // Moves the focus to `list` and selects its first row, when it has one.
    static void select_first(list_ctrl* list);
    // Shows the item at `row` of `items`; -1 or a row past the end: nothing.
    void activate(i_object_col* items, long row);

    auto_ptr_t<search_container> city_rows_, street_rows_;
    auto_ptr_t<i_object_col_x> cities_, streets_, houses_;
    wxPanel* inner_ = nullptr;  // child windows, gone with the panel's window
    wxTextCtrl* city_text_ = nullptr;
    wxTextCtrl* street_text_ = nullptr;
    list_ctrl* city_list_ = nullptr;
    list_ctrl* street_list_ = nullptr;
    list_ctrl* house_list_ = nullptr;
};

// Returns: `text` lower-cased character by character (UTF-8, the whole
//     basic plane); the search panel's street match compares these.
KIV_EXPORT std::string kiv_search_lower(const std::string& text);

}  // namespace kiv

#endif
