// shortcuts_bar.cpp --
//
//     The bar of the workspace pane: keeps its entries in order, lays
//     them out on every size event (captions 22 pixels high, the current
//     panel taking the height left), switches the current entry with the
//     two panel events around the switch, and grows a panel shown by a
//     click into view, one step per tick of its timer.
//
//     The growth is driven by the timer on the GUI thread: the toolkit
//     allows no other thread to resize a window. The timer belongs to the
//     bar, so it stops with it; a panel destroyed while growing ends the
//     growth at the next tick (the bar only holds a weak reference).

#include <kiv/core/i_event_proc.h>
#include <kiv/gui/shortcuts_bar.h>

#include <wx/dcclient.h>
#include <wx/settings.h>

#include <algorithm>

namespace kiv {

namespace {

const char* const before_change_event = "KIV_WORKSPACE_PANEL_BEFORE_CHANGE";
const char* const changed_event = "KIV_WORKSPACE_PANEL_CHANGED";

// The first growth step, in pixels.
const int first_step = 20;

// Returns: the growth step after a panel has reached `grown` of `full`
//     pixels; it shrinks as the panel nears its full height.
int next_step(int grown, int full, int step) {
    if (grown > full / 2)
        return 5;
    if (grown > full / 3)
        return 7;
    if (grown > full / 4)
        return 12;
    if (grown > full / 5)
        return 16;
    return step;
}

}  // namespace

wxBEGIN_EVENT_TABLE(shortcuts_bar, wxPanel)
    EVT_PAINT(shortcuts_bar::on_paint)
    EVT_SIZE(shortcuts_bar::on_size)
    EVT_LEFT_UP(shortcuts_bar::on_left_up)
    EVT_TIMER(wxID_ANY, shortcuts_bar::on_timer)
wxEND_EVENT_TABLE()

shortcuts_bar::shortcuts_bar(wxWindow* parent, const wxString& text)
    : wxPanel(parent, wxID_ANY, wxDefaultPosition, wxDefaultSize, wxTAB_TRAVERSAL), text_(text), timer_(this) {
    SetBackgroundColour(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW));
}

shortcuts_bar::~shortcuts_bar() {
    timer_.Stop();
    growing_ = nullptr;
    current_ = nullptr;
    entries_.clear();
}

bool shortcuts_bar::add_panel(const wxString& caption, int image, wxWindow* window) {
    if (window == nullptr || find(window) >= 0)
        return false;
    if (window->GetParent() != this)
        window->Reparent(this);
    window->Hide();
    auto entry = std::make_unique<panel_info>();
    entry->caption = new caption_bar(this, caption, image);
    entry->panel = window;
    entries_.push_back(std::move(entry));
    // Only an empty bar takes the new entry as current: switching behind
    // the back of the panel events would leave their listeners behind.
    if (current_ == nullptr)
        current_ = entries_.front().get();
    return true;
}

int shortcuts_bar::set_current(int position) {
    if (position < 0)
        return -1;
    if (position >= get_count())
        return get_count();
    panel_info* target = entries_[static_cast<size_t>(position)].get();
    if (target == current_)
        return position;
    fire(before_change_event);
    // A listener may have removed the entry meanwhile.
    auto found = std::find_if(entries_.begin(), entries_.end(),
                              [target](const std::unique_ptr<panel_info>& entry) { return entry.get() == target; });
    if (found == entries_.end())
        return get_count();
    current_ = target;
    SendSizeEvent();
    fire(changed_event);
    return static_cast<int>(found - entries_.begin());
}

bool shortcuts_bar::select(wxWindow* window) {
    if (window == nullptr)
        return false;
    int position = find(window);
    if (position < 0)
        return false;
    set_current(position);
    return true;
}

bool shortcuts_bar::remove(int position) {
    if (position < 0 || position >= get_count())
        return false;
    std::unique_ptr<panel_info> entry = std::move(entries_[static_cast<size_t>(position)]);
    entries_.erase(entries_.begin() + position);
    if (growing_ != nullptr && growing_.get() == entry->panel.get())
        stop_animation();
    // A click's switch ends here: the entry taking over is not grown.
    clicked_ = false;
    if (entry.get() == current_) {
        if (!entries_.empty()) {
            // The entry before it; the new first one when it was first.
            set_current(std::max(position - 1, 0));
        } else {
            fire(before_change_event);
            current_ = nullptr;
            fire(changed_event);
        }
        // The switch did not happen (a listener took the entry away).
        if (current_ == entry.get())
            current_ = nullptr;
    }
    entry->caption->Destroy();
    if (wxWindow* panel = entry->panel.get())
        panel->Destroy();
    SendSizeEvent();
    return true;
}

bool shortcuts_bar::remove(wxWindow* window) {
    if (window == nullptr)
        return false;
    return remove(find(window));
}

const panel_info* shortcuts_bar::get_entry(int position) const {
    if (position < 0 || position >= get_count())
        return nullptr;
    return entries_[static_cast<size_t>(position)].get();
}

