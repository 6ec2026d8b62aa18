// tree_list_ctrl.h --
//
//     A multi-column tree window that code written against wxTreeCtrl*
//     drives unchanged: the items, expansion, selection, label editing,
//     dragging and the icon hit test are those of a generic tree (the main
//     window), every tree operation of the control forwards to it, the
//     column header is a wxHeaderCtrlSimple (showing the columns' images
//     from the image list), and the cells of the columns after the first
//     are painted and edited in place here. A left click released over an
//     item's icon sends KIV_EVT_TREE_ICON_CLICK; a double click on the icon
//     does not activate the item. The sideways scroll range covers every
//     shown column and the header follows the sideways scroll.
//
//     The main column (SetMainColumn; column 0 at first) holds the tree
//     lines, buttons, item images and labels: the generic tree draws and
//     hit-tests as if it stood at the window's left edge, and the main
//     window shifts its drawing, hit tests, item rectangles and label
//     editor by the main column's left edge, painting the columns before
//     it beside the tree like those after it.
//
//     Virtual mode (style KIV_TR_VIRTUAL): the texts of every column come
//     from OnGetItemText(item data, column), which a derived class
//     overrides; the stored texts are not used.

#ifndef KIV_GUI_TREE_LIST_CTRL_H
#define KIV_GUI_TREE_LIST_CTRL_H

#include <kiv/core/export.h>
#include <kiv/core/object.h>

#include <wx/arrstr.h>
#include <wx/headerctrl.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/treectrl.h>
#include <wx/generic/treectlg.h>

#include <map>
#include <vector>

// The icon-click event: a wxTreeEvent whose int is the hit column and whose
// point is the mouse position in the main window. A fixed number, so that
// every module holds the same type whatever the order it was loaded in.
static const wxEventTypeTag<wxTreeEvent> KIV_EVT_TREE_ICON_CLICK(wxEVT_USER_FIRST + 1000);

#define KIV_TREE_HITTEST_ONITEMCOLUMN 0x2000

// The control's style bit for virtual mode: texts come from OnGetItemText.
#define KIV_TR_VIRTUAL 0x4000

namespace kiv {

class tree_list_ctrl;

class KIV_EXPORT tree_list_column_info : public wxObject {
public:
    explicit tree_list_column_info(const wxString& title = wxString(), int pixels = 100, int align = wxALIGN_LEFT,
                                   int image_index = -1, int selected_image_index = -1, bool is_shown = true,
                                   bool is_editable = false)
        : text(title), width(pixels), alignment(align), image(image_index), selected_image(selected_image_index),
          shown(is_shown), editable(is_editable) {}

    wxString text;
    int width;
    int alignment;  // wxALIGN_LEFT, wxALIGN_CENTRE or wxALIGN_RIGHT
    int image;
    int selected_image;
    bool shown;
    bool editable;

private:
    wxDECLARE_DYNAMIC_CLASS(tree_list_column_info);
};

// The column header; it keeps the columns' descriptions.
class KIV_EXPORT tree_list_header_window : public wxHeaderCtrlSimple {
public:
    tree_list_header_window() = default;
    tree_list_header_window(tree_list_ctrl* owner, wxWindowID id, long style, const wxString& name);

    size_t count() const { return columns_.size(); }
    const tree_list_column_info& column(int index) const;
    void insert(int before, const tree_list_column_info& info);
    void remove(int index);
    void set(int index, const tree_list_column_info& info);
    // The left edge of a column in unscrolled main-window coordinates.
    int column_x(int index) const;
    // The shown column under x (unscrolled), -1 for none.
    int column_at(int x) const;
    // The width of all shown columns.
    int total_width() const;
    // Shows the columns' images anew from the control's image list.
    void images_changed();
    // Returns: the image the header shows for the column; not IsOk() when
    //     none.
    wxBitmapBundle shown_image(int index) const;

private:
    void on_resizing(wxHeaderCtrlEvent& event);
    void sync(int index);
    wxHeaderColumnSimple make_column(const tree_list_column_info& info) const;

