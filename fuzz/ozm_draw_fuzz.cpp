// ozm_draw_fuzz.cpp --
//
//     Loads any bytes as a map object and draws everything it holds with
//     every geometry style and the three label modes (DejaVu Sans) into a
//     small image through a viewport over the map's envelope: hostile
//     records, names and coordinates may leave features out but must
//     never crash, hang or read outside what was loaded. Seeds are maps
//     made by the writer.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_xml.h>
#include <kiv/core/log.h>
#include <kiv/gis/i_gis_viewport.h>
#include <kiv/image/font_manager.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "map/ozm_map.h"
#include "render/render_context.h"
#include "render/renderer_layer.h"

namespace {

constexpr unsigned image_w = 96, image_h = 64;

kiv::renderer_layer::config* styles = nullptr;
// One FreeType instance for the run, as a map view keeps one for its
// life, and one render cache over it: the face is opened and its glyphs
// loaded once, not once an input.
kiv::font_manager* fonts = nullptr;
kiv::render_cache* cache = nullptr;
// The image, drawn into by every input after a fill with white.
std::vector<uint32_t>* pixels = nullptr;

}  // namespace

// One input draws hundreds of small short-lived blocks (stroke and dash
// vertices, halo masks, FreeType's face tables); with the sanitizer's
// default quarantine of 256 MiB none is reused, so every block comes from
// fresh pages (a page fault and a fill each), which cost more than the
// drawing itself. With 16 MiB a freed block stays unusable until 16 MiB
// more have been freed after it, far more than one input's drawing
// frees, so a use after free within an input is caught as before. The
// variable ASAN_OPTIONS still overrides this.
extern "C" const char* __asan_default_options() {
    return "quarantine_size_mb=16";
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kiv_enable_trace(false);
    private_root();
    if (!kiv_initialize())
        abort();
    kiv_set_env("KIV_FONT_PATH", "/usr/share/fonts/truetype/dejavu");
    auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_xml"));
    kiv::i_xml_proc* xml = kiv_cast_i_xml_proc(svc);
    if (xml == nullptr)
        abort();
    auto_ptr_t<kiv::i_xml_node> root(xml->parse_text(
        "<layer name='fuzz' levels='0-16'>"
        "<style type='line' color='FF0000' levels='0-16' features='1-255' width='3' border_width='1' "
        "border_color='0000FF'/>"
        "<style type='dash' color='00FF00' levels='0-16' features='1-255' width='2' dash='3,2,1,2'/>"
        "<style type='polygon' color='80FFFF00' levels='0-16' features='1-255' border_width='1' "
        "border_color='000000'/>"
        "<style type='smooth-polygon' color='8000FFFF' levels='0-16' features='1-255'/>"
        "<style type='label' color='000000' levels='0-16' features='1-255' size='9' face='DejaVuSans' "
        "align='center' halo_size='4' halo_color='FFFFFF'/>"
        "<style type='label' color='000000' levels='0-16' features='1-255' size='9' face='DejaVuSans' "
        "align='along' label_spacing='5' halo_size='1' halo_color='80FFFFFF'/>"
        "<style type='label' color='FFFFFF' levels='0-16' features='1-255' size='9' face='DejaVuSans' "
        "align='along-box' border_color='FF0000' halo_size='1' halo_color='000000'/>"
        "</layer>"));
    styles = new kiv::renderer_layer::config;
    if (!root || !kiv::renderer_layer::init_styles(root, *styles))
        abort();
    fonts = new kiv::font_manager;
    if (!fonts->init())
        abort();
    cache = new kiv::render_cache;
    pixels = new std::vector<uint32_t>(size_t(image_w) * image_h);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int fd = memory_file(data, size);
    kiv::ozm_map* map = new kiv::ozm_map;
    map->addref();
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    // Every page must lie in the (small) file, so no read is large.
    if (map->load(path.c_str(), nullptr, 1, true)) {
        double min_lat, min_lon, max_lat, max_lon;
        map->get_envelope(min_lat, min_lon, max_lat, max_lon);
        auto_ptr_t<kiv::i_gis_viewport> vp(kiv_gis_create_viewport(image_w, image_h));
        if (!vp->set_geo_extents(min_lat, min_lon, max_lat, max_lon, size % 3 == 0))
            vp->set_center(min_lat, min_lon, 100000);
        kiv::ozm::feature_table table;
        const float min[2] = {-1e30f, -1e30f}, max[2] = {1e30f, 1e30f};
        map->query(min, max, 0, table);
        pixels->assign(pixels->size(), 0xFFFFFFFFu);
        agg::rendering_buffer buf(reinterpret_cast<uint8_t*>(pixels->data()), image_w, image_h, int(image_w * 4));
        kiv::ozm_pixfmt pixf(buf);
        kiv::ozm_renderer_base ren(pixf);
        {
            kiv::render_context ctx(ren, uint8_t(size % 17), 0, fonts, cache);
            kiv::ozm::page_set pages;
            for (auto& s : styles->geometry)
                s->render(table, pages, ctx, vp);
            for (auto& s : styles->labels)
                s->render(table, pages, ctx, vp);
        }
    }
    map->release();
    close(fd);
    return 0;
}
