// tab_control.h --
//
//     A notebook made of a panel and a strip of toggle buttons, one per
//     page. The active page's button is bold and pressed; "<" and ">"
//     scroll the strip when the buttons do not fit ("<" and ">" are 20 by
//     20 pixels, larger only where their label needs more, as with a large
//     font; the strip grows with them). Page changes are the
//     standard notebook events (wxEVT_NOTEBOOK_PAGE_CHANGING, which a
//     listener may veto, and wxEVT_NOTEBOOK_PAGE_CHANGED), so code
//     written for a notebook can listen to it. Every operation returns at
//     once (false, -1, "", null) once kiv_gui_terminate has run. GUI
//     thread only.

#ifndef KIV_GUI_TAB_CONTROL_H
#define KIV_GUI_TAB_CONTROL_H

#include <kiv/core/export.h>

#include <wx/panel.h>
#include <wx/tglbtn.h>

#include <vector>

class wxButton;

namespace kiv {

class KIV_EXPORT tab_control : public wxPanel {
public:
    // `top`: the strip sits above the pages, else below them.
    tab_control(wxWindow* parent, int id, wxPoint pos = wxDefaultPosition, wxSize size = wxDefaultSize,
                bool top = true);
    ~tab_control() override;

    // add_tab(name, page, activate) = insert_tab(page count, ...).
    virtual bool add_tab(wxString name, wxWindow* page, bool activate);
    // Inserts `page` (a child of this control not yet in it) before tab
    // `index`, with a button labelled `name`. The first page is always
    // activated; later ones when `activate`. An insertion at or before the
    // active tab shifts the active and previous indexes with their pages.
    // Returns: false for an index past the end, a null page, a page of
    //     another parent or one already here.
    virtual bool insert_tab(unsigned int index, wxString name, wxWindow* page, bool activate);
    // Destroys the page and its button. When it was active, page 0 (if
    // any is left) is activated and a page-changed event sent; otherwise
    // the indexes above it move down. Returns: false out of range.
    virtual bool remove_tab(unsigned int index);
    // Shows page `index` in the page area and presses its button (no
    // event). Returns: false out of range.
    virtual bool activate_tab(unsigned int index);
    // Returns: the page, or null out of range.
    virtual wxWindow* get_page(unsigned int index);
    // Returns: the active tab, -1 when none.
    virtual int get_active_tab();
    // Returns: the tab active before the current one, -1 when none.
    virtual int get_previous_tab();
    virtual unsigned int get_page_count();
    // Returns: the tab's name, "" out of range.
    virtual wxString get_tab_name(unsigned int index);

    // The strip's scroll buttons, for tests and for styling.
    wxButton* get_left_button() { return left_; }
    wxButton* get_right_button() { return right_; }
    // Returns: the strip's button of tab `index`, or null.
    wxToggleButton* get_tab_button(unsigned int index);

protected:
    // Asked when the user chose tab `index` with its button (after the
    // page-changing event was allowed). Returns: true to have the control
    // activate it (the caller does), false to refuse. Always true here.
    virtual bool tab_changed(unsigned int index);

private:
    void align_buttons();
    void place_page();
    void sync_buttons();
    void send_changed(int selection, int old_selection);
    void on_tab_btn(wxCommandEvent& event);
    void on_navi_btn(wxCommandEvent& event);
    void on_size(wxSizeEvent& event);
    void on_erase_bgnd(wxEraseEvent& event);

    bool top_;                              // strip above the pages
    std::vector<wxWindow*> pages_;          // tab order; children of this control
    std::vector<wxToggleButton*> buttons_;  // tab order; children of strip_
    std::vector<wxString> names_;           // tab order
    wxPanel* strip_ = nullptr;              // child window
    wxButton* left_ = nullptr;              // "<" on the strip
    wxButton* right_ = nullptr;             // ">" on the strip
    wxSize page_size_;                      // the page area
    wxSize grown_;                          // how much larger "<" and ">" are than 20 by 20; 0, 0: not
    int strip_offset_ = 0;                  // the strip's share of the height: 25 + grown_.y
    unsigned first_visible_ = 0;            // first button shown on the strip
    int active_tab_ = -1;                   // -1: none
    int previous_tab_ = -1;                 // -1: none
    wxWindow* current_ = nullptr;           // the shown page; null: none

    wxDECLARE_EVENT_TABLE();
};

}  // namespace kiv

#endif