    tree_list_ctrl* owner_ = nullptr;
    std::vector<tree_list_column_info> columns_;

    wxDECLARE_DYNAMIC_CLASS(tree_list_header_window);
};

// The texts and images of one item in the columns after the main one.
class KIV_EXPORT tree_list_item {
public:
    wxString text(int column) const;
    void set_text(int column, const wxString& text);
    int image(int column) const;
    void set_image(int column, int image);
    // A column inserted before `column` (the cells from there move right)
    // or `column` removed (the cells after it move left).
    void insert_column(int column);
    void remove_column(int column);

private:
    std::vector<wxString> texts_;
    std::vector<int> images_;
};

class tree_list_main_window;

// The in-place editor of a cell in a column other than the main one (the
// main column's label uses the generic tree's own editor). Enter or the
// loss of the focus accepts the text, Escape cancels; either way the
// control gets the end-label-edit event with the column as its int, and
// an accepted text that no handler vetoed goes into the cell.
class KIV_EXPORT tree_list_edit_ctrl : public wxTextCtrl {
public:
    tree_list_edit_ctrl(tree_list_main_window* owner, const wxTreeItemId& item, int column, const wxRect& cell,
                        const wxString& text);

    const wxTreeItemId& item() const { return item_; }
    int column() const { return column_; }
    // Ends the edit once (later calls do nothing) and lets the window go.
    void finish(bool accept);

private:
    void on_char(wxKeyEvent& event);
    void on_kill_focus(wxFocusEvent& event);

    tree_list_main_window* owner_;
    wxTreeItemId item_;
    int column_;
    bool finished_ = false;
};

class KIV_EXPORT tree_list_rename_timer : public wxTimer {
public:
    explicit tree_list_rename_timer(tree_list_main_window* owner) : owner_(owner) {}
    void Notify() override;

    wxTreeItemId item;
    int column = 0;

private:
    tree_list_main_window* owner_;
};

// The scrolled item area: a generic tree that forwards its tree events to
// the control and paints the column cells.
class KIV_EXPORT tree_list_main_window : public wxGenericTreeCtrl {
public:
    tree_list_main_window(tree_list_ctrl* owner, const wxSize& size, long style, const wxValidator& validator);
    ~tree_list_main_window() override;

    bool ProcessEvent(wxEvent& event) override;

    tree_list_item* item(const wxTreeItemId& id, bool create);
    // Opens the in-place editor on the cell unless a begin-label-edit
    // handler vetoes. Returns: whether an editor opened.
    bool edit_cell(const wxTreeItemId& id, int column);
    // The open editor of a column cell, or null.
    tree_list_edit_ctrl* column_editor() const { return column_editor_; }
    // Called by the editor when it ends: tells the control and writes an
    // accepted, unvetoed text into the cell.
    void column_edit_ended(tree_list_edit_ctrl* editor, bool accept);
    // Widens the sideways scroll range to the columns anew.
    void columns_changed();
    // Moves every item's cells for a column inserted or removed at `column`.
    void column_inserted(int column);
    void column_removed(int column);

    void SetScrollbars(int pixels_x, int pixels_y, int units_x, int units_y, int x = 0, int y = 0,
                       bool no_refresh = false) override;

    // The left edge of the main column in unscrolled coordinates: how far
    // the generic tree's drawing and hit tests are shifted.
    int main_offset() const;
    // Item rectangles, hit tests, drawing and the label editor in window
    // coordinates, shifted to the main column.
    bool GetBoundingRect(const wxTreeItemId& item, wxRect& rect, bool text_only = false) const override;
    wxTextCtrl* EditLabel(const wxTreeItemId& item, wxClassInfo* text_class = wxCLASSINFO(wxTextCtrl)) override;
    void DoPrepareDC(wxDC& dc) override;
    // Sorting asks the control, so that a class derived from it decides
    // the order.
    int OnCompareItems(const wxTreeItemId& item1, const wxTreeItemId& item2) override;
    // Refreshes whole rows: the tree's own rectangles do not know the shift.
    void Refresh(bool erase = true, const wxRect* rect = nullptr) override;

protected:
    wxTreeItemId DoTreeHitTest(const wxPoint& point, int& flags) const override;

private:
    // Virtual mode: gives the visible items' labels from OnGetItemText.
    void sync_virtual_labels();
    void drop_column_editor();
    void on_paint(wxPaintEvent& event);
    void on_left_down(wxMouseEvent& event);
    void on_left_up(wxMouseEvent& event);
    void on_left_dclick(wxMouseEvent& event);
    int hit_column(const wxPoint& pos) const;
    // A mouse event's position in window coordinates (the generic tree
    // gets mouse events shifted to its own while they pass).
    wxPoint window_point(const wxMouseEvent& event) const;

