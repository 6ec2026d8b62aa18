// status_item.cpp --
//
//     One status icon and its pictures. The icon's state (current picture,
//     shown, enabled, active) may be changed from the animation thread;
//     its window only on the GUI thread, so a picture change made
//     elsewhere reaches the window through the item's own queue, in the
//     order the changes were made.

#include <kiv/gui/status_ctrl.h>

#include "status_events.h"
#include "status_pictures.h"

#include <kiv/image/i_image.h>
#include <kiv/image/image_lib.h>

#include <wx/bmpbuttn.h>
#include <wx/menu.h>
#include <wx/log.h>
#include <wx/mstream.h>
#include <wx/thread.h>

namespace kiv {

namespace {

// The tooltip buffer of the icon holds this many bytes with the terminator.
const size_t tooltip_capacity = 10240;

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
std::string cut_utf8(const char* text, size_t limit) {
    std::string kept(text);
    if (kept.size() <= limit)
        return kept;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(kept[end]) & 0xC0) == 0x80)
        end--;
    kept.resize(end);
    return kept;
}

}  // namespace

// ---- status_image ----------------------------------------------------------

status_image::status_image(i_image* image, unsigned next, unsigned period)
    : next_(next), period_(period) {
    set_image(image);
}

bool status_image::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_status_image", static_cast<i_status_image*>(this), out))
        return true;
    return object::get_interface(name, out);
}

i_image* status_image::get_image() {
    mutex_locker lock(&lock_);
    if (image_)
        image_->addref();
    return image_.get();
}

void status_image::set_image(i_image* image) {
    if (image != nullptr)
        image->addref();
    auto_ptr_t<i_image> old;
    mutex_locker lock(&lock_);
    old = std::move(image_);
    image_.reset(image);
}

// ---- status_item -----------------------------------------------------------

status_item::status_item(const char* name, const char* const* xpm, unsigned next, unsigned period) {
    if (name != nullptr && name[0] != '\0')
        set_name(name);
    images_.reset(new object_col);
    images_->addref();
    if (xpm != nullptr)
        add_image(xpm, 0, next, period);
}

status_item::~status_item() {
    if (ctrl_ && wxThread::IsMain())
        ctrl_->Destroy();
}

bool status_item::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_status", static_cast<i_status*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

i_image* status_item::xpm2image(const char* const* xpm) {
    if (xpm == nullptr)
        return nullptr;
    wxImage picture;
    {
        wxLogNull quiet;
        picture = wxImage(xpm);
    }
    if (!picture.IsOk())
        return nullptr;
    ensure_png_handler();
    wxMemoryOutputStream stream;
    if (!picture.SaveFile(stream, wxBITMAP_TYPE_PNG))
        return nullptr;
    const size_t size = stream.GetSize();
    std::string bytes(size, '\0');
    stream.CopyTo(&bytes[0], size);
    return kiv_image_create_from_data(bytes.data(), static_cast<unsigned>(size),
                                      picture.GetWidth(), picture.GetHeight(), 2);
}

void status_item::add_image(const char* const* xpm, unsigned position, unsigned next, unsigned period) {
    auto_ptr_t<i_image> image(xpm2image(xpm));
    if (image)
        add_image(image.get(), position, next, period);
}

void status_item::add_image(i_image* image, unsigned position, unsigned next, unsigned period) {
    if (image == nullptr)
        return;
    auto_ptr_t<status_image> picture(new status_image(image, next, period));
    picture->addref();
    if (position == 0)
        images_->add_item(picture.get(), false);
    else
        images_->insert_item(picture.get(), position);
}

void status_item::set_image_action(unsigned first, unsigned count, unsigned* nexts, unsigned* periods) {
    if (first + count <= first || nexts == nullptr || periods == nullptr)
        return;
    for (unsigned i = first; i < first + count; i++) {
        auto_ptr_t<i_object> item(images_->get_item_by_pos(i));
        i_status_image* picture = kiv_cast_i_status_image(item);
        if (picture == nullptr)
            continue;
        picture->set_next(nexts[i]);
        picture->set_period(periods[i]);
    }
}

i_object_col* status_item::get_images() {
    images_->addref();
    return images_.get();
}

void status_item::set_image(unsigned index) {
    auto_ptr_t<i_object> item(images_->get_item_by_pos(index));
    i_status_image* picture = kiv_cast_i_status_image(item);
    if (picture == nullptr)
        return;
    if (has_ctrl_.load() && shown_.load() && enabled_.load()) {
        auto_ptr_t<i_image> image(picture->get_image());
        std::string png;
        if (!encode_png(image.get(), &png))
            return;
        const unsigned sequence = ++changes_;
        if (wxThread::IsMain()) {
            wxImage check;
            if (!decode_png(png, &check))
                return;
            apply_picture(png, sequence);
        } else {
            CallAfter([this, png, sequence]() { apply_picture(png, sequence); });
        }
    }
    if (picture->get_period() == 0)
        active_.store(false);
    else if (!active_.exchange(true))
        post_status_event("STATUS_EVT_BEGIN_THREAD");
    current_.store(index);
}

