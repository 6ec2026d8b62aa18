// status_ctrl.cpp --
//
//     The status control: lays status icons out in one field of a status
//     bar, moves those that do not fit into a pop-up opened by a "more"
//     button, and animates them.
//
//     The animation thread ticks every 100 ms. It keeps, per status
//     position, the tick at which the status moves on to its next
//     picture; the schedule follows the statuses when they are inserted
//     or removed. The thread ends by itself when no status animates, and
//     "STATUS_EVT_BEGIN_THREAD" starts it again. The thread only calls
//     set_image, which carries the window change to the GUI thread.

#include <kiv/gui/status_ctrl.h>

#include "status_pictures.h"

#include <kiv/core/i_core.h>
#include <kiv/core/log.h>
#include <kiv/gui/i_gui_event_proc.h>

#include <wx/app.h>
#include <wx/bmpbuttn.h>
#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/sizer.h>
#include <wx/statusbr.h>

namespace kiv {

namespace {

const unsigned tick_ms = 100;
const unsigned tick_wrap = 4000000000u;

// The application's main frame, null when the top window is not a frame.
wxFrame* top_frame() {
    return wxTheApp != nullptr ? wxDynamicCast(wxTheApp->GetTopWindow(), wxFrame) : nullptr;
}

unsigned first_picture_height(i_object_col* statuses) {
    if (statuses == nullptr || statuses->get_count() == 0)
        return 0;
    auto_ptr_t<i_object> item(statuses->get_item_by_pos(0));
    i_status* status = kiv_cast_i_status(item);
    if (status == nullptr)
        return 0;
    auto_ptr_t<i_object_col> pictures(status->get_images());
    if (!pictures)
        return 0;
    auto_ptr_t<i_object> first(pictures->get_item_by_pos(0));
    i_status_image* picture = kiv_cast_i_status_image(first);
    if (picture == nullptr)
        return 0;
    auto_ptr_t<i_image> image(picture->get_image());
    return image ? image->get_height() : 0;
}

}  // namespace

status_ctrl::status_ctrl(wxStatusBar* bar, unsigned field, i_object_col* statuses)
    : bar_(bar), field_(field) {
    statuses_.reset(new object_col);
    statuses_->addref();
    ensure_png_handler();

    wxRect rect;
    const unsigned picture_h = first_picture_height(statuses);
    if (bar != nullptr && picture_h > 0 && bar->GetFieldRect(field, rect) &&
        rect.height < int(picture_h) + 2) {
        // Room for the picture and its transparent border of 1 pixel.
        bar->SetMinHeight(bar->GetSize().y - rect.height + int(picture_h) + 2);
        if (wxFrame* frame = wxDynamicCast(bar->GetParent(), wxFrame))
            frame->SendSizeEvent();
    }

    if (bar != nullptr) {
        auto* popup = new wxDialog(bar->GetParent(), wxID_ANY, wxString(), wxDefaultPosition,
                                   wxDefaultSize, wxBORDER_NONE, "status_popup");
        popup->SetBackgroundColour(wxColour(250, 250, 250));
        popup->SetSizer(new wxBoxSizer(wxVERTICAL));
        popup_ = popup;
        wxImage more = more_picture();
        wxImage more_hover = more.Copy();
        bit2hover(&more_hover);
        auto* button = new wxBitmapButton(bar, wxID_ANY, wxBitmap(more), wxDefaultPosition,
                                          wxDefaultSize, wxBORDER_NONE, wxDefaultValidator,
                                          "status_more");
        button->SetBitmapCurrent(wxBitmap(more_hover));
        button->Hide();
        more_ = button;
    }
    if (statuses != nullptr)
        statuses_->add_col(statuses, false);

    const unsigned count = statuses_->get_count();
    for (unsigned i = 0; i < count; i++) {
        auto_ptr_t<i_object> item(statuses_->get_item_by_pos(i));
        i_status* status = kiv_cast_i_status(item);
        if (status == nullptr) {
            kiv_trace("Error create %u status item", i);
            continue;
        }
        if (bar != nullptr)
            status->create_ctrl(bar);
        mutex_locker lock(&mutex_);
        schedule_[i] = 0;
    }

    resize();
    if (bar != nullptr) {
        bar->Bind(wxEVT_SIZE, &status_ctrl::on_size, this);
        more_->Bind(wxEVT_BUTTON, &status_ctrl::on_show_hide_items, this);
        popup_->Bind(wxEVT_ACTIVATE, &status_ctrl::on_kill_focus, this);
    }

    kiv_install_gui_handler(0, "STATUS_EVT_CHANGE", wxEventHandler(status_ctrl::on_change), this);
    kiv_install_gui_handler(0, "STATUS_EVT_BEGIN_THREAD", wxEventHandler(status_ctrl::on_begin_thread), this);
    start_thread();
}

status_ctrl::~status_ctrl() {
    stop_threads(20);
    kiv_uninstall_gui_handler(0, "STATUS_EVT_CHANGE", wxEventHandler(status_ctrl::on_change), this);
    kiv_uninstall_gui_handler(0, "STATUS_EVT_BEGIN_THREAD", wxEventHandler(status_ctrl::on_begin_thread), this);
    // Icons in the pop-up belong to their statuses: give them back to the
    // bar before the pop-up goes.
    const unsigned count = statuses_->get_count();
    for (unsigned i = 0; i < count; i++) {
        auto_ptr_t<i_object> item(statuses_->get_item_by_pos(i));
        i_status* status = kiv_cast_i_status(item);
        wxWindow* window = status != nullptr ? status->get_ctrl() : nullptr;
        if (window != nullptr && popup_ && window->GetParent() == popup_.get()) {
            window->Hide();
            if (bar_)
                window->Reparent(bar_.get());
        }
    }
    if (popup_)
        popup_->Destroy();
    if (more_)
        more_->Destroy();
    {
        mutex_locker lock(&mutex_);
        schedule_.clear();
    }
    statuses_->clear();
}

bool status_ctrl::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_status_ctrl", static_cast<i_status_ctrl*>(this), out))
        return true;
    return object::get_interface(name, out);
}

