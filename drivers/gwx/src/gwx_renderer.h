// gwx_renderer.h --
//
//     The renderer of the "gwx" driver. It cannot draw by itself: it
//     points the control at the viewport's centre and scale, has it
//     write the view into a snapshot file of its own in the temp folder,
//     reads the file back into an image and removes it. The driver's
//     render_mutex is held from sizing the control to reading the file,
//     so renderings of one driver never mix their views.

#ifndef KIV_GWX_GWX_RENDERER_H
#define KIV_GWX_GWX_RENDERER_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/object.h>
#include <kiv/gis/i_gis_driver.h>
#include <kiv/gis/i_gis_viewport.h>

namespace kiv {

class gwx_driver;

class gis_gwx_renderer : public object, public virtual i_gis_renderer {
public:
    // Holds a reference to the driver and to the viewport.
    gis_gwx_renderer(gwx_driver* driver, i_gis_viewport* vp);
    ~gis_gwx_renderer() override;

    // Answers "i_gis_renderer".
    bool get_interface(const char* name, void** out) override;
    // Returns: the driver's render version (0).
    unsigned get_version() override;
    // Returns: a new image of the viewport's size (one reference for the
    //     caller), or null when the viewport cannot be computed, there is
    //     no control, the snapshot file cannot be made, the control
    //     refuses the view or the snapshot, or the file cannot be read.
    //     `allow_cache` is not used. No snapshot file is left behind.
    i_image* render_image(bool allow_cache) override;

private:
    gwx_driver* driver_;             // one reference held; never null
    auto_ptr_t<i_gis_viewport> vp_;  // one reference held; never null
};

}  // namespace kiv

#endif
