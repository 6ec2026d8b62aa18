// tree_list_main_window.cpp --
//
//     The item area of the multi-column tree window: a generic tree that
//     holds the items and re-sends its tree events as the control's,
//     paints the cells after the main column, opens in-place editors on
//     them, sends the icon click, runs the 250 ms rename timer and widens
//     its sideways scroll range to the columns.

#include <kiv/gui/tree_list_ctrl.h>

#include <wx/app.h>
#include <wx/dcclient.h>
#include <wx/imaglist.h>
#include <wx/settings.h>

#include <algorithm>
#include <memory>

namespace kiv {

namespace {

const int rename_delay_ms = 250;

}  // namespace

// --- tree_list_item ----------------------------------------------------------

wxString tree_list_item::text(int column) const {
    return column >= 0 && static_cast<size_t>(column) < texts_.size() ? texts_[column] : wxString();
}

void tree_list_item::set_text(int column, const wxString& text) {
    if (column < 0)
        return;
    if (static_cast<size_t>(column) >= texts_.size())
        texts_.resize(column + 1);
    texts_[column] = text;
}

int tree_list_item::image(int column) const {
    return column >= 0 && static_cast<size_t>(column) < images_.size() ? images_[column] : -1;
}

void tree_list_item::set_image(int column, int image) {
    if (column < 0)
        return;
    if (static_cast<size_t>(column) >= images_.size())
        images_.resize(column + 1, -1);
    images_[column] = image;
}

void tree_list_item::insert_column(int column) {
    if (column < 0)
        return;
    if (static_cast<size_t>(column) < texts_.size())
        texts_.insert(texts_.begin() + column, wxString());
    if (static_cast<size_t>(column) < images_.size())
        images_.insert(images_.begin() + column, -1);
}

void tree_list_item::remove_column(int column) {
    if (column < 0)
        return;
    if (static_cast<size_t>(column) < texts_.size())
        texts_.erase(texts_.begin() + column);
    if (static_cast<size_t>(column) < images_.size())
        images_.erase(images_.begin() + column);
}

// --- tree_list_edit_ctrl -----------------------------------------------------

tree_list_edit_ctrl::tree_list_edit_ctrl(tree_list_main_window* owner, const wxTreeItemId& item, int column,
                                         const wxRect& cell, const wxString& text)
    : wxTextCtrl(owner, wxID_ANY, text, cell.GetPosition(), cell.GetSize(), wxTE_PROCESS_ENTER),
      owner_(owner), item_(item), column_(column) {
    Bind(wxEVT_CHAR, &tree_list_edit_ctrl::on_char, this);
    Bind(wxEVT_KILL_FOCUS, &tree_list_edit_ctrl::on_kill_focus, this);
    SelectAll();
}

void tree_list_edit_ctrl::finish(bool accept) {
    if (finished_)
        return;
    finished_ = true;
    owner_->column_edit_ended(this, accept);
}

void tree_list_edit_ctrl::on_char(wxKeyEvent& event) {
    switch (event.GetKeyCode()) {
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
        finish(true);
        break;
    case WXK_ESCAPE:
        finish(false);
        break;
    default:
        event.Skip();
    }
}

void tree_list_edit_ctrl::on_kill_focus(wxFocusEvent& event) {
    event.Skip();
    // Clicking elsewhere keeps what was typed, as the label editor does.
    finish(true);
}

// --- tree_list_rename_timer --------------------------------------------------

void tree_list_rename_timer::Notify() {
    if (item.IsOk())
        owner_->edit_cell(item, column);
}

// --- tree_list_main_window ---------------------------------------------------

wxBEGIN_EVENT_TABLE(tree_list_main_window, wxGenericTreeCtrl)
    EVT_PAINT(tree_list_main_window::on_paint)
wxEND_EVENT_TABLE()

tree_list_main_window::tree_list_main_window(tree_list_ctrl* owner, const wxSize& size, long style,
                                             const wxValidator& validator)
    : owner_(owner), rename_timer_(this) {
    // The generic tree's own rename timer (500 ms) never starts: editing
    // by click is ours.
    Create(owner, wxID_ANY, wxPoint(0, 0), size, style & ~static_cast<long>(wxTR_EDIT_LABELS), validator,
           "wxtreelistmainwindow");
    Bind(wxEVT_LEFT_DOWN, &tree_list_main_window::on_left_down, this);
    Bind(wxEVT_LEFT_UP, &tree_list_main_window::on_left_up, this);
    Bind(wxEVT_LEFT_DCLICK, &tree_list_main_window::on_left_dclick, this);
}

tree_list_main_window::~tree_list_main_window() {
    rename_timer_.Stop();
    // The editor goes while this window is whole; its last loss of focus
    // finds no edit to end.
    if (tree_list_edit_ctrl* editor = column_editor_) {
        column_editor_ = nullptr;
        delete editor;
    }
    // The items go while this window still answers as itself, and their
    // delete events must not reach a control being destroyed.
    owner_ = nullptr;
    DeleteAllItems();
}

int tree_list_main_window::main_offset() const {
    if (owner_ == nullptr || owner_->header_window() == nullptr || owner_->GetMainColumn() <= 0)
        return 0;
    return owner_->header_window()->column_x(owner_->GetMainColumn());
}

wxPoint tree_list_main_window::window_point(const wxMouseEvent& event) const {
    return event.GetPosition() + wxPoint(mouse_shift_, 0);
}

bool tree_list_main_window::GetBoundingRect(const wxTreeItemId& item, wxRect& rect, bool text_only) const {
    if (!wxGenericTreeCtrl::GetBoundingRect(item, rect, text_only))
        return false;
    rect.x += main_offset();
    return true;
}

wxTextCtrl* tree_list_main_window::EditLabel(const wxTreeItemId& item, wxClassInfo* text_class) {
    wxTextCtrl* editor = wxGenericTreeCtrl::EditLabel(item, text_class);
    if (editor != nullptr && main_offset() != 0)
        editor->Move(editor->GetPosition() + wxPoint(main_offset(), 0));
    return editor;
}

void tree_list_main_window::DoPrepareDC(wxDC& dc) {
    wxGenericTreeCtrl::DoPrepareDC(dc);
    if (int offset = main_offset())
        dc.SetDeviceOrigin(dc.GetDeviceOrigin().x + offset, dc.GetDeviceOrigin().y);
}

int tree_list_main_window::OnCompareItems(const wxTreeItemId& item1, const wxTreeItemId& item2) {
    return owner_->OnCompareItems(item1, item2);
}

void tree_list_main_window::Refresh(bool erase, const wxRect* rect) {
    if (rect == nullptr || main_offset() == 0) {
        wxGenericTreeCtrl::Refresh(erase, rect);
        return;
    }
    wxRect row(0, rect->y, GetClientSize().x, rect->height);
    wxGenericTreeCtrl::Refresh(erase, &row);
}

wxTreeItemId tree_list_main_window::DoTreeHitTest(const wxPoint& point, int& flags) const {
    const int offset = main_offset();
    if (offset == 0 || point.x >= offset)
        return wxGenericTreeCtrl::DoTreeHitTest(point - wxPoint(offset, 0), flags);
    // Left of the tree, in a column before the main one: the row's item,
    // as for a point in its indent.
    int row_flags = 0;
    wxTreeItemId hit = wxGenericTreeCtrl::DoTreeHitTest(wxPoint(0, point.y), row_flags);
    if (!hit.IsOk() || point.x < 0) {
        flags = point.x < 0 ? wxTREE_HITTEST_TOLEFT : row_flags;
        return point.x < 0 ? wxTreeItemId() : hit;
    }
    flags = wxTREE_HITTEST_ONITEMINDENT |
            (row_flags & (wxTREE_HITTEST_ONITEMUPPERPART | wxTREE_HITTEST_ONITEMLOWERPART));
    return hit;
}

void tree_list_main_window::sync_virtual_labels() {
    if (owner_ == nullptr || !owner_->is_virtual())
        return;
    DoDirtyProcessing();
    const int main = owner_->GetMainColumn();
    for (wxTreeItemId id = GetFirstVisibleItem(); id.IsOk(); id = GetNextVisible(id)) {
        const wxString text = owner_->GetItemText(id, main);
        if (wxGenericTreeCtrl::GetItemText(id) != text)
            SetItemText(id, text);
    }
}

bool tree_list_main_window::ProcessEvent(wxEvent& event) {
    // The generic tree finds items under the mouse as if it stood at the
    // left edge: mouse events pass through it shifted by the main column.
    if (auto* mouse = dynamic_cast<wxMouseEvent*>(&event)) {
        const int offset = main_offset();
        if (offset == 0 || event.GetEventObject() != this || mouse_shift_ != 0)
            return wxGenericTreeCtrl::ProcessEvent(event);
        mouse->m_x -= offset;
        mouse_shift_ = offset;
        bool handled = wxGenericTreeCtrl::ProcessEvent(event);
        mouse_shift_ = 0;
        mouse->m_x += offset;
        return handled;
    }
    auto* tree_event = dynamic_cast<wxTreeEvent*>(&event);
    if (tree_event == nullptr || event.GetEventObject() != this || event.GetEventType() == KIV_EVT_TREE_ICON_CLICK)
        return wxGenericTreeCtrl::ProcessEvent(event);
    if (event.GetEventType() == wxEVT_TREE_DELETE_ITEM) {
        rename_timer_.Stop();
        // An edit of a cell that goes with its item ends unheard.
        if (column_editor_ != nullptr && column_editor_->item() == tree_event->GetItem())
            drop_column_editor();
        if (ending_item_.IsOk() && ending_item_ == tree_event->GetItem())
            ending_item_ = wxTreeItemId();
    }
    bool handled = false;
    if (owner_ != nullptr) {
        // The control's handlers see the event as the control's own.
        std::unique_ptr<wxEvent> copy(event.Clone());
        copy->SetId(owner_->GetId());
        copy->SetEventObject(owner_);
        handled = owner_->GetEventHandler()->ProcessEvent(*copy);
        auto* result = static_cast<wxTreeEvent*>(copy.get());
        if (result->IsAllowed())
            tree_event->Allow();
        else
            tree_event->Veto();
    }
    if (event.GetEventType() == wxEVT_TREE_DELETE_ITEM)
        items_.erase(tree_event->GetItem().GetID());
    return handled;
}

tree_list_item* tree_list_main_window::item(const wxTreeItemId& id, bool create) {
    if (!id.IsOk())
        return nullptr;
    auto it = items_.find(id.GetID());
    if (it != items_.end())
        return &it->second;
    return create ? &items_[id.GetID()] : nullptr;
}

bool tree_list_main_window::edit_cell(const wxTreeItemId& id, int column) {
    if (owner_ == nullptr || !id.IsOk())
        return false;
    if (column_editor_ != nullptr)
        column_editor_->finish(true);
    if (column == owner_->GetMainColumn())
        return EditLabel(id) != nullptr;
    if (column < 0 || column >= owner_->GetColumnCount() || !owner_->IsColumnShown(column))
        return false;
    if (GetEditControl() != nullptr)
        EndEditLabel(id, false);

    const wxString text = owner_->GetItemText(id, column);
    wxTreeEvent begin(wxEVT_TREE_BEGIN_LABEL_EDIT, owner_->GetId());
    begin.SetEventObject(owner_);
    begin.SetItem(id);
    begin.SetLabel(text);
    begin.SetInt(column);
    owner_->GetEventHandler()->ProcessEvent(begin);
    if (!begin.IsAllowed() || !id.IsOk())
        return false;

    EnsureVisible(id);
    DoDirtyProcessing();
    wxRect row;
    if (!GetBoundingRect(id, row, false))
        return false;
    const tree_list_header_window& header = *owner_->header_window();
    // The text box keeps its own height, centred on the row.
    wxRect cell(CalcScrolledPosition(wxPoint(header.column_x(column), 0)).x, row.y,
                header.column(column).width, wxDefaultCoord);
    column_editor_ = new tree_list_edit_ctrl(this, id, column, cell, text);
    column_editor_->Move(cell.x, row.y + (row.height - column_editor_->GetSize().y) / 2);
    column_editor_->SetFocus();
    return true;
}

void tree_list_main_window::column_edit_ended(tree_list_edit_ctrl* editor, bool accept) {
    if (editor != column_editor_)
        return;
    const wxTreeItemId id = editor->item();
    const int column = editor->column();
    const wxString text = editor->GetValue();
    // Focus that went elsewhere stays there.
    const bool had_focus = wxWindow::FindFocus() == editor;
    drop_column_editor();
    if (owner_ == nullptr || !id.IsOk())
        return;
    wxTreeEvent end(wxEVT_TREE_END_LABEL_EDIT, owner_->GetId());
    end.SetEventObject(owner_);
    end.SetItem(id);
    end.SetInt(column);
    end.SetLabel(accept ? text : wxString());
    end.SetEditCanceled(!accept);
    // A handler may delete the item: then there is no cell to write.
    ending_item_ = id;
    owner_->GetEventHandler()->ProcessEvent(end);
    const bool item_alive = ending_item_.IsOk();
    ending_item_ = wxTreeItemId();
    if (accept && end.IsAllowed() && item_alive)
        owner_->SetItemText(id, column, text);
    if (had_focus)
        SetFocus();
}

void tree_list_main_window::drop_column_editor() {
    tree_list_edit_ctrl* editor = column_editor_;
    column_editor_ = nullptr;
    if (editor == nullptr)
        return;
    // The editor may be inside one of its own handlers: it goes later,
    // or with this window if that goes first.
    editor->Hide();
    if (wxTheApp != nullptr)
        wxTheApp->ScheduleForDestruction(editor);
    else
        editor->Destroy();
}

void tree_list_main_window::SetScrollbars(int pixels_x, int pixels_y, int units_x, int units_y, int x, int y,
                                          bool no_refresh) {
    pixels_x_ = pixels_x;
    pixels_y_ = pixels_y;
    units_x_ = units_x;
    units_y_ = units_y;
    // The tree measures its items only, as if at the left edge; the main
    // column's offset and the columns beside it count too.
    int columns = owner_ != nullptr && owner_->header_window() != nullptr ? owner_->header_window()->total_width() : 0;
    if (pixels_x > 0 && (columns > 0 || main_offset() > 0))
        units_x = std::max(units_x + (main_offset() + pixels_x - 1) / pixels_x, (columns + pixels_x - 1) / pixels_x);
    wxGenericTreeCtrl::SetScrollbars(pixels_x, pixels_y, units_x, units_y, x, y, no_refresh);
}

void tree_list_main_window::column_inserted(int column) {
    for (auto& entry : items_)
        entry.second.insert_column(column);
}

void tree_list_main_window::column_removed(int column) {
    for (auto& entry : items_)
        entry.second.remove_column(column);
}

void tree_list_main_window::columns_changed() {
    if (pixels_x_ <= 0 && pixels_y_ <= 0)
        return;
    int x = 0, y = 0;
    GetViewStart(&x, &y);
    SetScrollbars(pixels_x_, pixels_y_, units_x_, units_y_, x, y, true);
}

int tree_list_main_window::hit_column(const wxPoint& pos) const {
    if (owner_ == nullptr || owner_->header_window() == nullptr || owner_->GetColumnCount() == 0)
        return owner_ != nullptr ? owner_->GetMainColumn() : 0;
    return owner_->header_window()->column_at(CalcUnscrolledPosition(pos).x);
}

void tree_list_main_window::on_left_down(wxMouseEvent& event) {
    rename_timer_.Stop();
    int flags = 0;
    wxTreeItemId hit = HitTest(window_point(event), flags);
    pressed_on_current_ = hit.IsOk() && hit == GetFocusedItem();
    event.Skip();
}

void tree_list_main_window::on_left_up(wxMouseEvent& event) {
    event.Skip();
    if (owner_ == nullptr)
        return;
    int flags = 0;
    const wxPoint at = window_point(event);
    wxTreeItemId hit = HitTest(at, flags);
    bool on_icon = hit.IsOk() && (flags & wxTREE_HITTEST_ONITEMICON) != 0;
    int column = on_icon ? owner_->GetMainColumn() : hit_column(at);
    if (hit.IsOk() && column >= 0 && column != owner_->GetMainColumn())
        flags |= KIV_TREE_HITTEST_ONITEMCOLUMN;

    if (pressed_on_current_ && hit.IsOk() && !on_icon && owner_->HasFlag(wxTR_EDIT_LABELS) &&
        owner_->IsColumnEditable(column) && (flags & (wxTREE_HITTEST_ONITEMLABEL | KIV_TREE_HITTEST_ONITEMCOLUMN))) {
        rename_timer_.item = hit;
        rename_timer_.column = column;
        rename_timer_.StartOnce(rename_delay_ms);
    }
    pressed_on_current_ = false;

    if (on_icon) {
        wxTreeEvent click(KIV_EVT_TREE_ICON_CLICK, owner_->GetId());
        click.SetEventObject(owner_);
        click.SetItem(hit);
        click.SetInt(column);
        click.SetPoint(at);
        owner_->GetEventHandler()->ProcessEvent(click);
    }
}

void tree_list_main_window::on_left_dclick(wxMouseEvent& event) {
    int flags = 0;
    wxTreeItemId hit = HitTest(window_point(event), flags);
    // A double click on the icon is two clicks on a check box, never an
    // activation.
    if (hit.IsOk() && (flags & wxTREE_HITTEST_ONITEMICON) != 0) {
        rename_timer_.Stop();
        return;
    }
    event.Skip();
}

void tree_list_main_window::on_paint(wxPaintEvent& event) {
    sync_virtual_labels();
    OnPaint(event);
    // Every scroll repaints: the header follows the items sideways here.
    const int scrolled = CalcScrolledPosition(wxPoint(0, 0)).x;
    if (owner_ != nullptr && owner_->header_window() != nullptr && scrolled != header_offset_) {
        owner_->header_window()->ScrollWindow(scrolled - header_offset_, 0);
        header_offset_ = scrolled;
    }
    if (owner_ == nullptr || owner_->header_window() == nullptr || owner_->GetColumnCount() < 2)
        return;
    const tree_list_header_window& header = *owner_->header_window();
    wxPaintDC dc(this);
    dc.SetFont(GetFont());
    const wxSize client = GetClientSize();
    const int main = owner_->GetMainColumn();
    const int main_x = CalcScrolledPosition(wxPoint(header.column_x(main), 0)).x;
    const int first_x = CalcScrolledPosition(wxPoint(header.column_x(main + 1), 0)).x;
    const wxColour back = GetBackgroundColour();
    wxImageList* images = GetImageList();
    for (wxTreeItemId id = GetFirstVisibleItem(); id.IsOk(); id = GetNextVisible(id)) {
        wxRect row;
        if (!GetBoundingRect(id, row, false) || row.y > client.y)
            break;
        // Long labels stop where the next column begins; the columns
        // before the main one are painted here too.
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.SetBrush(wxBrush(back));
        dc.DrawRectangle(first_x, row.y, std::max(client.x - first_x, 0), row.height);
        if (main_x > 0)
            dc.DrawRectangle(0, row.y, main_x, row.height);
        const bool selected = IsSelected(id);
        const tree_list_item* cells = item(id, false);
        const bool virtual_texts = owner_->is_virtual();
        for (int c = 0; c < owner_->GetColumnCount(); ++c) {
            if (c == main)
                continue;
            const tree_list_column_info& info = header.column(c);
            if (!info.shown || info.width <= 0)
                continue;
            wxRect cell(CalcScrolledPosition(wxPoint(header.column_x(c), 0)).x, row.y, info.width, row.height);
            if (selected) {
                dc.SetBrush(wxBrush(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHT)));
                dc.DrawRectangle(cell);
                dc.SetTextForeground(wxSystemSettings::GetColour(wxSYS_COLOUR_HIGHLIGHTTEXT));
            } else {
                dc.SetTextForeground(GetForegroundColour());
            }
            if (cells == nullptr && !virtual_texts)
                continue;
            wxDCClipper clip(dc, cell);
            wxRect text_area = cell.Deflate(2, 0);
            const int image = cells != nullptr ? cells->image(c) : -1;
            if (images != nullptr && image >= 0 && image < images->GetImageCount()) {
                int width = 0, height = 0;
                images->GetSize(image, width, height);
                images->Draw(image, dc, text_area.x, cell.y + (cell.height - height) / 2, wxIMAGELIST_DRAW_TRANSPARENT);
                text_area.x += width + 2;
                text_area.width -= width + 2;
            }
            int align = info.alignment == wxALIGN_RIGHT    ? wxALIGN_RIGHT
                        : info.alignment == wxALIGN_CENTRE ? wxALIGN_CENTRE_HORIZONTAL
                                                           : wxALIGN_LEFT;
            dc.DrawLabel(virtual_texts ? owner_->GetItemText(id, c) : cells->text(c), text_area,
                         align | wxALIGN_CENTRE_VERTICAL);
        }
    }
}

}  // namespace kiv
