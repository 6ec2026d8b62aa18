// renderer_service.h --
//
//     Object renderers and the service that switches between them
//     ("svc_gui_renderer"). A renderer is a named object with a window
//     that shows one object at a time; all of a service's renderers share
//     one parent window. Activating a renderer by name hides the one
//     shown before, sizes the new one's window to the parent and gives it
//     the object. The application registers the service if it wants one.
//     GUI thread only.

#ifndef KIV_GUI_RENDERER_SERVICE_H
#define KIV_GUI_RENDERER_SERVICE_H

#include <kiv/core/export.h>
#include <kiv/core/auto_ptr.h>
#include <kiv/core/object.h>
#include <kiv/core/object_col.h>
#include <kiv/core/string_impl.h>

#include <wx/event.h>
#include <wx/frame.h>
#include <wx/weakref.h>
#include <wx/window.h>

namespace kiv {

// Written by applications; found by its i_named_object name.
class i_object_renderer : public virtual i_object {
public:
    // Shows `object` (may be null).
    virtual void set_object(i_object* object) = 0;
    // Returns: the renderer's window (a child of the service's parent
    //     window), or null.
    virtual wxWindow* get_window() = 0;

protected:
    ~i_object_renderer() = default;
};

class i_renderer_service : public virtual i_object {
public:
    // Makes the renderer named `name` current and gives it `object`.
    // Returns: true, also for an unknown name (nothing is shown then).
    virtual bool activate_renderer(const char* name, i_object* object) = 0;
    // Adds a renderer (the service holds a reference).
    virtual void register_renderer(i_object_renderer* renderer) = 0;
    // Removes a renderer; when it was current there is no current one.
    virtual void unregister_renderer(i_object_renderer* renderer) = 0;
    virtual wxWindow* get_renderer_parent_wnd() = 0;
    // Returns: a new collection of the renderers, one reference for the
    //     caller.
    virtual i_object_col* get_renderers() = 0;

protected:
    ~i_renderer_service() = default;
};

class KIV_EXPORT renderer_service : public wxEvtHandler,
                                   public object,
                                   public i_named_object_impl,
                                   public virtual i_renderer_service {
public:
    // Keeps both windows (not owned, held weakly: either may be destroyed
    // before the service, the usual order at shut-down) and follows the
    // parent's size.
    renderer_service(wxFrame* frame, wxWindow* parent);
    // Stops following the parent's size and releases the renderers.
    ~renderer_service() override;
    renderer_service(const renderer_service&) = delete;
    renderer_service& operator=(const renderer_service&) = delete;

    // Answers "i_renderer_service" and "i_named_object".
    bool get_interface(const char* name, void** out) override;

    bool activate_renderer(const char* name, i_object* object) override;
    void register_renderer(i_object_renderer* renderer) override;
    void unregister_renderer(i_object_renderer* renderer) override;
    // Returns: the parent window; null once it is destroyed.
    wxWindow* get_renderer_parent_wnd() override;
    i_object_col* get_renderers() override;

    // Returns: the current renderer (no reference added), or null.
    i_object_renderer* get_current() { return current_; }

private:
    void on_size(wxSizeEvent& event);

    wxWeakRef<wxFrame> frame_;              // not owned; null: none or destroyed
    wxWeakRef<wxWindow> parent_;            // not owned; null: none or destroyed
    auto_ptr_t<object_col> renderers_;      // owned
    i_object_renderer* current_ = nullptr;  // held by renderers_; null: none
};

}  // namespace kiv

KIV_EXTERN_C kiv::i_object_renderer* kiv_cast_i_object_renderer(kiv::i_object* obj);
KIV_EXTERN_C kiv::i_renderer_service* kiv_cast_i_renderer_service(kiv::i_object* obj);

#endif
