// renderer_layer.h --
//
//     One render layer: one XML file of the render configuration's
//     "layers" folder, with its name, priority, level range, background
//     colour and ordered styles. The driver makes one per file, reloads it
//     from its background task when the file changes, and the renderer
//     locks it for the time of one image, so an image never sees half a
//     configuration.
//
//         renderer_layer layer;
//         if (layer.load("/maps/render/layers/roads.xml")) {
//             layer.lock();
//             for (const auto& style : layer.styles(0)) ...   // geometry
//             layer.unlock();
//         }
//
//     The layer file: the root element (its tag is not looked at) carries
//     "name" (required), "bg_color" (default opaque white), "levels"
//     (required, within 0..16) and "priority" (default 0); each child
//     element "style" is one style whose "type" chooses its class. A style
//     of any type but "label" with a non-empty "border_color" also gets a
//     border instance; all border instances come first in the geometry
//     list, so a layer draws its borders before its fills and lines.

#ifndef KIV_OZM_RENDER_RENDERER_LAYER_H
#define KIV_OZM_RENDER_RENDERER_LAYER_H

#include "render/render_style.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kiv {

class i_xml_node;
class i_gis_viewport;
struct render_context;

class renderer_layer {
public:
    // An ordered list of owned styles.
    using style_list = std::vector<std::unique_ptr<render_style>>;

    // Everything a layer file defines: what init_styles reads and what a
    // reload exchanges as a whole.
    struct config {
        std::string name;               // root "name"; never empty once read
        int32_t priority = 0;           // root "priority"
        uint8_t first_level = 0;        // root "levels"
        uint8_t last_level = 0;
        uint32_t bg_color = 0xFFFFFFFF; // root "bg_color"; R in bits 0-7
        style_list geometry;            // drawn in pass 0: borders first, then document order
        style_list labels;              // drawn in pass 1, document order
    };

    // An empty layer: lock counter 0, levels 0-0, no styles, version 0.
    renderer_layer() = default;
    renderer_layer(const renderer_layer&) = delete;
    renderer_layer& operator=(const renderer_layer&) = delete;
    // Traces "destroying renderer_layer '<path>' with active lock counter
    // <n>" when images still hold the layer; deletes every style.
    virtual ~renderer_layer();

    // Reads the layer file at `path` for the first time (a relative path
    // is under KIV_ROOT_PATH).
    // Returns: false while the layer is locked, for a null or empty path,
    //     without the service "svc_xml", for a file that does not parse
    //     ("renderer_layer: error parsing configuration file '<path>'."),
    //     cannot be examined, or whose content init_styles refuses (its
    //     message, then "renderer_layer: error loading styles from
    //     configuration file '<path>'."). The layer is unchanged then.
    // Changes: the whole configuration, the path and the version (the
    //     low 32 bits of the file's modification time in seconds).
    // Called on the thread that loads the driver.
    bool load(const char* path);

    // Reads the file again when its modification time (to the nanosecond)
    // changed since the last read. While images hold the layer it waits
    // for them, about two seconds at most on the core's clock, then gives
    // up until the next call. The new time is noted before parsing, so a
    // file that fails is tried again only after it changes again; the old
    // configuration then stays in use.
    // Returns: true when nothing changed or the new configuration is in
    //     place ("renderer_layer: reloaded layer '<name>' from '<path>'.");
    //     false when the file cannot be examined, the wait gave up, or the
    //     file fails (its messages, as load).
    // Changes: the version: the new modification time's seconds, or the
    //     old version + 1 when those seconds equal it, so an edit within
    //     the same second still gives a new version.
    // Called from the driver's background task (a pool worker).
    bool reload();

    // Reads a parsed layer file into `out` (which should be fresh).
    // Returns: false with a trace line prefixed
    //     "renderer_layer::init_styles:" for a missing name, bad levels,
    //     an unknown style type or a style that fails its init; `out` may
    //     then hold part of the file and is to be discarded.
    // Changes: nothing but `out`. Safe from any thread.
    static bool init_styles(i_xml_node* root, config& out);

    // Add or take one image that uses the layer. Any thread.
    // Returns: lock: true. unlock: false (changing nothing) when the
    //     layer was not locked.
    bool lock();
    bool unlock();

    // Read under the layer's guard, so a concurrent reload is seen either
    // wholly or not at all. Any thread.
    std::string get_name() const;
    int32_t get_priority() const;
    uint32_t get_bg_color() const;
    // Returns: whether `level` lies within the layer's level range.
    bool is_visible(uint8_t level) const;
    // Returns: the number of images currently holding the layer.
    uint32_t get_lock_count() const;

    // Returns: the version the renderer sums into its own (see reload).
    //     Any thread, without the guard.
    uint32_t get_version() const { return version_.load(); }

    // Returns: the geometry styles (pass 0) or the label styles (any
    //     other pass). The list may be walked only between lock and
    //     unlock: a reload exchanges it only while no image holds the
    //     layer.
    const style_list& styles(unsigned pass) const { return pass == 0 ? config_.geometry : config_.labels; }

    // Adds to `codes` the feature codes the styles visible at `level`
    // draw (both passes). Only between lock and unlock, as styles().
    void add_codes(uint8_t level, ozm::code_set& codes) const;

    // Draws pass 0 (the geometry styles) or any other pass (the label
    // styles), each style in list order when it is visible at the
    // context's level. Only between lock and unlock, as styles().
    void render(ozm::feature_table& features, ozm::page_set& pages, render_context& ctx, i_gis_viewport* viewport,
                unsigned pass) const;

private:
    mutable std::mutex guard_;          // orders the lock counter and the exchange of config_
    std::condition_variable unlocked_;  // signalled when the lock counter drops to 0
    uint32_t lock_counter_ = 0;         // images using the layer (guarded)
    std::string path_;                  // absolute file path; empty until load succeeds (guarded)
    timespec file_time_{};              // modification time of the file as last read (guarded)
    std::atomic<uint32_t> version_{0};  // see reload
    config config_;                     // the configuration in use (guarded, except styles())
};

}  // namespace kiv

#endif