void status_item::apply_picture(const std::string& png, unsigned sequence) {
    // A change made on the GUI thread may overtake one still queued from
    // the animation thread; the older one must not undo it.
    if (sequence <= applied_)
        return;
    applied_ = sequence;
    wxImage picture;
    if (!ctrl_ || !decode_png(png, &picture))
        return;
    wxImage framed = with_border(picture);
    wxImage hover = framed.Copy();
    bit2hover(&hover);
    ctrl_->SetBitmapLabel(wxBitmap(framed));
    ctrl_->SetBitmapDisabled(wxBitmap(grey_copy(framed)));
    ctrl_->SetBitmapCurrent(wxBitmap(hover));
    ctrl_->Refresh();
}

wxWindow* status_item::get_ctrl() {
    return ctrl_.get();
}

bool status_item::create_ctrl(wxWindow* parent) {
    if (ctrl_)
        return true;
    if (parent == nullptr)
        return false;
    wxBitmapButton* button = nullptr;
    if (images_->get_count() > 0) {
        auto_ptr_t<i_object> item(images_->get_item_by_pos(0));
        i_status_image* first = kiv_cast_i_status_image(item);
        if (first == nullptr)
            return false;
        auto_ptr_t<i_image> image(first->get_image());
        std::string png;
        wxImage picture;
        if (!encode_png(image.get(), &png) || !decode_png(png, &picture))
            return false;
        wxImage framed = with_border(picture);
        wxImage hover = framed.Copy();
        bit2hover(&hover);
        button = new wxBitmapButton(parent, wxID_ANY, wxBitmap(framed), wxDefaultPosition,
                                    wxDefaultSize, wxBORDER_NONE);
        button->SetBitmapDisabled(wxBitmap(grey_copy(framed)));
        button->SetBitmapCurrent(wxBitmap(hover));
    } else {
        button = new wxBitmapButton(parent, wxID_ANY, wxBitmap(18, 18), wxDefaultPosition,
                                    wxDefaultSize, wxBU_EXACTFIT);
    }
    ctrl_ = button;
    has_ctrl_.store(true);
    if (!tooltip_.empty())
        button->SetToolTip(wxString::FromUTF8(tooltip_.c_str()));
    if (menu_ != nullptr)
        button->Bind(wxEVT_RIGHT_DOWN, &status_item::on_menu, this);
    if (!enabled_.load())
        button->Disable();
    if (current_.load() != 0)
        set_image(current_.load());
    button->Bind(wxEVT_LEFT_DCLICK, &status_item::on_default_menu, this);
    return true;
}

void status_item::set_tooltip(const char* text) {
    tooltip_ = cut_utf8(text != nullptr ? text : "", tooltip_capacity - 1);
    if (ctrl_)
        ctrl_->SetToolTip(wxString::FromUTF8(tooltip_.c_str()));
}

void status_item::add_menu(wxMenu* menu) {
    if (ctrl_ && menu_ != nullptr)
        ctrl_->Unbind(wxEVT_RIGHT_DOWN, &status_item::on_menu, this);
    menu_ = menu;
    if (ctrl_ && menu_ != nullptr)
        ctrl_->Bind(wxEVT_RIGHT_DOWN, &status_item::on_menu, this);
}

void status_item::on_menu(wxMouseEvent&) {
    if (ctrl_ && menu_ != nullptr)
        ctrl_->PopupMenu(menu_);
}

void status_item::on_activate(wxWindow* target, status_action handler, wxEvent* event) {
    target_ = target;
    handler_ = handler;
    action_event_ = event;
}

void status_item::on_default_menu(wxMouseEvent& event) {
    if (!target_ || handler_ == nullptr)
        return;
    wxEvtHandler* target = target_.get();
    if (action_event_ != nullptr)
        (target->*handler_)(*action_event_);
    else
        (target->*handler_)(event);
}

void status_item::show(bool shown) {
    shown_.store(shown);
    post_status_event("STATUS_EVT_CHANGE");
    post_status_event("STATUS_EVT_BEGIN_THREAD");
}

void status_item::hide() {
    shown_.store(false);
    post_status_event("STATUS_EVT_CHANGE");
}

void status_item::enable(bool enabled) {
    if (!enabled) {
        disable();
        return;
    }
    enabled_.store(true);
    if (ctrl_)
        ctrl_->Enable(true);
    set_image(0);
    post_status_event("STATUS_EVT_BEGIN_THREAD");
}

void status_item::disable() {
    enabled_.store(false);
    if (ctrl_)
        ctrl_->Disable();
}

}  // namespace kiv

extern "C" kiv::i_status* kiv_cast_i_status(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_status>(obj, "i_status");
}

extern "C" kiv::i_status_image* kiv_cast_i_status_image(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_status_image>(obj, "i_status_image");
}
