// renderer_layer.cpp --
//
//     Loading, reloading and locking of one render layer file. A reload
//     builds the new configuration apart and exchanges it whole, with the
//     guard held and no image using the layer; a file that fails leaves
//     the previous configuration in use.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/files.h>
#include <kiv/core/absolute_path.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_object_col.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/log.h>
#include <kiv/core/service_ref.h>

#include "render/geometry_styles.h"
#include "render/image_styles.h"
#include "render/label_style.h"
#include "render/parse_range.h"
#include "render/render_context.h"
#include "render/renderer_layer.h"
#include "render/style_attributes.h"

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <new>

namespace kiv {

namespace {

// Longest time a reload waits for the images holding the layer, in
// seconds of the core's clock, and how often it looks again meanwhile.
constexpr uint64_t reload_wait_seconds = 2;
constexpr auto reload_poll = std::chrono::milliseconds(50);
// Safety net for a core clock that stands still (no housekeeping thread
// runs): the wait never outlasts this much real time.
constexpr auto reload_wait_limit = std::chrono::seconds(10);

// Returns: a new style of the class that `type` names exactly, or null.
std::unique_ptr<render_style> create_style(const char* type) {
    render_style* style = nullptr;
    if (std::strcmp(type, "line") == 0)
        style = new (std::nothrow) render_style_line;
    else if (std::strcmp(type, "polygon") == 0)
        style = new (std::nothrow) render_style_polygon;
    else if (std::strcmp(type, "smooth-polygon") == 0)
        style = new (std::nothrow) render_style_smooth_polygon;
    else if (std::strcmp(type, "dash") == 0)
        style = new (std::nothrow) render_style_dash;
    else if (std::strcmp(type, "line-image") == 0)
        style = new (std::nothrow) render_style_line_image;
    else if (std::strcmp(type, "polygon-image") == 0)
        style = new (std::nothrow) render_style_polygon_image;
    else if (std::strcmp(type, "image") == 0)
        style = new (std::nothrow) render_style_image;
    else if (std::strcmp(type, "label") == 0)
        style = new (std::nothrow) render_style_label;
    return std::unique_ptr<render_style>(style);
}

bool file_time(const std::string& path, timespec& out) {
    struct stat st;
    if (path.empty() || stat(path.c_str(), &st) != 0)
        return false;
    out = st.st_mtim;
    return true;
}

bool same_time(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

uint32_t low_seconds(const timespec& t) {
    return static_cast<uint32_t>(static_cast<uint64_t>(t.tv_sec));
}

// Parses the file and reads it into `out`, tracing the causes of failure.
bool read_layer_file(i_xml_proc* xml, const std::string& path, renderer_layer::config& out) {
    auto_ptr_t<i_xml_node> root(xml->parse_file(path.c_str()));
    if (!root) {
        kiv_trace("renderer_layer: error parsing configuration file '%s'.", path.c_str());
        return false;
    }
    if (!renderer_layer::init_styles(root, out)) {
        kiv_trace("renderer_layer: error loading styles from configuration file '%s'.", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

renderer_layer::~renderer_layer() {
    if (lock_counter_ != 0)
        kiv_trace("destroying renderer_layer '%s' with active lock counter %u", path_.c_str(), lock_counter_);
}

bool renderer_layer::init_styles(i_xml_node* root, config& out) {
    if (root == nullptr)
        return false;
    out.name = root->get_attribute("name");
    if (out.name.empty()) {
        kiv_trace("renderer_layer::init_styles: error: no layer name.");
        return false;
    }
    const char* bg = root->get_attribute("bg_color");
    out.bg_color = *bg != 0 ? render_attr::to_color(bg) : 0xFFFFFFFF;
    unsigned first = 0, last = 0;
    if (!parse_range(root->get_attribute("levels"), 0, render_level_count - 1, first, last)) {
        kiv_trace("renderer_layer::init_styles: error: 'levels' attribute for root node is incorrect.");
        return false;
    }
    out.first_level = static_cast<uint8_t>(first);
    out.last_level = static_cast<uint8_t>(last);
    out.priority = render_attr::to_int(root->get_attribute("priority"));

    auto_ptr_t<i_object_col> elements(root->select_nodes("style"));
    if (!elements)
        return false;
    size_t borders = 0;  // border instances placed so far, all before the other geometry styles
    for (unsigned i = 0; i < elements->get_count(); ++i) {
        auto_ptr_t<i_object> item(elements->get_item_by_pos(i));
        i_xml_node* element = kiv_cast_i_xml_node(item);
        if (element == nullptr)
            continue;
        const char* type = element->get_attribute("type");
        std::unique_ptr<render_style> style = create_style(type);
        if (!style) {
            kiv_trace("renderer_layer::init_styles: error: unknown render style '%s'.", type);
            return false;
        }
        if (!style->init(element)) {
            kiv_trace("renderer_layer::init_styles: error initializing style of type '%s'.", type);
            return false;
        }
        bool label = std::strcmp(type, "label") == 0;
        (label ? out.labels : out.geometry).push_back(std::move(style));
        const char* border_color = element->get_attribute("border_color");
        if (label || *border_color == 0)
            continue;
        // A border instance that fails is dropped alone: the style itself
        // initialised, so the file stays usable.
        std::unique_ptr<render_style> border = create_style(type);
        if (border && border->init(element) && border->set_color(render_attr::to_color(border_color))) {
            out.geometry.insert(out.geometry.begin() + static_cast<std::ptrdiff_t>(borders), std::move(border));
            ++borders;
        }
    }
    return true;
}

bool renderer_layer::load(const char* path) {
    std::lock_guard<std::mutex> hold(guard_);
    if (lock_counter_ != 0 || path == nullptr || *path == 0)
        return false;
    std::string abs_path = path[0] != '/' ? kiv::absolute_path(path) : std::string(path);
    if (abs_path.empty())
        return false;
    auto_ptr_t<i_xml_proc> xml = service_ref("svc_xml", kiv_cast_i_xml_proc);
    if (!xml)
        return false;
    // The time is taken before the file is read: a change made meanwhile
    // then shows as a newer time at the next reload.
    timespec when{};
    if (!file_time(abs_path, when)) {
        kiv_trace("renderer_layer: error parsing configuration file '%s'.", abs_path.c_str());
        return false;
    }
    config fresh;
    if (!read_layer_file(xml, abs_path, fresh))
        return false;
    config_ = std::move(fresh);
    path_ = abs_path;
    file_time_ = when;
    version_.store(low_seconds(when));
    return true;
}

bool renderer_layer::reload() {
    std::string path;
    timespec known{};
    {
        std::lock_guard<std::mutex> hold(guard_);
        path = path_;
        known = file_time_;
    }
    timespec when{};
    if (!file_time(path, when))
        return false;
    if (same_time(when, known))
        return true;
    auto_ptr_t<i_xml_proc> xml = service_ref("svc_xml", kiv_cast_i_xml_proc);
    if (!xml)
        return false;

    // Summed in 64 bits: the deadline must not wrap with the clock.
    uint64_t noted = kiv_get_curr_time();
    auto limit = std::chrono::steady_clock::now() + reload_wait_limit;
    std::unique_lock<std::mutex> hold(guard_);
    while (lock_counter_ != 0) {
        uint64_t now = kiv_get_curr_time();
        // A clock that went back gives up too, rather than waiting for
        // the lost time to come round again.
        if (now >= noted + reload_wait_seconds || now < noted || std::chrono::steady_clock::now() > limit)
            return false;
        unlocked_.wait_for(hold, reload_poll);
    }
    // Another reload may have read this very change while this one waited.
    if (same_time(when, file_time_))
        return true;

    uint32_t seconds = low_seconds(when);
    uint32_t version = version_.load();
    version_.store(seconds == version ? version + 1 : seconds);
    file_time_ = when;

    config fresh;
    if (!read_layer_file(xml, path, fresh)) {
        hold.unlock();
        return false;
    }
    std::swap(config_, fresh);
    std::string name = config_.name;
    hold.unlock();
    kiv_trace("renderer_layer: reloaded layer '%s' from '%s'.", name.c_str(), path.c_str());
    return true;
}

bool renderer_layer::lock() {
    std::lock_guard<std::mutex> hold(guard_);
    ++lock_counter_;
    return true;
}

bool renderer_layer::unlock() {
    std::lock_guard<std::mutex> hold(guard_);
    if (lock_counter_ == 0)
        return false;
    if (--lock_counter_ == 0)
        unlocked_.notify_all();
    return true;
}

std::string renderer_layer::get_name() const {
    std::lock_guard<std::mutex> hold(guard_);
    return config_.name;
}

int32_t renderer_layer::get_priority() const {
    std::lock_guard<std::mutex> hold(guard_);
    return config_.priority;
}

uint32_t renderer_layer::get_bg_color() const {
    std::lock_guard<std::mutex> hold(guard_);
    return config_.bg_color;
}

bool renderer_layer::is_visible(uint8_t level) const {
    std::lock_guard<std::mutex> hold(guard_);
    return config_.first_level <= level && level <= config_.last_level;
}

uint32_t renderer_layer::get_lock_count() const {
    std::lock_guard<std::mutex> hold(guard_);
    return lock_counter_;
}

void renderer_layer::add_codes(uint8_t level, ozm::code_set& codes) const {
    for (unsigned pass = 0; pass < 2; ++pass) {
        for (const auto& style : styles(pass)) {
            if (!style->is_visible(level))
                continue;
            const auto* base = dynamic_cast<const render_style_base*>(style.get());
            if (base == nullptr) {
                codes.set();  // a style of unknown reach may draw any code
                return;
            }
            for (unsigned code = base->first_code(); code <= base->last_code(); ++code)
                codes.set(code);
        }
    }
}

void renderer_layer::render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx,
                            i_gis_viewport* viewport, unsigned pass) const {
    for (const auto& style : styles(pass)) {
        if (style->is_visible(ctx.level))
            style->render(features, pages, ctx, viewport);
    }
}

}  // namespace kiv
