// gwx_host.h --
//
//     The control's host. The outside control needed a hidden window
//     and an in-place container site before it could load and draw;
//     here the host only creates the control, gives it its drawing size
//     before each snapshot and closes it. The control is shared with the
//     driver's maps, which may outlive the driver: once closed, every
//     call on it fails instead of reaching freed state.

#ifndef KIV_GWX_GWX_HOST_H
#define KIV_GWX_GWX_HOST_H

#include "gwx_control.h"

#include <memory>

namespace kiv {

class gwx_control_host {
public:
    gwx_control_host() = default;
    gwx_control_host(const gwx_control_host&) = delete;
    gwx_control_host& operator=(const gwx_control_host&) = delete;
    // Closes the control.
    ~gwx_control_host() { close(); }

    // Creates the control with `factory` (null: the stand-in control).
    // Returns: false when no control came (a control made before stays).
    bool create(const gwx_control_factory& factory);
    // Gives the control a width × height drawing area.
    // Returns: false when a side is 0, there is no control or it refuses.
    bool resize(unsigned width, unsigned height);
    // Hides and closes the control; the host then holds none.
    void close();
    // Returns: the control (shared), null before create or after close.
    const std::shared_ptr<gwx_control>& control() const { return control_; }

private:
    std::shared_ptr<gwx_control> control_;  // null until created
};

}  // namespace kiv

#endif
