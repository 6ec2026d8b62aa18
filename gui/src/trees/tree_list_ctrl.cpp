// tree_list_ctrl.cpp --
//
//     The multi-column tree window: a plain container of the column header
//     and the item area, laying them out, and answering every tree
//     operation by forwarding it to the item area (or the header for
//     column data), so that code written against wxTreeCtrl* drives it.

#include <kiv/gui/tree_list_ctrl.h>

#include <wx/dcclient.h>

#include <algorithm>
#include <vector>

namespace kiv {

wxIMPLEMENT_DYNAMIC_CLASS(tree_list_ctrl, wxTreeCtrl);

// --- tree_list_ctrl ----------------------------------------------------------

wxBEGIN_EVENT_TABLE(tree_list_ctrl, wxTreeCtrl)
    EVT_SIZE(tree_list_ctrl::on_size)
    EVT_PAINT(tree_list_ctrl::on_paint)
    EVT_MOUSE_EVENTS(tree_list_ctrl::on_mouse)
    EVT_KEY_DOWN(tree_list_ctrl::on_key)
    EVT_CHAR(tree_list_ctrl::on_key)
wxEND_EVENT_TABLE()

bool tree_list_ctrl::Create(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style,
                            const wxValidator& validator, const wxString& name) {
    if (main_ != nullptr)
        return false;
    // The control's own window is a plain container; the generic tree of
    // the base stays empty and the main window holds the items.
    if (!wxControl::Create(parent, id, pos, size, style & ~static_cast<long>(wxVSCROLL | wxHSCROLL),
                           wxDefaultValidator, name))
        return false;
    const long borders = wxBORDER_STATIC | wxBORDER_SIMPLE | wxBORDER_RAISED | wxBORDER_SUNKEN | wxBORDER_DOUBLE;
    long main_style = style & ~borders;
    if ((style & borders) == 0 && (style & wxBORDER_NONE) == 0)
        main_style |= wxBORDER_NONE;
    main_ = new tree_list_main_window(this, size, main_style, validator);
    header_ = new tree_list_header_window(this, wxID_ANY, wxTAB_TRAVERSAL | wxNO_BORDER, "wxtreelistctrlcolumntitles");
    header_height_ = header_->GetBestSize().y;
    layout_children();
    return true;
}

tree_list_ctrl::~tree_list_ctrl() {
    // The items and their delete events go while this is still a whole
    // control, before the base destroys the children.
    delete main_;
    main_ = nullptr;
}

void tree_list_ctrl::layout_children() {
    if (main_ == nullptr || header_ == nullptr)
        return;
    wxSize client = GetClientSize();
    int header_height = GetColumnCount() > 0 ? header_height_ : 0;
    header_->Show(header_height > 0);
    header_->SetSize(0, 0, client.x, header_height);
    main_->SetSize(0, header_height, client.x, std::max(client.y - header_height, 0));
}

void tree_list_ctrl::on_size(wxSizeEvent& event) {
    layout_children();
    event.Skip(false);
}

void tree_list_ctrl::on_paint(wxPaintEvent&) {
    wxPaintDC dc(this);  // the children cover the whole window
}

wxSize tree_list_ctrl::DoGetBestSize() const {
    if (main_ == nullptr)
        return wxControl::DoGetBestSize();
    wxSize best = main_->GetBestSize();
    best.y += GetColumnCount() > 0 ? header_height_ : 0;
    return best;
}

void tree_list_ctrl::AddColumn(const wxString& text, int width, int alignment, bool shown, bool editable) {
    InsertColumn(GetColumnCount(), text, width, alignment, shown, editable);
}

void tree_list_ctrl::InsertColumn(int before, const wxString& text, int width, int alignment, bool shown,
                                  bool editable) {
    const int count = GetColumnCount();
    const int at = std::clamp(before, 0, count);
    header_->insert(at, tree_list_column_info(text, width, alignment, -1, -1, shown, editable));
    // The cells and the main column keep their places among the others.
    main_->column_inserted(at);
    if (count > 0 && at <= main_column_)
        ++main_column_;
    layout_children();
    main_->columns_changed();
    main_->Refresh();
}

void tree_list_ctrl::RemoveColumn(int column) {
    // An open cell editor would write into a column that moved.
    if (tree_list_edit_ctrl* editor = main_->column_editor())
        editor->finish(false);
    if (column < 0 || column >= GetColumnCount())
        return;
    header_->remove(column);
    // The cells and the main column keep their places among the others
    // (removing the main column makes the next one main, as at 0).
    main_->column_removed(column);
    if (column < main_column_) {
        --main_column_;
    } else if (column == main_column_) {
        main_column_ = std::max(std::min(column, GetColumnCount() - 1), 0);
        if (GetColumnCount() > 0)
            load_main_from_cells(main_column_);
    }
    layout_children();
    main_->columns_changed();
    main_->Refresh();
}

void tree_list_ctrl::SetColumn(int column, const tree_list_column_info& info) {
    header_->set(column, info);
    main_->columns_changed();
    main_->Refresh();
}

void tree_list_ctrl::SetImageList(wxImageList* list) {
    main_->SetImageList(list);
    header_->images_changed();
}

void tree_list_ctrl::AssignImageList(wxImageList* list) {
    main_->AssignImageList(list);
    header_->images_changed();
}

wxTextCtrl* tree_list_ctrl::GetEditControl() const {
    if (tree_list_edit_ctrl* editor = main_->column_editor())
        return editor;
    return main_->GetEditControl();
}

void tree_list_ctrl::EndEditLabel(const wxTreeItemId& item, bool discard_changes) {
    // One edit at a time: like the generic tree, the open one ends
    // whichever item is named.
    if (tree_list_edit_ctrl* editor = main_->column_editor()) {
        editor->finish(!discard_changes);
        return;
    }
    if (main_->GetEditControl() != nullptr)
        main_->EndEditLabel(item, discard_changes);
}

void tree_list_ctrl::SetButtonsImageList(wxImageList* list) {
    main_->SetButtonsImageList(list);
}

void tree_list_ctrl::AssignButtonsImageList(wxImageList* list) {
    main_->AssignButtonsImageList(list);
}

wxString tree_list_ctrl::OnGetItemText(wxTreeItemData*, long) const {
    return wxString();
}

void tree_list_ctrl::collect(const wxTreeItemId& item, std::vector<wxTreeItemId>& out) const {
    if (!item.IsOk())
        return;
    out.push_back(item);
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = main_->GetFirstChild(item, cookie); child.IsOk();
         child = main_->GetNextChild(item, cookie))
        collect(child, out);
}