    tree_list_ctrl* owner_;
    std::map<void*, tree_list_item> items_;
    tree_list_rename_timer rename_timer_;
    bool pressed_on_current_ = false;
    int header_offset_ = 0;  // the header's sideways scroll, in pixels
    int mouse_shift_ = 0;    // how far the mouse event being handled was shifted
    tree_list_edit_ctrl* column_editor_ = nullptr;  // child window; null: none open
    wxTreeItemId ending_item_;  // the item of the edit being ended; cleared when it is deleted
    // The scroll layout the tree itself asked for, before the widening.
    int pixels_x_ = 0, pixels_y_ = 0, units_x_ = 0, units_y_ = 0;
    wxDECLARE_EVENT_TABLE();
};

class KIV_EXPORT tree_list_ctrl : public wxTreeCtrl {
public:
    tree_list_ctrl() = default;
    tree_list_ctrl(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
                   const wxSize& size = wxDefaultSize, long style = wxTR_DEFAULT_STYLE,
                   const wxValidator& validator = wxDefaultValidator, const wxString& name = "treelistctrl") {
        Create(parent, id, pos, size, style, validator, name);
    }

    ~tree_list_ctrl() override;

    bool Create(wxWindow* parent, wxWindowID id = wxID_ANY, const wxPoint& pos = wxDefaultPosition,
                const wxSize& size = wxDefaultSize, long style = wxTR_DEFAULT_STYLE,
                const wxValidator& validator = wxDefaultValidator, const wxString& name = "treelistctrl");

    tree_list_main_window* main_window() const { return main_; }
    tree_list_header_window* header_window() const { return header_; }

    // Columns.
    void AddColumn(const wxString& text, int width = 100, int alignment = wxALIGN_LEFT, bool shown = true,
                   bool editable = false);
    void InsertColumn(int before, const wxString& text, int width = 100, int alignment = wxALIGN_LEFT,
                      bool shown = true, bool editable = false);
    void RemoveColumn(int column);
    void SetColumn(int column, const tree_list_column_info& info);
    tree_list_column_info GetColumn(int column) const;
    int GetColumnCount() const;
    wxString GetColumnText(int column) const;
    void SetColumnText(int column, const wxString& text);
    int GetColumnWidth(int column) const;
    void SetColumnWidth(int column, int width);
    int GetColumnAlignment(int column) const;
    void SetColumnAlignment(int column, int alignment);
    int GetColumnImage(int column) const;
    void SetColumnImage(int column, int image);
    bool IsColumnEditable(int column) const;
    void SetColumnEditable(int column, bool editable = true);
    bool IsColumnShown(int column) const;
    void SetColumnShown(int column, bool shown = true);
    int GetMainColumn() const { return main_column_; }
    // Makes `column` the one with the tree lines, buttons, item images and
    // labels; the items' texts and normal images of the old and the new
    // main column trade places, so every column keeps its contents. A
    // column out of range changes nothing.
    void SetMainColumn(int column);

