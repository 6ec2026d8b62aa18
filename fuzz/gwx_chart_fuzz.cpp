// gwx_chart_fuzz.cpp --
//
//     Parses any bytes as a chart of the GWX stand-in control. Chart
//     files come from whoever fills the maps folder, so a chart the
//     parser accepts must keep its promises: bounds on the globe and not
//     empty, every object on a declared layer with its box the right way
//     round, ids in range. The parser is built into the target from its
//     source, since the driver does not export it.

#include "chart_file.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    kiv::chart chart;
    std::string error;
    if (kiv::parse_chart(text, chart, error) != kiv::chart_ok) {
        if (error.empty())
            std::abort();
        return 0;
    }
    if (!(chart.min_lat < chart.max_lat && chart.min_lon < chart.max_lon && chart.min_lat >= -90 &&
          chart.max_lat <= 90 && chart.min_lon >= -180 && chart.max_lon <= 180))
        std::abort();
    for (const kiv::chart_object& obj : chart.objects) {
        if (obj.layer >= chart.layers.size() || obj.cls.empty() || obj.id < 1 || obj.id > 2147483647)
            std::abort();
        if (!(obj.min_lat <= obj.max_lat && obj.min_lon <= obj.max_lon))
            std::abort();
        if (!obj.area && (obj.min_lat != obj.max_lat || obj.min_lon != obj.max_lon))
            std::abort();
    }
    return 0;
}
