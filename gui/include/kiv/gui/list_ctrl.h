// list_ctrl.h --
//
//     A virtual report list whose rows come from a row source, the stock
//     row source for a collection of strings, and two modal dialogs built
//     on them: one that picks one or several strings from a list, and one
//     that picks one string with radio buttons. GUI thread only.
//
//         kiv::string_list_container rows(-1);
//         kiv::list_ctrl* list = new kiv::list_ctrl(parent, &rows, wxSize(300, 300),
//                                                  wxLC_REPORT | wxLC_VIRTUAL);
//         list->InsertColumn(0, "");
//         rows.set_objects(list, strings);   // strings: an i_object_col of i_string
//
//     The container must outlive the control: the control neither owns
//     nor counts it.

#ifndef KIV_GUI_LIST_CTRL_H
#define KIV_GUI_LIST_CTRL_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/export.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/object.h>

#include <wx/dialog.h>
#include <wx/dynarray.h>
#include <wx/listctrl.h>

#include <vector>

class wxRadioButton;

namespace kiv {

class list_ctrl;

// The row source of a list_ctrl. Derived classes answer for each visible
// row; the base keeps nothing.
class KIV_EXPORT list_ctrl_container : public object {
public:
    ~list_ctrl_container() override = default;
    // Returns: the text of row `item`, column `column`.
    virtual wxString get_item_text(list_ctrl* ctrl, long item, long column) = 0;
    // Returns: the image index of row `item`; -1 for none.
    virtual int get_item_image(list_ctrl* ctrl, long item) = 0;
    // Returns: the attributes of row `item` (owned by the container), or
    //     null for the defaults.
    virtual wxListItemAttr* get_item_attr(list_ctrl* ctrl, long item) = 0;
    // Replaces the rows by `objects` (adding a reference; null: no rows)
    // and, when `ctrl` is not null, resets its item count. The base does
    // nothing.
    virtual void set_objects(wxListCtrl* ctrl, i_object_col* objects);
};

// Rows from a collection whose items answer i_string; every row shows
// the same image.
class KIV_EXPORT string_list_container : public list_ctrl_container {
public:
    explicit string_list_container(int image);
    ~string_list_container() override;
    // Holds a reference to its rows: shared through references only.
    string_list_container(const string_list_container&) = delete;
    string_list_container& operator=(const string_list_container&) = delete;
    // Returns: the UTF-8 text of the item at `item`; "" past the end, for
    //     an item that is no i_string, or without a collection.
    wxString get_item_text(list_ctrl* ctrl, long item, long column) override;
    int get_item_image(list_ctrl* ctrl, long item) override;
    wxListItemAttr* get_item_attr(list_ctrl* ctrl, long item) override;
    void set_objects(wxListCtrl* ctrl, i_object_col* objects) override;

private:
    int image_;                     // image index of every row; -1: none
    auto_ptr_t<i_object_col> rows_; // held reference; null: no rows
};

// The virtual list. Its style must carry wxLC_REPORT | wxLC_VIRTUAL.
class KIV_EXPORT list_ctrl : public wxListCtrl {
public:
    // `container` may be null: the rows are then empty.
    list_ctrl(wxWindow* parent, list_ctrl_container* container, wxSize size, unsigned long style);
    // Lets double-clicks through to the native control (which activates
    // the row) when `on`; otherwise double-clicks are swallowed.
    void use_db_click(bool on) { db_click_ = on; }
    bool uses_db_click() const { return db_click_; }
    list_ctrl_container* get_container() const { return container_; }

protected:
    wxString OnGetItemText(long item, long column) const override;
    int OnGetItemImage(long item) const override;
    wxListItemAttr* OnGetItemAttr(long item) const override;

private:
    void on_db_click(wxMouseEvent& event);
    void on_right_click(wxMouseEvent& event);

    list_ctrl_container* container_; // not owned; null: empty rows
    bool db_click_ = false;
};

// Picks one (`single`) or several strings from a list. With `single`, a
// double-click or Enter on a row ends the dialog with OK.
class KIV_EXPORT multi_choice_dlg : public wxDialog {
public:
    multi_choice_dlg(wxWindow* parent, const wxString& title, const wxString& message,
                     const wxArrayString& choices, bool single, int image);
    ~multi_choice_dlg() override;
    // Returns: the selected rows in increasing order.
    wxArrayInt get_selections() const;
    // Selects row `index` and scrolls it into view; an index outside the
    // list changes nothing.
    void set_selection(long index);
    list_ctrl* get_list() const { return list_; }

private:
    void on_activate(wxListEvent& event);

    auto_ptr_t<i_object_col_x> choices_;       // the strings; held
    auto_ptr_t<string_list_container> rows_;   // the row source; held
    list_ctrl* list_ = nullptr;                // child window
};

// Picks one string with radio buttons; none may be on.
class KIV_EXPORT choice_dlg : public wxDialog {
public:
    // A `selection` that is no valid index starts with no button on.
    choice_dlg(wxWindow* parent, const wxString& title, const wxString& message,
               const wxArrayString& choices, unsigned int selection);
    // Returns: the index of the button that is on; -1 when none is.
    int get_selection() const;
    const std::vector<wxRadioButton*>& get_buttons() const { return buttons_; }

private:
    std::vector<wxRadioButton*> buttons_; // child windows, in choice order
    wxRadioButton* none_;                 // hidden member of the group, on when no choice is
};

// The two choice functions have C linkage, so their exported names are
// plain; they stay in the namespace for C++ callers. Both take and give
// C++ types: only C++ code can call them, whatever the linkage.

// Asks for one of `choices` with radio buttons.
// Returns: the chosen index; -1 for no choices, Cancel, or OK with no
//     button on.
KIV_EXTERN_C int kiv_get_single_choice(wxWindow* parent, const wxString& title, const wxString& message,
                                       const wxArrayString& choices, unsigned int selection);
// Asks for one (`single`) or several of `choices` from a list, with row
// `selection` selected first (-1: none).
// Returns: the chosen indexes in increasing order; empty for no choices
//     or Cancel.
#if defined(__clang__)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wreturn-type-c-linkage"
#endif
KIV_EXTERN_C wxArrayInt kiv_get_multi_choice(wxWindow* parent, const wxString& title, const wxString& message,
                                             const wxArrayString& choices, bool single, int selection,
                                             int image);
#if defined(__clang__)
#pragma clang diagnostic pop
#endif

}  // namespace kiv

#endif
