// renderer_service.cpp --
//
//     "svc_gui_renderer": switches the shared parent window between the
//     registered object renderers; only the current one's window is
//     shown, and it always fills the parent.

#include <kiv/gui/renderer_service.h>

#include <kiv/core/log.h>

namespace kiv {

renderer_service::renderer_service(wxFrame* frame, wxWindow* parent)
    : frame_(frame), parent_(parent), renderers_(new object_col) {
    kiv_trace("renderer_service::renderer_service(%p, %p)", static_cast<void*>(frame), static_cast<void*>(parent));
    set_name("renderer_service");
    renderers_->addref();
    if (parent_)
        parent_->Bind(wxEVT_SIZE, &renderer_service::on_size, this);
}

renderer_service::~renderer_service() {
    kiv_trace("renderer_service::~renderer_service()");
    // A parent destroyed first took the binding with it.
    if (parent_)
        parent_->Unbind(wxEVT_SIZE, &renderer_service::on_size, this);
    current_ = nullptr;
}

bool renderer_service::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_renderer_service", static_cast<i_renderer_service*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool renderer_service::activate_renderer(const char* name, i_object* object) {
    auto_ptr_t<i_object> found(name != nullptr ? renderers_->get_item_by_name(name) : nullptr);
    i_object_renderer* renderer = kiv_cast_i_object_renderer(found);
    if (renderer != current_) {
        if (current_ != nullptr) {
            if (wxWindow* old = current_->get_window())
                old->Hide();
        }
        current_ = renderer;
        if (current_ != nullptr) {
            if (wxWindow* window = current_->get_window()) {
                if (parent_)
                    window->SetSize(parent_->GetClientSize());
                window->Show();
            }
        }
    }
    if (current_ != nullptr)
        current_->set_object(object);
    return true;
}

void renderer_service::register_renderer(i_object_renderer* renderer) {
    renderers_->add_item(renderer, false);
}

void renderer_service::unregister_renderer(i_object_renderer* renderer) {
    if (renderer == nullptr)
        return;
    // The collection's reference is the only one the service has: the
    // current renderer must not outlive it here.
    if (renderer == current_)
        current_ = nullptr;
    renderers_->remove_item(renderer);
}

wxWindow* renderer_service::get_renderer_parent_wnd() {
    return parent_.get();
}

i_object_col* renderer_service::get_renderers() {
    return renderers_->copy();
}

void renderer_service::on_size(wxSizeEvent& event) {
    if (current_ != nullptr) {
        if (wxWindow* window = current_->get_window())
            window->SetSize(event.GetSize());
    }
    event.Skip();
}

}  // namespace kiv

extern "C" kiv::i_object_renderer* kiv_cast_i_object_renderer(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_object_renderer>(obj, "i_object_renderer");
}

extern "C" kiv::i_renderer_service* kiv_cast_i_renderer_service(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_renderer_service>(obj, "i_renderer_service");
}
