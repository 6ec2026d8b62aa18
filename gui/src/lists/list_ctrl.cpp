// list_ctrl.cpp --
//
//     The virtual report list and its row sources. The native control asks
//     for the visible rows only, so a list of any length costs what the
//     screen shows. wxGTK delivers the list's mouse events to the control
//     itself, so the double-click and right-click handlers sit there; a
//     handler that does not skip takes the event from the native control.

#include <kiv/gui/list_ctrl.h>

#include <kiv/core/i_string.h>

namespace kiv {

void list_ctrl_container::set_objects(wxListCtrl*, i_object_col*) {}

string_list_container::string_list_container(int image) : image_(image) {}

string_list_container::~string_list_container() = default;

wxString string_list_container::get_item_text(list_ctrl*, long item, long) {
    if (!rows_ || item < 0 || static_cast<unsigned long>(item) >= rows_->get_count())
        return wxString();
    auto_ptr_t<i_object> row(rows_->get_item_by_pos(static_cast<unsigned>(item)));
    i_string* text = kiv_cast_i_string(row.get());
    return text != nullptr ? wxString::FromUTF8(text->get_value()) : wxString();
}

int string_list_container::get_item_image(list_ctrl*, long) {
    return image_;
}

wxListItemAttr* string_list_container::get_item_attr(list_ctrl*, long) {
    return nullptr;
}

void string_list_container::set_objects(wxListCtrl* ctrl, i_object_col* objects) {
    if (objects != nullptr)
        objects->addref();
    rows_.reset(objects);
    if (ctrl != nullptr) {
        ctrl->SetItemCount(rows_ ? static_cast<long>(rows_->get_count()) : 0);
        ctrl->Refresh(true);
    }
}

list_ctrl::list_ctrl(wxWindow* parent, list_ctrl_container* container, wxSize size, unsigned long style)
    : wxListCtrl(parent, wxID_ANY, wxDefaultPosition, size, static_cast<long>(style)), container_(container) {
    Bind(wxEVT_LEFT_DCLICK, &list_ctrl::on_db_click, this, GetId());
    Bind(wxEVT_RIGHT_DOWN, &list_ctrl::on_right_click, this, GetId());
}

wxString list_ctrl::OnGetItemText(long item, long column) const {
    return container_ != nullptr ? container_->get_item_text(const_cast<list_ctrl*>(this), item, column)
                                 : wxString();
}

int list_ctrl::OnGetItemImage(long item) const {
    return container_ != nullptr ? container_->get_item_image(const_cast<list_ctrl*>(this), item) : -1;
}

wxListItemAttr* list_ctrl::OnGetItemAttr(long item) const {
    return container_ != nullptr ? container_->get_item_attr(const_cast<list_ctrl*>(this), item) : nullptr;
}

void list_ctrl::on_db_click(wxMouseEvent& event) {
    if (db_click_)
        event.Skip();
}

void list_ctrl::on_right_click(wxMouseEvent& event) {
    event.Skip();
}

}  // namespace kiv
