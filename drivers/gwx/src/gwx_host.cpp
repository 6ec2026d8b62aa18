// gwx_host.cpp --
//
//     Creating, sizing and closing the hosted control.

#include "gwx_host.h"

namespace kiv {

bool gwx_control_host::create(const gwx_control_factory& factory) {
    if (control_)
        return true;
    std::unique_ptr<gwx_control> made = factory ? factory() : gwx_create_control();
    if (!made)
        return false;
    control_ = std::shared_ptr<gwx_control>(std::move(made));
    return true;
}

bool gwx_control_host::resize(unsigned width, unsigned height) {
    if (width == 0 || height == 0 || !control_)
        return false;
    return control_->resize(width, height);
}

void gwx_control_host::close() {
    if (!control_)
        return;
    control_->close();
    control_.reset();
}

}  // namespace kiv