void tree_list_ctrl::SetMainColumn(int column) {
    if (column < 0 || column >= GetColumnCount() || column == main_column_)
        return;
    if (tree_list_edit_ctrl* editor = main_->column_editor())
        editor->finish(false);
    if (main_->GetEditControl() != nullptr)
        main_->EndEditLabel(main_->GetFocusedItem(), true);
    // The tree's own label and normal image hold the main column's: the
    // old main column's go into its cells, the new one's come out of them.
    std::vector<wxTreeItemId> items;
    collect(main_->GetRootItem(), items);
    for (const wxTreeItemId& id : items) {
        tree_list_item* cells = main_->item(id, true);
        cells->set_text(main_column_, main_->GetItemText(id));
        cells->set_image(main_column_, main_->GetItemImage(id, wxTreeItemIcon_Normal));
    }
    load_main_from_cells(column);
    main_column_ = column;
    main_->columns_changed();
    main_->Refresh();
}

void tree_list_ctrl::load_main_from_cells(int column) {
    std::vector<wxTreeItemId> items;
    collect(main_->GetRootItem(), items);
    for (const wxTreeItemId& id : items) {
        tree_list_item* cells = main_->item(id, true);
        main_->SetItemText(id, cells->text(column));
        main_->SetItemImage(id, cells->image(column), wxTreeItemIcon_Normal);
        cells->set_text(column, wxString());
        cells->set_image(column, -1);
    }
}

wxTreeItemId tree_list_ctrl::fill_columns(const wxTreeItemId& item, const wxArrayString& texts) {
    if (!item.IsOk())
        return item;
    for (size_t c = 0; c < texts.size(); ++c)
        if (static_cast<int>(c) != main_column_ && !texts[c].empty())
            main_->item(item, true)->set_text(static_cast<int>(c), texts[c]);
    main_->Refresh();
    return item;
}

