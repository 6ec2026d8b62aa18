// mdi.cpp --
//
//     MDI child frames and the MDI service. On GTK the MDI parent is a
//     notebook: activating a child deactivates the one shown before.

#include <kiv/gui/mdi.h>

#include <kiv/core/i_core.h>
#include <kiv/gui/i_gui_frame.h>

#include <wx/app.h>
#include <wx/iconbndl.h>

namespace kiv {

namespace {

// The docking manager's flags: floating, transparent hint, hint fade.
const unsigned layout_flags = wxAUI_MGR_ALLOW_FLOATING | wxAUI_MGR_TRANSPARENT_HINT | wxAUI_MGR_HINT_FADE;

}  // namespace

mdi_child_frame::mdi_child_frame(const wxString& title, const wxIcon& icon) : layout_(nullptr, layout_flags) {
    auto_ptr_t<i_object> frame_service(find_service("svc_gui_frame"));
    i_gui_frame* frames = kiv_cast_i_gui_frame(frame_service);
    // The viewer's top frame is a plain wxFrame: no child window there.
    // dynamic_cast: wxDynamicCast casts down before it checks the class.
    auto* parent = frames != nullptr ? dynamic_cast<wxMDIParentFrame*>(frames->get_frame()) : nullptr;
    if (parent == nullptr)
        return;
    child_ = new wxMDIChildFrame(parent, wxID_ANY, title);
    if (icon.IsOk())
        child_->SetIcons(wxIconBundle(icon));
    layout_.SetManagedWindow(child_);
    layout_.Update();
    child_->Bind(wxEVT_CLOSE_WINDOW, &mdi_child_frame::on_close, this, child_->GetId());
    child_->Bind(wxEVT_ACTIVATE, &mdi_child_frame::on_activate, this, child_->GetId());
    child_->Bind(wxEVT_DESTROY, &mdi_child_frame::on_destroy, this, child_->GetId());
}

mdi_child_frame::~mdi_child_frame() {
    // A frame released while its window is still open leaves the window
    // without handlers into this object.
    if (child_ != nullptr) {
        child_->Unbind(wxEVT_CLOSE_WINDOW, &mdi_child_frame::on_close, this, child_->GetId());
        child_->Unbind(wxEVT_ACTIVATE, &mdi_child_frame::on_activate, this, child_->GetId());
        child_->Unbind(wxEVT_DESTROY, &mdi_child_frame::on_destroy, this, child_->GetId());
        layout_.UnInit();
    }
}

// The parent may destroy the window without a close event (when it
// goes itself): the frame forgets it then and leaves the service, as a
// close would have it.
void mdi_child_frame::on_destroy(wxWindowDestroyEvent& event) {
    event.Skip();
    if (event.GetEventObject() != child_)
        return;
    // The service may hold the last reference, but this object must
    // outlive the event: its docking manager is the window's first event
    // handler and still takes part in delivering it. The reference is
    // dropped once the application is idle again (without an application,
    // at the end of this handler).
    addref();
    auto_ptr_t<mdi_child_frame> held_here;
    if (wxTheApp != nullptr)
        wxTheApp->CallAfter([this] { release(); });
    else
        held_here.reset(this);
    child_->Unbind(wxEVT_ACTIVATE, &mdi_child_frame::on_activate, this, child_->GetId());
    child_->Unbind(wxEVT_CLOSE_WINDOW, &mdi_child_frame::on_close, this, child_->GetId());
    child_->Unbind(wxEVT_DESTROY, &mdi_child_frame::on_destroy, this, child_->GetId());
    uninstall_global_handlers();
    auto_ptr_t<i_object> mdi_object(find_service("svc_gui_mdi"));
    if (i_mdi_service* mdi = kiv_cast_i_mdi_service(mdi_object))
        mdi->remove_child_frame(this, false);
    layout_.UnInit();
    child_ = nullptr;
}

bool mdi_child_frame::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_mdi_child_frame", static_cast<i_mdi_child_frame*>(this), out) ||
        answer_interface(name, "mdi_child_frame", this, out))
        return true;
    return object::get_interface(name, out);
}

bool mdi_child_frame::initialize() {
    layout_.Update();
    return true;
}

bool mdi_child_frame::close() {
    return true;
}

void mdi_child_frame::install_global_handlers() {}

void mdi_child_frame::uninstall_global_handlers() {}