i_object_col* status_ctrl::get_statuses() {
    statuses_->addref();
    return statuses_.get();
}

unsigned status_ctrl::get_schedule(unsigned position) {
    mutex_locker lock(&mutex_);
    auto found = schedule_.find(position);
    return found != schedule_.end() ? found->second : 0;
}

bool status_ctrl::is_animating() {
    mutex_locker lock(&mutex_);
    return thread_alive_;
}

wxWindow* status_ctrl::get_more_button() {
    return more_.get();
}

wxWindow* status_ctrl::get_popup() {
    return popup_.get();
}

void status_ctrl::add_status(i_status* status, int position) {
    if (status == nullptr)
        return;
    {
        mutex_locker lock(&mutex_);
        const unsigned count = statuses_->get_count();
        if (position < 0) {
            statuses_->add_item(status, false);
            schedule_[count] = 0;
        } else {
            // A position past the end appends: the entry goes where the
            // status really lands.
            const unsigned at = std::min(static_cast<unsigned>(position), count);
            for (unsigned i = count; i > at; i--)
                schedule_[i] = schedule_[i - 1];
            statuses_->insert_item(status, at);
            schedule_[at] = 0;
        }
    }
    if (bar_)
        status->create_ctrl(bar_.get());
    resize();
}

void status_ctrl::remove_status(i_status* status) {
    if (status == nullptr)
        return;
    const int found = statuses_->get_item_pos(static_cast<i_object*>(status));
    if (found < 0)
        return;
    if (wxWindow* window = status->get_ctrl())
        window->Hide();
    {
        // The removal happens under the lock, so the animation thread
        // never holds the last reference of a status.
        mutex_locker lock(&mutex_);
        const unsigned count = statuses_->get_count();
        for (unsigned j = unsigned(found) + 1; j < count; j++)
            schedule_[j - 1] = schedule_[j];
        schedule_.erase(count - 1);
        statuses_->remove_item(static_cast<i_object*>(status));
    }
    resize();
}

void status_ctrl::resize() {
    wxFrame* frame = top_frame();
    if (frame == nullptr || !bar_ || !popup_ || !more_)
        return;
    wxRect field;
    if (!bar_->GetFieldRect(field_, field))
        return;
    wxSizer* popup_sizer = popup_->GetSizer();
    popup_sizer->Clear(false);
    int x = 0;
    wxGridSizer* overflow = nullptr;
    const unsigned count = statuses_->get_count();
    for (unsigned i = 0; i < count; i++) {
        auto_ptr_t<i_object> item(statuses_->get_item_by_pos(i));
        i_status* status = kiv_cast_i_status(item);
        wxWindow* window = status != nullptr ? status->get_ctrl() : nullptr;
        if (window == nullptr)
            continue;
        if (!status->is_shown()) {
            window->Hide();
            continue;
        }
        window->Show();
        window->Enable(status->is_enabled());
        const wxSize size = window->GetSize();
        if (size.x + field.x + x + 10 < field.x + field.width) {
            if (window->GetParent() != bar_.get())
                window->Reparent(bar_.get());
            window->Move(field.x + x, field.y + (field.height - size.y) / 2);
            x += size.x;
        } else {
            if (overflow == nullptr)
                overflow = new wxGridSizer(0, 10, 0, 0);  // rows of 10
            if (window->GetParent() != popup_.get())
                window->Reparent(popup_.get());
            overflow->Add(window);
        }
    }
    if (overflow != nullptr) {
        popup_sizer->Add(overflow);
        popup_sizer->Fit(popup_.get());
        const wxSize button = more_->GetSize();
        more_->Move(field.x + x + 2, field.y + (field.height - button.y) / 2);
        more_->Show();
    } else {
        more_->Hide();
    }
    if (popup_->IsShown()) {
        if (overflow != nullptr)
            place_popup();
        else
            popup_->Hide();
    }
}

