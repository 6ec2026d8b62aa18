// tree_list_header.cpp --
//
//     The column header of the multi-column tree window: a
//     wxHeaderCtrlSimple that also keeps the full description of every
//     column (the header control keeps only what it draws), maps x
//     positions to columns for painting and hit tests, and shows each
//     column's image from the control's image list.

#include <kiv/gui/tree_list_ctrl.h>

#include <wx/imaglist.h>

#include <algorithm>

namespace kiv {

namespace {

const tree_list_column_info& invalid_column() {
    static const tree_list_column_info info;
    return info;
}

}  // namespace

wxIMPLEMENT_DYNAMIC_CLASS(tree_list_column_info, wxObject);
wxIMPLEMENT_DYNAMIC_CLASS(tree_list_header_window, wxHeaderCtrlSimple);

// --- tree_list_header_window -------------------------------------------------

tree_list_header_window::tree_list_header_window(tree_list_ctrl* owner, wxWindowID id, long style,
                                                 const wxString& name)
    : wxHeaderCtrlSimple(owner, id, wxPoint(0, 0), wxDefaultSize, style, name), owner_(owner) {
    Bind(wxEVT_HEADER_RESIZING, &tree_list_header_window::on_resizing, this);
    Bind(wxEVT_HEADER_END_RESIZE, &tree_list_header_window::on_resizing, this);
}

const tree_list_column_info& tree_list_header_window::column(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= columns_.size())
        return invalid_column();
    return columns_[index];
}

wxHeaderColumnSimple tree_list_header_window::make_column(const tree_list_column_info& info) const {
    wxHeaderColumnSimple col(info.text, info.width, static_cast<wxAlignment>(info.alignment),
                             wxCOL_RESIZABLE);
    col.SetHidden(!info.shown);
    wxImageList* images = owner_ != nullptr && owner_->main_window() != nullptr ? owner_->GetImageList() : nullptr;
    if (images != nullptr && info.image >= 0 && info.image < images->GetImageCount())
        col.SetBitmap(images->GetBitmap(info.image));
    return col;
}

void tree_list_header_window::insert(int before, const tree_list_column_info& info) {
    size_t at = before < 0 ? 0 : std::min(static_cast<size_t>(before), columns_.size());
    columns_.insert(columns_.begin() + at, info);
    InsertColumn(make_column(info), static_cast<unsigned int>(at));
}

void tree_list_header_window::remove(int index) {
    if (index < 0 || static_cast<size_t>(index) >= columns_.size())
        return;
    columns_.erase(columns_.begin() + index);
    DeleteColumn(static_cast<unsigned int>(index));
}

void tree_list_header_window::set(int index, const tree_list_column_info& info) {
    if (index < 0 || static_cast<size_t>(index) >= columns_.size())
        return;
    columns_[index] = info;
    sync(index);
}

void tree_list_header_window::sync(int index) {
    // Replace the header's copy so that every attribute follows.
    wxHeaderCtrlSimple::DeleteColumn(static_cast<unsigned int>(index));
    wxHeaderCtrlSimple::InsertColumn(make_column(columns_[index]), static_cast<unsigned int>(index));
}

void tree_list_header_window::images_changed() {
    for (size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].image >= 0)
            sync(static_cast<int>(i));
}

wxBitmapBundle tree_list_header_window::shown_image(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= columns_.size())
        return wxBitmapBundle();
    return GetColumn(static_cast<unsigned int>(index)).GetBitmapBundle();
}

int tree_list_header_window::total_width() const {
    return column_x(static_cast<int>(columns_.size()));
}

int tree_list_header_window::column_x(int index) const {
    int x = 0;
    for (int i = 0; i < index && static_cast<size_t>(i) < columns_.size(); ++i)
        if (columns_[i].shown)
            x += columns_[i].width;
    return x;
}

int tree_list_header_window::column_at(int x) const {
    int left = 0;
    for (size_t i = 0; i < columns_.size(); ++i) {
        if (!columns_[i].shown)
            continue;
        if (x >= left && x < left + columns_[i].width)
            return static_cast<int>(i);
        left += columns_[i].width;
    }
    return -1;
}

void tree_list_header_window::on_resizing(wxHeaderCtrlEvent& event) {
    int index = event.GetColumn();
    if (index >= 0 && static_cast<size_t>(index) < columns_.size()) {
        columns_[index].width = std::max(event.GetWidth(), 0);
        if (owner_ != nullptr && owner_->main_window() != nullptr) {
            owner_->main_window()->columns_changed();
            owner_->main_window()->Refresh();
        }
    }
    event.Skip();
}

}  // namespace kiv