namespace {

// The main column's text of `texts`, empty when there is none.
wxString label_of(const wxArrayString& texts, int main_column) {
    return main_column >= 0 && static_cast<size_t>(main_column) < texts.size() ? texts[main_column] : wxString();
}

}  // namespace

wxTreeItemId tree_list_ctrl::PrependItem(const wxTreeItemId& parent, const wxArrayString& texts, int image,
                                         int selected_image, wxTreeItemData* data) {
    return fill_columns(
        main_->PrependItem(parent, label_of(texts, main_column_), image, selected_image, data), texts);
}

wxTreeItemId tree_list_ctrl::InsertItem(const wxTreeItemId& parent, size_t before, const wxArrayString& texts,
                                        int image, int selected_image, wxTreeItemData* data) {
    return fill_columns(
        main_->InsertItem(parent, before, label_of(texts, main_column_), image, selected_image, data), texts);
}

wxTreeItemId tree_list_ctrl::InsertItem(const wxTreeItemId& parent, const wxTreeItemId& previous,
                                        const wxArrayString& texts, int image, int selected_image,
                                        wxTreeItemData* data) {
    return fill_columns(
        main_->InsertItem(parent, previous, label_of(texts, main_column_), image, selected_image, data), texts);
}

wxTreeItemId tree_list_ctrl::AppendItem(const wxTreeItemId& parent, const wxArrayString& texts, int image,
                                        int selected_image, wxTreeItemData* data) {
    return fill_columns(
        main_->AppendItem(parent, label_of(texts, main_column_), image, selected_image, data), texts);
}

tree_list_column_info tree_list_ctrl::GetColumn(int column) const {
    return header_->column(column);
}

int tree_list_ctrl::GetColumnCount() const {
    return header_ != nullptr ? static_cast<int>(header_->count()) : 0;
}

#define KIV_COLUMN_FIELD(getter, setter, type, field)           \
    type tree_list_ctrl::getter(int column) const {             \
        return header_->column(column).field;                   \
    }                                                           \
    void tree_list_ctrl::setter(int column, type value) {       \
        tree_list_column_info info = header_->column(column);   \
        info.field = value;                                     \
        SetColumn(column, info);                                \
    }

KIV_COLUMN_FIELD(GetColumnWidth, SetColumnWidth, int, width)
KIV_COLUMN_FIELD(GetColumnAlignment, SetColumnAlignment, int, alignment)
KIV_COLUMN_FIELD(GetColumnImage, SetColumnImage, int, image)
KIV_COLUMN_FIELD(IsColumnEditable, SetColumnEditable, bool, editable)
KIV_COLUMN_FIELD(IsColumnShown, SetColumnShown, bool, shown)

#undef KIV_COLUMN_FIELD

wxString tree_list_ctrl::GetColumnText(int column) const {
    return header_->column(column).text;
}

void tree_list_ctrl::SetColumnText(int column, const wxString& text) {
    tree_list_column_info info = header_->column(column);
    info.text = text;
    SetColumn(column, info);
}

wxString tree_list_ctrl::GetItemText(const wxTreeItemId& item, int column) const {
    if (is_virtual())
        return item.IsOk() ? OnGetItemText(main_->GetItemData(item), column) : wxString();
    if (column == GetMainColumn())
        return main_->GetItemText(item);
    const tree_list_item* cells = main_->item(item, false);
    return cells != nullptr ? cells->text(column) : wxString();
}

void tree_list_ctrl::SetItemText(const wxTreeItemId& item, int column, const wxString& text) {
    if (!item.IsOk() || column < 0)
        return;
    if (column == GetMainColumn()) {
        main_->SetItemText(item, text);
        return;
    }
    main_->item(item, true)->set_text(column, text);
    main_->Refresh();
}

int tree_list_ctrl::GetItemImage(const wxTreeItemId& item, int column, wxTreeItemIcon which) const {
    if (column == GetMainColumn())
        return main_->GetItemImage(item, which);
    const tree_list_item* cells = main_->item(item, false);
    return cells != nullptr ? cells->image(column) : -1;
}

void tree_list_ctrl::SetItemImage(const wxTreeItemId& item, int column, int image, wxTreeItemIcon which) {
    if (!item.IsOk() || column < 0)
        return;
    if (column == GetMainColumn()) {
        main_->SetItemImage(item, image, which);
        return;
    }
    main_->item(item, true)->set_image(column, image);
    main_->Refresh();
}