void mdi_child_frame::on_close_panel(wxAuiManagerEvent& event) {
    event.Skip();
}

void mdi_child_frame::on_activate(wxActivateEvent& event) {
    uninstall_global_handlers();
    auto_ptr_t<i_object> mdi_object(find_service("svc_gui_mdi"));
    i_mdi_service* mdi = kiv_cast_i_mdi_service(mdi_object);
    if (mdi != nullptr && event.GetActive()) {
        // wxGTK's notebook tells only the child that becomes active: the
        // one active before gives up its handlers here.
        auto_ptr_t<i_mdi_child_frame> before(mdi->get_active_child_frame());
        if (mdi_child_frame* previous = kiv_cast_mdi_child_frame(before.get())) {
            if (previous != this)
                previous->uninstall_global_handlers();
        }
        mdi->set_active_child_frame(this);
        install_global_handlers();
    }
    event.Skip();
}

void mdi_child_frame::on_close(wxCloseEvent& event) {
    // The service may hold the last reference: this object lives to the
    // end of its own handler.
    addref();
    auto_ptr_t<mdi_child_frame> self(this);
    if (!close()) {
        event.Veto();
        return;
    }
    wxMDIChildFrame* window = child_;
    window->Unbind(wxEVT_ACTIVATE, &mdi_child_frame::on_activate, this, window->GetId());
    window->Unbind(wxEVT_CLOSE_WINDOW, &mdi_child_frame::on_close, this, window->GetId());
    window->Unbind(wxEVT_DESTROY, &mdi_child_frame::on_destroy, this, window->GetId());
    uninstall_global_handlers();
    auto_ptr_t<i_object> mdi_object(find_service("svc_gui_mdi"));
    i_mdi_service* mdi = kiv_cast_i_mdi_service(mdi_object);
    if (mdi != nullptr)
        mdi->set_active_child_frame(nullptr);
    layout_.UnInit();
    if (mdi != nullptr)
        mdi->remove_child_frame(this, false);
    // wxWidgets destroys the window: the frame has none from now on.
    child_ = nullptr;
    event.Skip();
}

mdi_service::mdi_service() : frames_(new object_col) {
    frames_->addref();
    set_name("MDI service");
}

mdi_service::mdi_service(const mdi_service& other)
    : object(other), i_named_object_impl(), frames_(other.frames_), active_(other.active_) {
    set_name(other.name_ != nullptr ? other.name_ : "");
}

mdi_service& mdi_service::operator=(const mdi_service& other) {
    if (this != &other) {
        frames_ = other.frames_;
        active_ = other.active_;
        set_name(other.name_ != nullptr ? other.name_ : "");
    }
    return *this;
}

mdi_service::~mdi_service() = default;

bool mdi_service::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_mdi_service", static_cast<i_mdi_service*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

void mdi_service::add_child_frame(i_mdi_child_frame* frame) {
    if (frame != nullptr)
        frames_->add_item(frame, false);
}

void mdi_service::remove_child_frame(i_mdi_child_frame* frame, bool close) {
    if (frame == nullptr || frame->get_child_wnd() == nullptr)
        return;
    // Held across the close: its handler may drop other references.
    frame->addref();
    auto_ptr_t<i_mdi_child_frame> held(frame);
    active_.reset();
    if (close) {
        if (wxMDIChildFrame* window = frame->get_child_wnd())
            window->Close(false);
    }
    frames_->remove_item(frame);
}

i_mdi_child_frame* mdi_service::get_active_child_frame() {
    if (active_)
        active_->addref();
    return active_.get();
}

void mdi_service::set_active_child_frame(i_mdi_child_frame* frame) {
    if (frame != nullptr)
        frame->addref();
    active_.reset(frame);
}

i_object_col* mdi_service::get_child_frames() {
    return frames_->copy();
}

}  // namespace kiv

extern "C" kiv::i_mdi_service* kiv_cast_i_mdi_service(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_mdi_service>(obj, "i_mdi_service");
}

extern "C" kiv::i_mdi_child_frame* kiv_cast_i_mdi_child_frame(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_mdi_child_frame>(obj, "i_mdi_child_frame");
}

extern "C" kiv::mdi_child_frame* kiv_cast_mdi_child_frame(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::mdi_child_frame>(obj, "mdi_child_frame");
}