    // Per-column item texts and images; column 0 is the tree's label.
    using wxTreeCtrl::GetItemText;
    using wxTreeCtrl::SetItemText;
    using wxTreeCtrl::GetItemImage;
    using wxTreeCtrl::SetItemImage;
    using wxTreeCtrl::EditLabel;
    wxString GetItemText(const wxTreeItemId& item, int column) const;
    void SetItemText(const wxTreeItemId& item, int column, const wxString& text);
    int GetItemImage(const wxTreeItemId& item, int column, wxTreeItemIcon which) const;
    void SetItemImage(const wxTreeItemId& item, int column, int image, wxTreeItemIcon which = wxTreeItemIcon_Normal);
    // Opens the in-place editor on the item's cell in `column` (the main
    // column's label gets the generic tree's editor). False when nothing
    // opened: a bad item or column, or a vetoed begin-label-edit.
    bool EditLabel(const wxTreeItemId& item, int column);

    // The tree interface, every operation forwarded to the main window.
    unsigned int GetCount() const override { return main_->GetCount(); }
    unsigned int GetIndent() const override { return main_->GetIndent(); }
    void SetIndent(unsigned int indent) override { main_->SetIndent(indent); }
    unsigned int GetSpacing() const { return main_->GetSpacing(); }
    void SetSpacing(unsigned int spacing) { main_->SetSpacing(spacing); }
    void SetImageList(wxImageList* list) override;
    void SetStateImageList(wxImageList* list) override { main_->SetStateImageList(list); }
    virtual void AssignImageList(wxImageList* list);
    virtual wxImageList* GetImageList() const { return main_->GetImageList(); }
    virtual wxImageList* GetStateImageList() const { return main_->GetStateImageList(); }
    // The expand buttons' pictures: normal, selected, expanded and
    // selected expanded, in that order (the generic tree's).
    virtual wxImageList* GetButtonsImageList() const { return main_->GetButtonsImageList(); }
    virtual void SetButtonsImageList(wxImageList* list);
    virtual void AssignStateImageList(wxImageList* list) { main_->AssignStateImageList(list); }
    // The control deletes the list.
    virtual void AssignButtonsImageList(wxImageList* list);

    // Items with their texts in every column: texts[i] goes into column i
    // (the main column's is the label); missing texts stay empty.
    using wxTreeCtrl::PrependItem;
    using wxTreeCtrl::InsertItem;
    using wxTreeCtrl::AppendItem;
    virtual wxTreeItemId PrependItem(const wxTreeItemId& parent, const wxArrayString& texts, int image = -1,
                                     int selected_image = -1, wxTreeItemData* data = nullptr);
    virtual wxTreeItemId InsertItem(const wxTreeItemId& parent, size_t before, const wxArrayString& texts,
                                    int image = -1, int selected_image = -1, wxTreeItemData* data = nullptr);
    virtual wxTreeItemId InsertItem(const wxTreeItemId& parent, const wxTreeItemId& previous,
                                    const wxArrayString& texts, int image = -1, int selected_image = -1,
                                    wxTreeItemData* data = nullptr);
    virtual wxTreeItemId AppendItem(const wxTreeItemId& parent, const wxArrayString& texts, int image = -1,
                                    int selected_image = -1, wxTreeItemData* data = nullptr);