bool tree_list_ctrl::EditLabel(const wxTreeItemId& item, int column) {
    return main_->edit_cell(item, column);
}

void tree_list_ctrl::SetItemText(const wxTreeItemId& item, const wxString& text) {
    main_->SetItemText(item, text);
}

void tree_list_ctrl::SetItemImage(const wxTreeItemId& item, int image, wxTreeItemIcon which) {
    main_->SetItemImage(item, image, which);
}

void tree_list_ctrl::SetItemTextColour(const wxTreeItemId& item, const wxColour& colour) {
    main_->SetItemTextColour(item, colour);
}

void tree_list_ctrl::SetItemBackgroundColour(const wxTreeItemId& item, const wxColour& colour) {
    main_->SetItemBackgroundColour(item, colour);
}

void tree_list_ctrl::SetItemFont(const wxTreeItemId& item, const wxFont& font) {
    main_->SetItemFont(item, font);
}

bool tree_list_ctrl::GetBoundingRect(const wxTreeItemId& item, wxRect& rect, bool text_only) const {
    if (!main_->GetBoundingRect(item, rect, text_only))
        return false;
    rect.Offset(main_->GetPosition());
    return true;
}

void tree_list_ctrl::SetWindowStyleFlag(long style) {
    wxControl::SetWindowStyleFlag(style);
    if (main_ != nullptr)
        main_->SetWindowStyleFlag(style & ~static_cast<long>(wxTR_EDIT_LABELS));
}

void tree_list_ctrl::Refresh(bool erase, const wxRect* rect) {
    wxControl::Refresh(erase, rect);
    if (main_ != nullptr)
        main_->Refresh(erase);
    if (header_ != nullptr)
        header_->Refresh(erase);
}

bool tree_list_ctrl::SetBackgroundColour(const wxColour& colour) {
    bool changed = wxControl::SetBackgroundColour(colour);
    if (main_ != nullptr)
        main_->SetBackgroundColour(colour);
    return changed;
}

bool tree_list_ctrl::SetForegroundColour(const wxColour& colour) {
    bool changed = wxControl::SetForegroundColour(colour);
    if (main_ != nullptr)
        main_->SetForegroundColour(colour);
    return changed;
}

bool tree_list_ctrl::SetFont(const wxFont& font) {
    bool changed = wxControl::SetFont(font);
    if (main_ != nullptr)
        main_->SetFont(font);
    if (header_ != nullptr) {
        header_->SetFont(font);
        header_height_ = header_->GetBestSize().y;
        layout_children();
    }
    return changed;
}

wxTreeItemId tree_list_ctrl::DoInsertItem(const wxTreeItemId& parent, size_t pos, const wxString& text, int image,
                                          int selected_image, wxTreeItemData* data) {
    if (pos == static_cast<size_t>(-1))
        return main_->AppendItem(parent, text, image, selected_image, data);
    return main_->InsertItem(parent, pos, text, image, selected_image, data);
}

wxTreeItemId tree_list_ctrl::DoInsertAfter(const wxTreeItemId& parent, const wxTreeItemId& previous,
                                           const wxString& text, int image, int selected_image,
                                           wxTreeItemData* data) {
    return main_->InsertItem(parent, previous, text, image, selected_image, data);
}

wxTreeItemId tree_list_ctrl::DoTreeHitTest(const wxPoint& point, int& flags) const {
    wxPoint at = point - main_->GetPosition();
    wxTreeItemId hit = main_->HitTest(at, flags);
    if (hit.IsOk() && (flags & wxTREE_HITTEST_ONITEMICON) == 0) {
        int column = header_->column_at(main_->CalcUnscrolledPosition(at).x);
        if (column >= 0 && column != GetMainColumn())
            flags |= KIV_TREE_HITTEST_ONITEMCOLUMN;
    }
    return hit;
}

int tree_list_ctrl::DoGetItemState(const wxTreeItemId& item) const {
    return main_->GetItemState(item);
}

void tree_list_ctrl::DoSetItemState(const wxTreeItemId& item, int state) {
    main_->SetItemState(item, state);
}

}  // namespace kiv