void status_ctrl::place_popup() {
    wxFrame* frame = top_frame();
    if (frame == nullptr || !popup_ || !more_ || !bar_)
        return;
    const wxRect frame_rect = frame->GetRect();
    const wxSize popup = popup_->GetSize();
    const wxRect button = more_->GetRect();
    int x = frame_rect.x + button.x;
    if (popup.x + button.x >= frame_rect.width)
        x = frame_rect.x + button.x + button.width - popup.x;
    const int y = frame_rect.y + bar_->GetPosition().y - popup.y + 30;
    popup_->Move(x, y);
}

void status_ctrl::on_size(wxSizeEvent& event) {
    // The bar computes its field rectangles in its own size handler,
    // which runs after this one.
    CallAfter(&status_ctrl::resize);
    event.Skip();
}

void status_ctrl::on_change(wxEvent& event) {
    resize();
    event.Skip();
}

void status_ctrl::on_begin_thread(wxEvent& event) {
    start_thread();
    event.Skip();
}

void status_ctrl::on_show_hide_items(wxCommandEvent& event) {
    if (popup_) {
        if (popup_->IsShown()) {
            popup_->Hide();
        } else if (top_frame() != nullptr) {
            popup_->Fit();
            place_popup();
            popup_->Show();
        }
        popup_->Refresh();
    }
    event.Skip();
}

void status_ctrl::on_kill_focus(wxActivateEvent& event) {
    if (!event.GetActive() && popup_) {
        popup_->Hide();
        popup_->Update();
    }
    event.Skip();
}

void status_ctrl::start_thread() {
    {
        mutex_locker lock(&mutex_);
        if (thread_alive_) {
            // The thread may be deciding to end: make it look again.
            restart_ = true;
            return;
        }
        thread_alive_ = true;
        restart_ = false;
    }
    if (!create_thread(this, static_cast<thread_function>(&status_ctrl::image_thread), nullptr)) {
        mutex_locker lock(&mutex_);
        thread_alive_ = false;
    }
}

void status_ctrl::image_thread(void*) {
    for (;;) {
        if (!thread_running() || !kiv_is_running())
            break;
        bool animated = false;
        const unsigned tick = tick_.load() + tick_ms;
        tick_.store(tick);
        const unsigned count = statuses_->get_count();
        for (unsigned i = 0; i < count; i++) {
            // Every reference taken here is dropped under the lock, so a
            // status removed meanwhile is destroyed by the GUI thread.
            mutex_locker lock(&mutex_);
            auto_ptr_t<i_object> item(statuses_->get_item_by_pos(i));
            i_status* status = kiv_cast_i_status(item);
            if (status == nullptr || !status->is_active() || !status->is_shown() ||
                !status->is_enabled())
                continue;
            auto_ptr_t<i_object_col> pictures(status->get_images());
            auto_ptr_t<i_object> current(pictures ? pictures->get_item_by_pos(status->get_image())
                                                  : nullptr);
            i_status_image* picture = kiv_cast_i_status_image(current);
            const unsigned period = picture != nullptr ? picture->get_period() : 0;
            if (period == 0) {
                schedule_[i] = 0;
                status->set_active(false);
                continue;
            }
            animated = true;
            unsigned& entry = schedule_[i];
            if (entry == 0)
                entry = tick + period;
            if (tick >= entry) {
                status->set_image(picture->get_next());
                entry = tick + period;
            }
        }
        {
            mutex_locker lock(&mutex_);
            if (!animated && !restart_) {
                thread_alive_ = false;
                return;
            }
            restart_ = false;
        }
        pause_thread(tick_ms);
        if (tick_.load() > tick_wrap) {
            mutex_locker lock(&mutex_);
            tick_.store(0);
            for (auto& entry : schedule_)
                if (entry.second != 0)
                    entry.second -= tick_wrap;
        }
    }
    mutex_locker lock(&mutex_);
    thread_alive_ = false;
}

}  // namespace kiv
