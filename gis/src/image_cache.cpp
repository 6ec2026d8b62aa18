// image_cache.cpp --
//
//     Settings and names of the rendered-image cache. The root is held
//     as a string of any length behind a lock, since the library entry
//     may set it while other threads ask for pictures.

#include "image_cache.h"

#include <kiv/core/auto_string.h>
#include <kiv/core/c_locale.h>
#include <kiv/core/checksum.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>

#include <cstring>
#include <mutex>

namespace kiv {

namespace {

std::mutex settings_mutex;
bool cache_enabled = false;  // guarded by settings_mutex
std::string cache_root;      // guarded by settings_mutex; "" when off

// The CRC-32 of a text with its terminating zero, as a signed number.
int text_crc(const char* text) {
    return static_cast<int>(kiv_crc32(text, static_cast<unsigned>(std::strlen(text) + 1), 0));
}

}  // namespace

void configure_image_cache() {
    std::string root;
    std::string value;
    if (kiv_get_env("KIV_GIS_CACHE_PATH", value)) {
        if (value != "disable")
            root = value;
    } else {
        const char* temp = kiv_temp_path();
        if (temp != nullptr && temp[0] != '\0')
            root = std::string(temp) + "/gis_cache";
    }
    if (!root.empty() && root[0] != '/') {
        auto_string absolute(kiv_get_absolute_path(root.c_str()));
        root = absolute.is_ok() ? static_cast<const char*>(absolute) : "";
    }
    const bool enabled = !root.empty() && kiv_make_path(root.c_str());
    std::lock_guard<std::mutex> lock(settings_mutex);
    cache_enabled = enabled;
    cache_root = enabled ? root : std::string();
}

bool image_cache_root(std::string& root) {
    std::lock_guard<std::mutex> lock(settings_mutex);
    if (cache_enabled)
        root = cache_root;
    return cache_enabled;
}

std::string image_cache_folder(const std::string& root, unsigned version, unsigned scale, const char* layers,
                               const char* map_tags) {
    return root + "/" + std::to_string(static_cast<int>(version & 0x7FFFFFFFu)) + "/" +
           std::to_string(static_cast<int>(scale)) + "/" + std::to_string(text_crc(layers)) + "/" +
           std::to_string(text_crc(map_tags));
}

std::string image_cache_file(const std::string& folder, const geo_point& north_west, const geo_point& south_east,
                             int width, int height) {
    return folder + "/" + format_fixed(north_west.lon, 6) + "_" + format_fixed(north_west.lat, 6) + "_" +
           format_fixed(south_east.lon, 6) + "_" + format_fixed(south_east.lat, 6) + "_" + std::to_string(width) +
           "_" + std::to_string(height) + ".png";
}

}  // namespace kiv
