// gwx_renderer.cpp --
//
//     One rendering through the control's snapshot file. The file name
//     is reserved with O_CREAT|O_EXCL before the control writes to it
//     (a name that exists already is refused, so nothing else's file is
//     overwritten), and removed on every way out.

#include "gwx_renderer.h"

#include "gwx_driver.h"
#include "gwx_text.h"
#include "snapshot_reader.h"

#include <kiv/core/log.h>
#include <kiv/core/mutex.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace kiv {

namespace {

// Removes the snapshot file when the rendering ends, however it ends.
class file_remover {
public:
    explicit file_remover(const std::string& path) : path_(path) {}
    ~file_remover() { unlink(path_.c_str()); }
    file_remover(const file_remover&) = delete;
    file_remover& operator=(const file_remover&) = delete;

private:
    std::string path_;
};

}  // namespace

gis_gwx_renderer::gis_gwx_renderer(gwx_driver* driver, i_gis_viewport* vp) : driver_(driver) {
    driver_->addref();
    vp->addref();
    vp_.reset(vp);
}

gis_gwx_renderer::~gis_gwx_renderer() {
    vp_.reset();
    driver_->release();
}

bool gis_gwx_renderer::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_gis_renderer", static_cast<i_gis_renderer*>(this), out))
        return true;
    return object::get_interface(name, out);
}

unsigned gis_gwx_renderer::get_version() {
    return driver_->get_render_version();
}

i_image* gis_gwx_renderer::render_image(bool) {
    mutex_locker hold(&driver_->render_mutex());
    view_point size{0, 0};
    geo_point corner;
    if (!vp_->get_viewport_size(size) || size.x <= 0 || size.y <= 0 || !vp_->dp_to_lc(0, size.y, corner) ||
        !vp_->dp_to_lc(size.x, 0, corner)) {
        kiv_trace("error: viewport");
        return nullptr;
    }
    unsigned width = static_cast<unsigned>(size.x), height = static_cast<unsigned>(size.y);
    gwx_control* control = driver_->control();
    if (control == nullptr || !driver_->resize_host(width, height)) {
        kiv_trace("error: GWX");
        return nullptr;
    }
    geo_point min, max, center;
    if (!vp_->get_geo_extents(min, max)) {
        kiv_trace("error: extens");
        return nullptr;
    }
    if (!vp_->get_center(center)) {
        kiv_trace("error: empty get center");
        return nullptr;
    }
    std::string file = driver_->next_snapshot_name();
    if (file.empty()) {
        kiv_trace("error: no temp folder for the snapshot");
        return nullptr;
    }
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        kiv_trace("error: snapshot file '%s' exists or cannot be made", file.c_str());
        return nullptr;
    }
    close(fd);
    file_remover remove_snapshot(file);
    // A refused view gives no picture rather than a blank one, which the
    // image cache would keep as if it were the map.
    if (!control->set_center(center.lat, center.lon) ||
        !control->set_scale(static_cast<double>(vp_->get_scale()))) {
        kiv_trace("error: set geo");
        return nullptr;
    }
    if (!control->save_snapshot(utf8_to_utf16(file.c_str()), max.lat, min.lon, min.lat, max.lon, size.x, size.y,
                                10)) {
        kiv_trace("error: empty image");
        return nullptr;
    }
    return read_snapshot(file.c_str(), width, height);
}

}  // namespace kiv