    // Virtual mode's text source: the text of the item with `data` in
    // `column`. Returns: the empty text here; derived classes answer.
    virtual wxString OnGetItemText(wxTreeItemData* data, long column) const;
    bool is_virtual() const { return HasFlag(KIV_TR_VIRTUAL); }
    wxString GetItemText(const wxTreeItemId& item) const override { return GetItemText(item, main_column_); }
    int GetItemImage(const wxTreeItemId& item, wxTreeItemIcon which = wxTreeItemIcon_Normal) const override {
        return main_->GetItemImage(item, which);
    }
    wxTreeItemData* GetItemData(const wxTreeItemId& item) const override { return main_->GetItemData(item); }
    wxColour GetItemTextColour(const wxTreeItemId& item) const override { return main_->GetItemTextColour(item); }
    wxColour GetItemBackgroundColour(const wxTreeItemId& item) const override {
        return main_->GetItemBackgroundColour(item);
    }
    wxFont GetItemFont(const wxTreeItemId& item) const override { return main_->GetItemFont(item); }
    void SetItemText(const wxTreeItemId& item, const wxString& text) override;
    void SetItemImage(const wxTreeItemId& item, int image, wxTreeItemIcon which = wxTreeItemIcon_Normal) override;
    void SetItemData(const wxTreeItemId& item, wxTreeItemData* data) override { main_->SetItemData(item, data); }
    void SetItemHasChildren(const wxTreeItemId& item, bool has = true) override {
        main_->SetItemHasChildren(item, has);
    }
    void SetItemBold(const wxTreeItemId& item, bool bold = true) override { main_->SetItemBold(item, bold); }
    void SetItemDropHighlight(const wxTreeItemId& item, bool highlight = true) override {
        main_->SetItemDropHighlight(item, highlight);
    }
    void SetItemTextColour(const wxTreeItemId& item, const wxColour& colour) override;
    void SetItemBackgroundColour(const wxTreeItemId& item, const wxColour& colour) override;
    void SetItemFont(const wxTreeItemId& item, const wxFont& font) override;
    bool IsVisible(const wxTreeItemId& item) const override { return main_->IsVisible(item); }
    bool ItemHasChildren(const wxTreeItemId& item) const override { return main_->ItemHasChildren(item); }
    bool IsExpanded(const wxTreeItemId& item) const override { return main_->IsExpanded(item); }
    bool IsSelected(const wxTreeItemId& item) const override { return main_->IsSelected(item); }
    bool IsBold(const wxTreeItemId& item) const override { return main_->IsBold(item); }
    bool GetItemBold(const wxTreeItemId& item) const { return main_->IsBold(item); }
    size_t GetChildrenCount(const wxTreeItemId& item, bool recursively = true) const override {
        return main_->GetChildrenCount(item, recursively);
    }
    wxTreeItemId GetRootItem() const override { return main_->GetRootItem(); }
    wxTreeItemId GetSelection() const override { return main_->GetSelection(); }
    size_t GetSelections(wxArrayTreeItemIds& out) const override { return main_->GetSelections(out); }
    wxTreeItemId GetFocusedItem() const override { return main_->GetFocusedItem(); }
    void ClearFocusedItem() override { main_->ClearFocusedItem(); }
    void SetFocusedItem(const wxTreeItemId& item) override { main_->SetFocusedItem(item); }
    wxTreeItemId GetItemParent(const wxTreeItemId& item) const override { return main_->GetItemParent(item); }
    wxTreeItemId GetFirstChild(const wxTreeItemId& item, wxTreeItemIdValue& cookie) const override {
        return main_->GetFirstChild(item, cookie);
    }
    wxTreeItemId GetNextChild(const wxTreeItemId& item, wxTreeItemIdValue& cookie) const override {
        return main_->GetNextChild(item, cookie);
    }
    wxTreeItemId GetLastChild(const wxTreeItemId& item) const override { return main_->GetLastChild(item); }
    wxTreeItemId GetNextSibling(const wxTreeItemId& item) const override { return main_->GetNextSibling(item); }
    wxTreeItemId GetPrevSibling(const wxTreeItemId& item) const override { return main_->GetPrevSibling(item); }
    wxTreeItemId GetFirstVisibleItem() const override { return main_->GetFirstVisibleItem(); }
    wxTreeItemId GetNextVisible(const wxTreeItemId& item) const override { return main_->GetNextVisible(item); }
    wxTreeItemId GetPrevVisible(const wxTreeItemId& item) const override { return main_->GetPrevVisible(item); }
    wxTreeItemId AddRoot(const wxString& text, int image = -1, int selected_image = -1,
                         wxTreeItemData* data = nullptr) override {
        return main_->AddRoot(text, image, selected_image, data);
    }
    void Delete(const wxTreeItemId& item) override { main_->Delete(item); }
    void DeleteChildren(const wxTreeItemId& item) override { main_->DeleteChildren(item); }
    void DeleteAllItems() override { main_->DeleteAllItems(); }
    void Expand(const wxTreeItemId& item) override { main_->Expand(item); }
    void Collapse(const wxTreeItemId& item) override { main_->Collapse(item); }
    void CollapseAndReset(const wxTreeItemId& item) override { main_->CollapseAndReset(item); }
    void Toggle(const wxTreeItemId& item) override { main_->Toggle(item); }
    void Unselect() override { main_->Unselect(); }
    void UnselectAll() override { main_->UnselectAll(); }
    void SelectItem(const wxTreeItemId& item, bool select = true) override { main_->SelectItem(item, select); }
    void SelectChildren(const wxTreeItemId& parent) override { main_->SelectChildren(parent); }
    void EnsureVisible(const wxTreeItemId& item) override { main_->EnsureVisible(item); }
    void ScrollTo(const wxTreeItemId& item) override { main_->ScrollTo(item); }
    wxTextCtrl* EditLabel(const wxTreeItemId& item, wxClassInfo* text_class = wxCLASSINFO(wxTextCtrl)) override {
        return main_->EditLabel(item, text_class);
    }
    // The open editor: a column cell's, else the main label's, or null.
    wxTextCtrl* GetEditControl() const override;
    void EndEditLabel(const wxTreeItemId& item, bool discard_changes = false) override;
    void EnableBellOnNoMatch(bool on = true) override { main_->EnableBellOnNoMatch(on); }
    void SortChildren(const wxTreeItemId& item) override { main_->SortChildren(item); }
    // Returns: how SortChildren orders two items: below 0, 0 or above 0
    //     as the first goes before, with or after the second; by the main
    //     column's text here. A derived class overrides it.
    int OnCompareItems(const wxTreeItemId& item1, const wxTreeItemId& item2) override {
        return GetItemText(item1).Cmp(GetItemText(item2));
    }
    bool GetBoundingRect(const wxTreeItemId& item, wxRect& rect, bool text_only = false) const override;
    void SetWindowStyleFlag(long style) override;
    long GetWindowStyleFlag() const override { return wxControl::GetWindowStyleFlag(); }
    void SetFocus() override { main_->SetFocus(); }
    void Refresh(bool erase = true, const wxRect* rect = nullptr) override;
    bool SetBackgroundColour(const wxColour& colour) override;
    bool SetForegroundColour(const wxColour& colour) override;
    bool SetFont(const wxFont& font) override;