int shortcuts_bar::get_current() const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].get() == current_)
            return static_cast<int>(i);
    }
    return -1;
}

wxString shortcuts_bar::get_current_text() const {
    return current_ != nullptr ? current_->caption->get_text() : wxString();
}

int shortcuts_bar::find(wxWindow* window) const {
    if (window == nullptr)
        return -1;
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i]->panel.get() == window)
            return static_cast<int>(i);
    }
    return -1;
}

int shortcuts_bar::find_caption(const wxString& text) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i]->caption->get_text() == text)
            return static_cast<int>(i);
    }
    return -1;
}

void shortcuts_bar::layout() {
    const wxSize size = GetClientSize();
    const int height = caption_bar::height;
    const int count = get_count();
    const int free = count > 0 ? size.y - height * count : 0;
    const int width = size.x;
    wxWindow* shown = current_ != nullptr ? current_->panel.get() : nullptr;
    if (is_animating() && growing_.get() != shown)
        stop_animation();

    if (stacked_) {
        int y = free + 20;
        for (const auto& entry : entries_) {
            if (entry.get() == current_)
                continue;
            entry->caption->SetSize(1, y, std::max(width - 2, 0), height);
            entry->caption->set_selected(false);
            if (wxWindow* panel = entry->panel.get())
                panel->Hide();
            y += height;
        }
        if (current_ != nullptr) {
            current_->caption->SetSize(1, 1, std::max(width - 2, 0), height);
            current_->caption->set_selected(true);
        }
        if (shown != nullptr) {
            const wxRect full(1, 1 + height, std::max(width - 1, 0), std::max(free - 2, 0));
            if (clicked_ && animate_) {
                if (is_animating()) {
                    // Resized while growing: grow on towards the new size.
                    full_ = full;
                    shown->SetSize(full.x, full.y, full.width, std::min(grown_, full.height));
                } else {
                    start_animation(shown, full);
                }
            } else {
                stop_animation();
                shown->SetSize(full);
                shown->Show();
            }
        }
    } else {
        stop_animation();
        int offset = 1;
        for (int i = 0; i < count; ++i) {
            panel_info* entry = entries_[static_cast<size_t>(i)].get();
            const int y = height * i + offset;
            entry->caption->SetSize(1, y, std::max(width - 2, 0), height);
            entry->caption->set_selected(entry == current_);
            if (wxWindow* panel = entry->panel.get()) {
                panel->SetSize(1, y + height, std::max(width - 1, 0), std::max(free - 1, 0));
                panel->Show(entry == current_);
            }
            if (entry == current_)
                offset = free + 1;
        }
    }
    if (!is_animating())
        clicked_ = false;
}

void shortcuts_bar::start_animation(wxWindow* panel, const wxRect& full) {
    stop_animation();
    if (full.height <= 0) {
        panel->SetSize(full);
        panel->Show();
        return;
    }
    growing_ = panel;
    full_ = full;
    grown_ = 0;
    step_ = first_step;
    panel->SetSize(full.x, full.y, full.width, 0);
    panel->Show();
    timer_.Start(1);
}

void shortcuts_bar::stop_animation() {
    timer_.Stop();
    if (wxWindow* panel = growing_.get())
        panel->SetSize(full_);
    growing_ = nullptr;
}

void shortcuts_bar::on_timer(wxTimerEvent&) {
    wxWindow* panel = growing_.get();
    if (panel == nullptr) {
        timer_.Stop();
        clicked_ = false;
        return;
    }
    grown_ = std::min(grown_ + step_, full_.height);
    if (grown_ >= full_.height) {
        timer_.Stop();
        growing_ = nullptr;
        panel->SetSize(full_);
        clicked_ = false;
        return;
    }
    panel->SetSize(full_.x, full_.y, full_.width, grown_);
    step_ = next_step(grown_, full_.height, step_);
}

void shortcuts_bar::on_paint(wxPaintEvent&) {
    wxPaintDC dc(this);
    const wxSize size = GetClientSize();
    dc.SetPen(wxPen(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT), 1));
    dc.DrawLine(size.x - 1, 0, size.x - 1, size.y);
    dc.DrawLine(0, size.y - 1, size.x, size.y - 1);
}

void shortcuts_bar::on_size(wxSizeEvent& event) {
    layout();
    event.Skip();
}

void shortcuts_bar::on_left_up(wxMouseEvent& event) {
    // Captions queue their releases here with themselves as the object;
    // a release on the bar itself selects nothing.
    wxObject* source = event.GetEventObject();
    for (int i = 0; i < get_count(); ++i) {
        panel_info* entry = entries_[static_cast<size_t>(i)].get();
        if (entry->caption != source)
            continue;
        if (entry != current_) {
            clicked_ = true;
            set_current(i);
        }
        return;
    }
}

void shortcuts_bar::fire(const char* event_name) {
    kiv_generate_event(event_name, 0, nullptr, true);
}

}  // namespace kiv
