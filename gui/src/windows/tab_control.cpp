// tab_control.cpp --
//
//     The toggle-button notebook: a strip panel with "<", ">" and one
//     toggle button per page, over (or under) a page area where only the
//     active page is shown. Buttons start 50 pixels in, after the scroll
//     buttons; those before `first_visible_` and those past the width are
//     hidden.
//
//     The scroll buttons are 20 by 20 pixels, the strip 24 (26 once the
//     buttons are aligned) and the page area starts 25 pixels down. A
//     GTK button pads its label by far more than 20 pixels leave room
//     for (the arrows came out as empty boxes, and GTK complained about
//     a negative content width), so the scroll buttons are made without
//     padding. Where even then the label and the button's border do not
//     fit in 20 by 20 (a larger font), the buttons grow to what the
//     label needs, and the strip, the page area's top and the first tab
//     button move by as much.

#include <kiv/gui/tab_control.h>

#include <kiv/gui/gui_lib.h>

#include <wx/button.h>
#include <wx/dcclient.h>
#include <wx/notebook.h>

#include <algorithm>

namespace kiv {

namespace {

const wxSize scroll_size(20, 20);  // "<" and ">" where the label fits
const int strip_height = 25;       // the page area is the height less this
const int buttons_start = 50;      // room for "<" and ">"
const int label_border = 1;        // a GTK button's border around its label

// Returns: the size scroll button `button` needs: 20 by 20, or larger
//     where its label and the border around it need more.
wxSize scroll_button_size(wxButton* button) {
    const wxSize label = button->GetTextExtent(button->GetLabel());
    return wxSize(std::max(scroll_size.x, label.x + 2 * label_border),
                  std::max(scroll_size.y, label.y + 2 * label_border));
}

}  // namespace

wxBEGIN_EVENT_TABLE(tab_control, wxPanel)
    EVT_SIZE(tab_control::on_size)
    EVT_ERASE_BACKGROUND(tab_control::on_erase_bgnd)
wxEND_EVENT_TABLE()

tab_control::tab_control(wxWindow* parent, int id, wxPoint pos, wxSize size, bool top)
    : wxPanel(parent, id, pos, size, wxTAB_TRAVERSAL | wxNO_BORDER), top_(top) {
    const wxSize client = GetClientSize();
    strip_ = new wxPanel(this, wxID_ANY, wxPoint(0, 0), wxSize(client.x, 24), wxTAB_TRAVERSAL | wxNO_BORDER);
    left_ = new wxButton(strip_, wxID_ANY, "<", wxPoint(0, 2), scroll_size, wxBU_EXACTFIT);
    right_ = new wxButton(strip_, wxID_ANY, ">", wxPoint(22, 2), scroll_size, wxBU_EXACTFIT);
    wxSize arrows = scroll_button_size(left_);
    arrows.IncTo(scroll_button_size(right_));
    grown_ = arrows - scroll_size;
    strip_offset_ = strip_height + grown_.y;
    left_->SetSize(arrows);
    right_->SetSize(22 + grown_.x, 2, arrows.x, arrows.y);
    strip_->SetSize(0, top_ ? 0 : client.y - strip_offset_, client.x, 24 + grown_.y);
    left_->Disable();
    right_->Disable();
    left_->Bind(wxEVT_BUTTON, &tab_control::on_navi_btn, this);
    right_->Bind(wxEVT_BUTTON, &tab_control::on_navi_btn, this);
    page_size_ = wxSize(client.x, std::max(0, client.y - strip_offset_));
}

tab_control::~tab_control() = default;

bool tab_control::add_tab(wxString name, wxWindow* page, bool activate) {
    return insert_tab(get_page_count(), name, page, activate);
}

bool tab_control::insert_tab(unsigned int index, wxString name, wxWindow* page, bool activate) {
    if (!kiv_gui_is_running() || index > pages_.size() || page == nullptr || page->GetParent() != this ||
        std::find(pages_.begin(), pages_.end(), page) != pages_.end())
        return false;
    pages_.insert(pages_.begin() + index, page);
    names_.insert(names_.begin() + index, name);
    auto* button = new wxToggleButton(strip_, wxID_ANY, name);
    button->Bind(wxEVT_TOGGLEBUTTON, &tab_control::on_tab_btn, this);
    buttons_.insert(buttons_.begin() + index, button);
    // The indexes keep naming the same pages.
    if (active_tab_ >= 0 && static_cast<int>(index) <= active_tab_)
        ++active_tab_;
    if (previous_tab_ >= 0 && static_cast<int>(index) <= previous_tab_)
        ++previous_tab_;
    // A page not shown yet stays out of sight until it is activated.
    if (page != current_)
        page->Hide();
    align_buttons();
    if (activate || pages_.size() == 1)
        activate_tab(index);
    return true;
}

bool tab_control::remove_tab(unsigned int index) {
    if (!kiv_gui_is_running() || index >= pages_.size())
        return false;
    wxWindow* page = pages_[index];
    wxToggleButton* button = buttons_[index];
    pages_.erase(pages_.begin() + index);
    buttons_.erase(buttons_.begin() + index);
    names_.erase(names_.begin() + index);
    button->Unbind(wxEVT_TOGGLEBUTTON, &tab_control::on_tab_btn, this);
    if (page == current_)
        current_ = nullptr;
    RemoveChild(page);
    page->Destroy();
    button->Destroy();
    const int removed = static_cast<int>(index);
    if (previous_tab_ == removed)
        previous_tab_ = -1;
    else if (previous_tab_ > removed)
        --previous_tab_;
    if (active_tab_ == removed) {
        active_tab_ = -1;
        if (!pages_.empty()) {
            activate_tab(0);
            send_changed(0, removed);
        }
    } else if (active_tab_ > removed) {
        --active_tab_;
    }
    if (first_visible_ > 0 && first_visible_ >= buttons_.size())
        first_visible_ = static_cast<unsigned>(buttons_.size()) - (buttons_.empty() ? 0 : 1);
    align_buttons();
    return true;
}

bool tab_control::activate_tab(unsigned int index) {
    if (!kiv_gui_is_running() || index >= pages_.size() || pages_[index] == nullptr)
        return false;
    wxWindow* page = pages_[index];
    page->SetSize(0, top_ ? strip_offset_ : 0, page_size_.x, page_size_.y);
    if (current_ != nullptr && current_ != page)
        current_->Hide();
    if (active_tab_ >= 0 && static_cast<size_t>(active_tab_) < buttons_.size()) {
        wxToggleButton* old = buttons_[static_cast<size_t>(active_tab_)];
        wxFont font = old->GetFont();
        font.SetWeight(wxFONTWEIGHT_NORMAL);
        old->SetFont(font);
        old->SetSize(old->GetBestSize());
        old->SetValue(false);
    }
    Show();
    page->Show();
    previous_tab_ = active_tab_;
    current_ = page;
    active_tab_ = static_cast<int>(index);
    wxToggleButton* button = buttons_[index];
    wxFont font = button->GetFont();
    font.SetWeight(wxFONTWEIGHT_BOLD);
    button->SetFont(font);
    button->SetSize(button->GetBestSize());
    button->SetValue(true);
    align_buttons();
    return true;
}

wxWindow* tab_control::get_page(unsigned int index) {
    if (!kiv_gui_is_running() || index >= pages_.size())
        return nullptr;
    return pages_[index];
}

int tab_control::get_active_tab() {
    return kiv_gui_is_running() ? active_tab_ : -1;
}

int tab_control::get_previous_tab() {
    return kiv_gui_is_running() ? previous_tab_ : -1;
}

unsigned int tab_control::get_page_count() {
    return kiv_gui_is_running() ? static_cast<unsigned>(pages_.size()) : 0;
}

wxString tab_control::get_tab_name(unsigned int index) {
    if (!kiv_gui_is_running() || index >= names_.size())
        return wxString();
    return names_[index];
}

wxToggleButton* tab_control::get_tab_button(unsigned int index) {
    return index < buttons_.size() ? buttons_[index] : nullptr;
}

bool tab_control::tab_changed(unsigned int) {
    return true;
}

void tab_control::send_changed(int selection, int old_selection) {
    wxBookCtrlEvent changed(wxEVT_COMMAND_NOTEBOOK_PAGE_CHANGED, GetId(), selection, old_selection);
    changed.SetEventObject(this);
    GetEventHandler()->ProcessEvent(changed);
}

// Only the active tab's button stays pressed: a click the listener
// vetoed, a refused tab or a click on the active tab changes nothing.
void tab_control::sync_buttons() {
    for (size_t i = 0; i < buttons_.size(); ++i)
        buttons_[i]->SetValue(static_cast<int>(i) == active_tab_);
}

void tab_control::on_tab_btn(wxCommandEvent& event) {
    event.Skip();
    if (!kiv_gui_is_running())
        return;
    auto found = std::find_if(buttons_.begin(), buttons_.end(),
                              [&event](wxToggleButton* b) { return b->GetId() == event.GetId(); });
    if (found == buttons_.end())
        return;
    const int index = static_cast<int>(found - buttons_.begin());
    const int old = active_tab_;
    wxBookCtrlEvent changing(wxEVT_COMMAND_NOTEBOOK_PAGE_CHANGING, GetId(), index, old);
    changing.SetEventObject(this);
    GetEventHandler()->ProcessEvent(changing);
    if (changing.IsAllowed()) {
        // True means "activate": a derived class need not call the base.
        if (tab_changed(static_cast<unsigned>(index)))
            activate_tab(static_cast<unsigned>(index));
        send_changed(index, old);
    }
    sync_buttons();
}

void tab_control::on_navi_btn(wxCommandEvent& event) {
    if (!kiv_gui_is_running())
        return;
    if (event.GetEventObject() == right_) {
        if (first_visible_ + 1 < buttons_.size())
            ++first_visible_;
    } else if (first_visible_ > 0) {
        --first_visible_;
    }
    align_buttons();
}

void tab_control::place_page() {
    if (current_ != nullptr)
        current_->SetSize(0, top_ ? strip_offset_ : 0, page_size_.x, page_size_.y);
}

void tab_control::on_size(wxSizeEvent& event) {
    if (!kiv_gui_is_running())
        return;
    const wxSize size = event.GetSize();
    page_size_ = wxSize(size.x, std::max(0, size.y - strip_offset_));
    place_page();
    align_buttons();
}

void tab_control::on_erase_bgnd(wxEraseEvent& event) {
    if (current_ != nullptr) {
        event.Skip();
        return;
    }
    wxDC* dc = event.GetDC();
    if (dc != nullptr) {
        dc->SetBackground(wxBrush(GetBackgroundColour()));
        dc->Clear();
    }
}

void tab_control::align_buttons() {
    if (!kiv_gui_is_running() || strip_ == nullptr)
        return;
    const size_t first = std::min<size_t>(first_visible_, buttons_.size());
    for (size_t i = 0; i < first; ++i)
        buttons_[i]->Hide();
    left_->Enable(first > 0);
    size_t next = first;
    bool sticks_out = false;
    const int start = buttons_start + 2 * grown_.x;
    if (page_size_.x > start) {
        int x = start;
        while (next < buttons_.size()) {
            wxToggleButton* button = buttons_[next++];
            button->Move(x + 2, 0);
            button->Show();
            button->Refresh();
            x += button->GetSize().x;
            if (x >= page_size_.x) {
                sticks_out = x > page_size_.x;
                break;
            }
        }
    }
    const bool hidden_after = next < buttons_.size();
    for (size_t i = next; i < buttons_.size(); ++i)
        buttons_[i]->Hide();
    right_->Enable(hidden_after || sticks_out);
    const wxSize client = GetClientSize();
    strip_->SetSize(0, top_ ? 0 : client.y - strip_offset_, client.x, 26 + grown_.y);
}

}  // namespace kiv
