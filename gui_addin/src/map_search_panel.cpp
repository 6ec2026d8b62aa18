// map_search_panel.cpp --
//
//     The map search panel: the city, street and house searches through
//     the default driver of "svc_gis", the street-name prefix match, and
//     the found item and the row source of the result lists.

#include <kiv/gui_addin/map_search_panel.h>

#include <kiv/core/i_core.h>
#include <kiv/core/i_translator.h>
#include <kiv/core/service_ref.h>
#include <kiv/gis/i_gis_service.h>
#include <kiv/gui/i_gui_event.h>
#include <kiv/gui/i_gui_event_proc.h>
#include <kiv/gwx/i_gwx_driver.h>

#include <tcl.h>

#include <algorithm>

#include <wx/busyinfo.h>
#include <wx/scrolwin.h>
#include <wx/settings.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <vector>

namespace kiv {

namespace {

wxString translated(const char* text) {
    const char* result = kiv_translate(text, "");
    return wxString::FromUTF8(result != nullptr ? result : text);
}

// Appends every result of `found` (null: none) as an item of `type`.
void add_results(i_gis_search_result* found, i_object_col_x* items, int type) {
    if (found == nullptr)
        return;
    for (bool more = found->first(); more; more = found->next()) {
        const char* text = found->get_result_text();
        auto_ptr_t<search_item> item(new search_item(found->get_result_id(), text != nullptr ? text : "",
                                                     found->get_result_lat(), found->get_result_lon(), type));
        item->addref();
        items->add_item(item.get());
    }
}

// The search item at `row` of `items` with the reference in `holder`, or null.
i_search_item* item_at(i_object_col* items, long row, auto_ptr_t<i_object>& holder) {
    if (items == nullptr || row < 0 || static_cast<unsigned long>(row) >= items->get_count())
        return nullptr;
    holder.reset(items->get_item_by_pos(static_cast<unsigned>(row)));
    return holder.get() != nullptr ? kiv_cast_i_search_item(holder.get()) : nullptr;
}

i_object_col_x* new_col() {
    return kiv_create_col();
}

const long list_style = wxLC_REPORT | wxLC_VIRTUAL | wxLC_SINGLE_SEL | wxLC_NO_HEADER | wxLC_HRULES | wxLC_VRULES;

const int number_width = 40;     // column 0: the row number
const int least_name_width = 60; // column 1 never shrinks below this

// The name column takes what the number column leaves of the list's
// width, so a name shows whole as far as the pane allows.
void fit_name_column(wxListCtrl* list) {
    if (list->GetColumnCount() < 2)
        return;
    int free_width = list->GetClientSize().x - list->GetColumnWidth(0);
    list->SetColumnWidth(1, std::max(free_width, least_name_width));
}

}  // namespace

std::string kiv_search_lower(const std::string& text) {
    // Tcl lower-cases in place and never lengthens the text.
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    int length = Tcl_UtfToLower(buffer.data());
    return std::string(buffer.data(), static_cast<size_t>(length));
}

search_item::search_item(int64_t id, const char* text, double lat, double lon, int type)
    : lat_(lat), lon_(lon), type_(type) {
    id_ = id;
    set_name(text);
}

bool search_item::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_search_item", static_cast<i_search_item*>(this), out))
        return true;
    if (answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    if (answer_interface(name, "i_typed_object", static_cast<i_typed_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

wxString search_container::get_item_text(list_ctrl* ctrl, long item, long column) {
    if (ctrl == nullptr || rows_.get() == nullptr || item < 0 || static_cast<unsigned long>(item) >= rows_->get_count())
        return "-";
    auto_ptr_t<i_object> holder;
    i_search_item* found = item_at(rows_.get(), item, holder);
    if (found == nullptr)
        return "-";
    if (column == 0)
        return wxString::Format("%ld", item + 1);
    if (column == 1) {
        const char* name = found->get_name();
        return wxString::FromUTF8(name != nullptr ? name : "");
    }
    return "-";
}

void search_container::set_objects(wxListCtrl* ctrl, i_object_col* objects) {
    if (objects != nullptr)
        objects->addref();
    rows_.reset(objects);
    if (ctrl == nullptr)
        return;
    ctrl->SetItemCount(rows_.get() != nullptr ? rows_->get_count() : 0);
    ctrl->SetColumnWidth(0, number_width);
    fit_name_column(ctrl);
    ctrl->Refresh();
}

map_search_panel::map_search_panel(wxWindow* parent)
    : panel(parent), city_rows_(new search_container), street_rows_(new search_container),
      cities_(new_col()), streets_(new_col()), houses_(new_col()) {
    city_rows_->addref();
    street_rows_->addref();
    if (wnd_ == nullptr)
        return;
    // A pane shorter than the fields and lists scrolls them up and down
    // (their width follows the pane): squeezed below their minimum, the
    // last lists would be left no height for their own scroll bars.
    wxScrolledWindow* scrolled = new wxScrolledWindow(wnd_, wxID_ANY, wxDefaultPosition, wxDefaultSize,
                                                      wxBORDER_NONE | wxTAB_TRAVERSAL | wxVSCROLL);
    scrolled->SetScrollRate(0, 10);
    inner_ = scrolled;
    wxFont font = wxSystemSettings::GetFont(wxSYS_DEFAULT_GUI_FONT);
    font.SetPointSize(font.GetPointSize() - 1);
    inner_->SetFont(font);

    city_text_ = new wxTextCtrl(inner_, wxID_ANY, "", wxDefaultPosition, wxSize(100, -1), wxTE_PROCESS_ENTER);
    city_list_ = new list_ctrl(inner_, city_rows_.get(), wxSize(-1, 100), list_style);
    city_list_->InsertColumn(0, translated("#"));
    city_list_->InsertColumn(1, translated("Result"));
    city_list_->use_db_click(true);
    street_text_ = new wxTextCtrl(inner_, wxID_ANY, "", wxDefaultPosition, wxSize(120, -1), wxTE_PROCESS_ENTER);
    street_list_ = new list_ctrl(inner_, street_rows_.get(), wxSize(-1, 150), list_style);
    street_list_->InsertColumn(0, translated("#"));
    street_list_->InsertColumn(1, translated("Result"));
    street_list_->use_db_click(true);
    // The houses are few: plain rows, not virtual ones.
    house_list_ = new list_ctrl(inner_, nullptr, wxSize(-1, 50), wxLC_SMALL_ICON | wxLC_SINGLE_SEL);
    house_list_->use_db_click(true);

    const int flags = wxEXPAND | wxLEFT | wxRIGHT | wxTOP;
    wxBoxSizer* city_sizer = new wxBoxSizer(wxVERTICAL);
    city_sizer->Add(new wxStaticText(inner_, wxID_ANY, translated("City:")), 0, flags, 5);
    city_sizer->Add(city_text_, 0, flags, 5);
    city_sizer->Add(city_list_, 1, flags, 5);
    wxBoxSizer* street_sizer = new wxBoxSizer(wxVERTICAL);
    street_sizer->Add(new wxStaticText(inner_, wxID_ANY, translated("Street:")), 0, flags, 5);
    street_sizer->Add(street_text_, 0, flags, 5);
    street_sizer->Add(street_list_, 0, flags, 5);
    wxBoxSizer* house_sizer = new wxBoxSizer(wxVERTICAL);
    house_sizer->Add(house_list_, 1, flags, 5);
    wxBoxSizer* outer = new wxBoxSizer(wxVERTICAL);
    outer->Add(city_sizer, 0, wxEXPAND, 0);
    outer->Add(street_sizer, 0, wxEXPAND, 0);
    outer->Add(house_sizer, 0, wxEXPAND, 0);
    inner_->SetSizer(outer);

    aui_.AddPane(inner_, wxAuiPaneInfo().CenterPane().CaptionVisible(false));
    aui_.Update();

    city_text_->Bind(wxEVT_TEXT_ENTER, &map_search_panel::on_city_enter, this);
    city_text_->Bind(wxEVT_TEXT, &map_search_panel::on_city_search, this);
    street_text_->Bind(wxEVT_TEXT_ENTER, &map_search_panel::on_street_enter, this);
    street_text_->Bind(wxEVT_TEXT, &map_search_panel::on_street_search, this);
    city_list_->Bind(wxEVT_LIST_ITEM_SELECTED, &map_search_panel::on_city_selected, this);
    street_list_->Bind(wxEVT_LIST_ITEM_SELECTED, &map_search_panel::on_street_selected, this);
    house_list_->Bind(wxEVT_LIST_ITEM_SELECTED, &map_search_panel::on_house_selected, this);
    city_list_->Bind(wxEVT_LIST_ITEM_ACTIVATED, &map_search_panel::on_city_activated, this);
    street_list_->Bind(wxEVT_LIST_ITEM_ACTIVATED, &map_search_panel::on_street_activated, this);
    house_list_->Bind(wxEVT_LIST_ITEM_ACTIVATED, &map_search_panel::on_house_activated, this);
    city_list_->Bind(wxEVT_SIZE, &map_search_panel::on_list_size, this);
    street_list_->Bind(wxEVT_SIZE, &map_search_panel::on_list_size, this);
}

map_search_panel::~map_search_panel() {
    // The controls are gone with the window, or go later without calling
    // back: their handlers point at this panel.
    if (wnd_ != nullptr && city_text_ != nullptr) {
        city_text_->Unbind(wxEVT_TEXT_ENTER, &map_search_panel::on_city_enter, this);
        city_text_->Unbind(wxEVT_TEXT, &map_search_panel::on_city_search, this);
        street_text_->Unbind(wxEVT_TEXT_ENTER, &map_search_panel::on_street_enter, this);
        street_text_->Unbind(wxEVT_TEXT, &map_search_panel::on_street_search, this);
        city_list_->Unbind(wxEVT_LIST_ITEM_SELECTED, &map_search_panel::on_city_selected, this);
        street_list_->Unbind(wxEVT_LIST_ITEM_SELECTED, &map_search_panel::on_street_selected, this);
        house_list_->Unbind(wxEVT_LIST_ITEM_SELECTED, &map_search_panel::on_house_selected, this);
        city_list_->Unbind(wxEVT_LIST_ITEM_ACTIVATED, &map_search_panel::on_city_activated, this);
        street_list_->Unbind(wxEVT_LIST_ITEM_ACTIVATED, &map_search_panel::on_street_activated, this);
        house_list_->Unbind(wxEVT_LIST_ITEM_ACTIVATED, &map_search_panel::on_house_activated, this);
        city_list_->Unbind(wxEVT_SIZE, &map_search_panel::on_list_size, this);
        street_list_->Unbind(wxEVT_SIZE, &map_search_panel::on_list_size, this);
    }
    // The lists may stay on screen (the frame keeps the pane) after their
    // row sources are gone: they must have no rows left to ask about.
    city_rows_->set_objects(wnd_ != nullptr ? city_list_ : nullptr, nullptr);
    street_rows_->set_objects(wnd_ != nullptr ? street_list_ : nullptr, nullptr);
}

void map_search_panel::show_result(i_search_item* item) {
    if (item == nullptr)
        return;
    gui_event event("AVL_EVT_FEATURE_FOUND", 0, item);
    kiv_fire_gui_event(&event, false);
}

void map_search_panel::clear_houses() {
    house_list_->DeleteAllItems();
    houses_.reset(new_col());
}

void map_search_panel::select_first(list_ctrl* list) {
    if (list->GetItemCount() == 0)
        return;
    list->SetFocus();
    list->EnsureVisible(0);
    list->SetItemState(0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                       wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
}

void map_search_panel::on_city_search(wxCommandEvent& event) {
    event.Skip();
    if (wnd_ == nullptr)
        return;
    wxBusyInfo wait(translated("Please wait, searching..."), wnd_);
    cities_.reset(new_col());
    streets_.reset(new_col());
    city_rows_->set_objects(city_list_, cities_.get());
    street_rows_->set_objects(street_list_, streets_.get());
    // Emptying the street field must not start a street match.
    street_text_->ChangeValue("");
    clear_houses();
    auto_ptr_t<i_gis_service> gis = service_ref("svc_gis", kiv_cast_i_gis_service);
    if (gis == nullptr)
        return;
    std::string name(city_text_->GetValue().utf8_str());
    auto_ptr_t<i_gis_search_result> found(gis->search_cities(gis->get_default_driver(), name.c_str(), ""));
    add_results(found.get(), cities_.get(), i_search_item::type_city);
    city_rows_->set_objects(city_list_, cities_.get());
}

void map_search_panel::on_city_enter(wxCommandEvent& event) {
    event.Skip();
    if (wnd_ != nullptr)
        select_first(city_list_);
}

void map_search_panel::on_city_selected(wxListEvent& event) {
    event.Skip();
    if (wnd_ == nullptr)
        return;
    wxBusyInfo wait(translated("Please wait, searching..."), wnd_);
    streets_.reset(new_col());
    street_rows_->set_objects(street_list_, streets_.get());
    auto_ptr_t<i_object> item_holder;
    i_search_item* city = item_at(cities_.get(), event.GetIndex(), item_holder);
    if (city == nullptr)
        return;
    auto_ptr_t<i_gis_service> gis = service_ref("svc_gis", kiv_cast_i_gis_service);
    if (gis == nullptr)
        return;
    std::string name(street_text_->GetValue().utf8_str());
    auto_ptr_t<i_gis_search_result> found(gis->search_streets(gis->get_default_driver(), city->get_id(), name.c_str()));
    add_results(found.get(), streets_.get(), i_search_item::type_street);
    street_rows_->set_objects(street_list_, streets_.get());
    if (street_list_->GetItemCount() > 0) {
        street_text_->SetFocus();
        street_list_->EnsureVisible(0);
        street_list_->SetItemState(0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                                   wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    }
}

void map_search_panel::on_street_search(wxCommandEvent& event) {
    event.Skip();
    if (wnd_ == nullptr || streets_->get_count() == 0)
        return;
    // Both sides lower-cased: "Lenin" typed finds "lenina street".
    std::string typed = kiv_search_lower(std::string(street_text_->GetValue().utf8_str()));
    long row = 0;
    unsigned count = streets_->get_count();
    for (unsigned i = 0; i < count; ++i) {
        auto_ptr_t<i_object> holder;
        i_search_item* street = item_at(streets_.get(), static_cast<long>(i), holder);
        const char* name = street != nullptr ? street->get_name() : nullptr;
        if (name == nullptr)
            continue;
        if (kiv_search_lower(name).compare(0, typed.size(), typed) == 0) {
            row = static_cast<long>(i);
            break;
        }
    }
    street_list_->SetItemState(row, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                               wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
    street_list_->EnsureVisible(row);
}

void map_search_panel::on_street_enter(wxCommandEvent& event) {
    event.Skip();
    if (wnd_ != nullptr)
        select_first(house_list_);
}

void map_search_panel::on_street_selected(wxListEvent& event) {
    event.Skip();
    if (wnd_ == nullptr)
        return;
    clear_houses();
    auto_ptr_t<i_object> item_holder;
    i_search_item* street = item_at(streets_.get(), event.GetIndex(), item_holder);
    if (street == nullptr)
        return;
    auto_ptr_t<i_gis_service> gis = service_ref("svc_gis", kiv_cast_i_gis_service);
    if (gis == nullptr)
        return;
    const char* driver_name = gis->get_default_driver();
    // The GWX driver finds a street's houses by the street's name.
    std::string filter;
    auto_ptr_t<i_gis_driver> driver(gis->get_driver_by_name(driver_name));
    if (driver.get() != nullptr && kiv_cast_i_gwx_driver(driver.get()) != nullptr) {
        const char* name = street->get_name();
        filter = name != nullptr ? name : "";
    }
    auto_ptr_t<i_gis_search_result> found(gis->search_houses(driver_name, street->get_id(), filter.c_str()));
    add_results(found.get(), houses_.get(), i_search_item::type_house);
    unsigned count = houses_->get_count();
    for (unsigned i = 0; i < count; ++i) {
        auto_ptr_t<i_object> house_holder;
        i_search_item* house = item_at(houses_.get(), static_cast<long>(i), house_holder);
        const char* name = house != nullptr ? house->get_name() : nullptr;
        long row = house_list_->InsertItem(static_cast<long>(i), wxString::FromUTF8(name != nullptr ? name : ""));
        if (house != nullptr && row >= 0)
            house_list_->SetItemData(row, static_cast<long>(static_cast<uint32_t>(house->get_id())));
    }
}

void map_search_panel::on_house_selected(wxListEvent& event) {
    event.Skip();
}

void map_search_panel::on_list_size(wxSizeEvent& event) {
    event.Skip();
    if (auto* list = wxDynamicCast(event.GetEventObject(), wxListCtrl))
        fit_name_column(list);
}

void map_search_panel::activate(i_object_col* items, long row) {
    auto_ptr_t<i_object> holder;
    show_result(item_at(items, row, holder));
}

void map_search_panel::on_city_activated(wxListEvent& event) {
    event.Skip();
    activate(cities_.get(), event.GetIndex());
}

void map_search_panel::on_street_activated(wxListEvent& event) {
    event.Skip();
    activate(streets_.get(), event.GetIndex());
}

void map_search_panel::on_house_activated(wxListEvent& event) {
    event.Skip();
    activate(houses_.get(), event.GetIndex());
}

}  // namespace kiv
