// render_layer_fuzz.cpp --
//
//     Reads any text as a render layer file. A file that is accepted must
//     give a configuration the renderer can trust: a name, levels within
//     0..16, border instances only at the front of the geometry list,
//     widths, border widths and label sizes finite and within their
//     limits, dash patterns that advance.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/log.h>

#include "fuzz_support.h"
#include "render/geometry_styles.h"
#include "render/label_style.h"
#include "render/renderer_layer.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

kiv::i_xml_proc* service() {
    static kiv::i_xml_proc* proc = [] {
        kiv_enable_trace(false);
        private_root();
        kiv_initialize();
        return kiv_cast_i_xml_proc(kiv_core()->get_service("svc_xml"));  // kept for the run
    }();
    return proc;
}

void check_levels(const double* values) {
    for (unsigned level = 0; level < kiv::render_level_count; ++level)
        check(std::isfinite(values[level]) && values[level] >= 0 && values[level] <= 1000);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kiv::i_xml_proc* proc = service();
    std::string input(reinterpret_cast<const char*>(data), size);
    auto_ptr_t<kiv::i_xml_node> root(proc->parse_text(input.c_str()));
    if (!root)
        return 0;
    kiv::renderer_layer::config config;
    if (!kiv::renderer_layer::init_styles(root, config))
        return 0;
    check(!config.name.empty());
    check(config.first_level <= config.last_level && config.last_level <= 16);
    bool borders = true;
    for (const auto& style : config.geometry) {
        auto& base = dynamic_cast<kiv::render_style_base&>(*style);
        check(base.first_level() <= base.last_level() && base.last_level() <= 16);
        check(base.first_code() >= 1 && base.first_code() <= base.last_code());
        check(!base.is_border() || borders);
        borders = base.is_border();
        double widths[kiv::render_level_count];
        for (unsigned level = 0; level < kiv::render_level_count; ++level)
            widths[level] = base.border_width(level);
        check_levels(widths);
        if (auto* line = dynamic_cast<kiv::render_style_line*>(style.get())) {
            for (unsigned level = 0; level < kiv::render_level_count; ++level)
                widths[level] = line->width(level);
            check_levels(widths);
        }
        if (auto* dash = dynamic_cast<kiv::render_style_dash*>(style.get())) {
            const auto& dashes = dash->dashes();
            check(dashes.size() >= 2);
            for (size_t i = 0; i + 1 < dashes.size(); i += 2)
                check(dashes[i] > 0 && dashes[i + 1] > 0);
        }
    }
    for (const auto& style : config.labels) {
        auto& label = dynamic_cast<kiv::render_style_label&>(*style);
        check(!label.face().empty());
        for (unsigned level = 0; level < kiv::render_level_count; ++level)
            check(label.size(level) >= 0 && label.size(level) <= 1000);
    }
    return 0;
}