    void layout_children();

protected:
    wxTreeItemId DoInsertItem(const wxTreeItemId& parent, size_t pos, const wxString& text, int image,
                              int selected_image, wxTreeItemData* data) override;
    wxTreeItemId DoInsertAfter(const wxTreeItemId& parent, const wxTreeItemId& previous, const wxString& text,
                               int image = -1, int selected_image = -1, wxTreeItemData* data = nullptr) override;
    wxTreeItemId DoTreeHitTest(const wxPoint& point, int& flags) const override;
    int DoGetItemState(const wxTreeItemId& item) const override;
    void DoSetItemState(const wxTreeItemId& item, int state) override;
    wxSize DoGetBestSize() const override;

private:
    void on_size(wxSizeEvent& event);
    void on_paint(wxPaintEvent& event);
    void on_mouse(wxMouseEvent& event) { event.Skip(false); }
    void on_key(wxKeyEvent& event) { event.Skip(); }
    void OnInternalIdle() override { wxControl::OnInternalIdle(); }
    // Puts texts[i] into column i of `item` (when it was made).
    wxTreeItemId fill_columns(const wxTreeItemId& item, const wxArrayString& texts);
    // Gives every item's label and normal image the texts and images of
    // its cells in `column`, which are emptied.
    void load_main_from_cells(int column);
    // The items of the subtree under `item`, `item` first.
    void collect(const wxTreeItemId& item, std::vector<wxTreeItemId>& out) const;

    tree_list_header_window* header_ = nullptr;
    tree_list_main_window* main_ = nullptr;
    int header_height_ = 0;
    int main_column_ = 0;

    wxDECLARE_DYNAMIC_CLASS(tree_list_ctrl);
    wxDECLARE_EVENT_TABLE();
};

}  // namespace kiv

#endif
