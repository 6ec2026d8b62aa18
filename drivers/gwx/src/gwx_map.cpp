// gwx_map.cpp --
//
//     Knowing, loading and unloading one chart of the "gwx" driver.

#include "gwx_map.h"

#include "gwx_text.h"

#include <kiv/core/env.h>
#include <kiv/core/log.h>

#include <chrono>

namespace kiv {

namespace {

const size_t max_name = 1023;  // bytes of a map name or a list entry

const char* const failed_call_text = "Failed to create GWX Control";

bool ends_with_chart(const std::string& lower) {
    static const std::string ext = ".chart";
    return lower.size() >= ext.size() && lower.compare(lower.size() - ext.size(), ext.size(), ext) == 0;
}

std::string trim_blanks(const std::string& text) {
    size_t start = text.find_first_not_of(" \t");
    if (start == std::string::npos)
        return std::string();
    size_t end = text.find_last_not_of(" \t");
    return text.substr(start, end - start + 1);
}

long elapsed_ms(std::chrono::steady_clock::time_point start) {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

}  // namespace

gwx_map::gwx_map(std::shared_ptr<gwx_control> control) : control_(std::move(control)) {}

bool gwx_map::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    if (answer_interface(name, "i_gis_map", static_cast<i_gis_map*>(this), out))
        return true;
    if (answer_interface(name, "i_gwx_map", static_cast<i_gwx_map*>(this), out))
        return true;
    return object::get_interface(name, out);
}

const char* gwx_map::get_tags() {
    return "";
}

const char* gwx_map::get_copyright() {
    return "";
}

unsigned gwx_map::get_version() {
    return 0;
}

bool gwx_map::get_envelope(geo_point& min, geo_point& max) {
    mutex_locker hold(&state_lock_);
    if (!has_envelope_)
        return false;
    min.lat = min_lat_;
    min.lon = min_lon_;
    max.lat = max_lat_;
    max.lon = max_lon_;
    return true;
}

bool gwx_map::is_loaded() {
    mutex_locker hold(&state_lock_);
    return loaded_;
}

bool gwx_map::load_failed() {
    mutex_locker hold(&state_lock_);
    return load_failed_;
}

const char* gwx_map::load_code_text(long code) {
    switch (code) {
    case 0: return "OK";
    case 1: return "already loaded";
    case 2: return "map file missing";
    case 3: return "invalid map file";
    case 4: return "unknown format";
    case 5: return "system error";
    case 6: return "codifier file not found";
    case 7: return "lookup file not found";
    case 11: return "map not loaded";
    case 12: return "bad load command";
    case 13: return "bad style";
    case 14: return "invalid table object";
    case 15: return "no records loaded";
    case 16: return "corresponding objects are not found";
    case 17: return "specified base map is not loaded";
    default: return "unknown error";
    }
}

bool gwx_map::pre_load_map(const char* path) {
    kiv_trace("gwx_map::pre_load_map(), map: '%s'", path != nullptr ? path : "(null)");
    if (!control_ || path == nullptr)
        return false;
    std::string file = path;
    for (char& c : file)
        if (c == '\\')
            c = '/';
    size_t slash = file.rfind('/');
    if (slash == std::string::npos)
        return false;
    std::string base = file.substr(slash + 1);
    std::string lower = utf8_lower(base);
    if (!ends_with_chart(lower))
        return false;
    // Lower-casing may shorten a name, so the extension is cut from the
    // lower-case text, whose last six bytes are ".chart".
    std::string name = lower.substr(0, lower.size() - 6);
    if (name.size() > max_name)
        return false;
    {
        mutex_locker hold(&state_lock_);
        path_ = file;
    }
    set_name(name.c_str());

    std::string list;
    if (!kiv_get_env("KIV_GWX_MAPS_LIST", list) || list.empty()) {
        kiv_trace("Warning: env. var 'KIV_GWX_MAPS_LIST' is not set or empty.");
        return true;
    }
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        std::string entry = trim_blanks(list.substr(start, comma - start));
        start = comma + 1;
        if (entry.size() > max_name || utf8_lower(entry) != name)
            continue;
        mutex_locker hold(&state_lock_);
        if (!load_map())
            return false;
        loaded_ = true;
        return true;
    }
    return true;
}

bool gwx_map::load_map() {
    if (path_.empty() || !control_)
        return false;
    auto start = std::chrono::steady_clock::now();
    kiv_trace("gwx_map::load_map(), loading map: '%s'...", path_.c_str());
    long handle = 0, code = 0;
    if (!control_->load_map(utf8_to_utf16(path_.c_str()), u"", handle, code)) {
        kiv_trace("gwx_map::load_map(), error hresult: '%s'.", failed_call_text);
        return false;
    }
    if (code != 0) {
        load_failed_ = true;
        kiv_trace("gwx_map::load_map(), error loading map: '%s'.", load_code_text(code));
        return false;
    }
    double min_lat = 0, min_lon = 0, max_lat = 0, max_lon = 0;
    if (!control_->get_map_bounds(handle, min_lat, min_lon, max_lat, max_lon)) {
        kiv_trace("gwx_map::load_map(), error get map info, hresult: '%s'.", failed_call_text);
        // The control holds the map now; leave it unloaded so that a
        // later load starts clean.
        control_->unload_map(utf8_to_utf16(path_.c_str()));
        return false;
    }
    min_lat_ = min_lat;
    min_lon_ = min_lon;
    max_lat_ = max_lat;
    max_lon_ = max_lon;
    has_envelope_ = true;
    load_failed_ = false;
    kiv_trace("gwx_map::load_map(), loading map: '%s' - ok, time: %ld ms.)", path_.c_str(), elapsed_ms(start));
    return true;
}

bool gwx_map::set_loaded(bool value) {
    mutex_locker hold(&state_lock_);
    if (value == loaded_ || !control_)
        return false;
    if (!value) {
        if (!control_->unload_map(utf8_to_utf16(path_.c_str())))
            return false;
        loaded_ = false;
        return true;
    }
    if (!load_map())
        return false;
    loaded_ = true;
    return true;
}

}  // namespace kiv
