// ozm_town.h --
//
//     A generated town for the renderer's benchmarks and picture tests: a
//     grid of `blocks` x `blocks` blocks around (53.90, 27.55), streets
//     every block (every fourth a main street of detail class 1, all of
//     them roads with a label), eight buildings a block, each with its
//     house number as a labelled point. 177 blocks give 501,620
//     features. The file is the same, byte for byte, on every run.

#ifndef KIV_BENCH_OZM_TOWN_H
#define KIV_BENCH_OZM_TOWN_H

#include <kiv/ozm_writer/map_writer.h>

#include <string>

namespace kiv_bench {

inline bool write_generated_town(const std::string& path, int blocks) {
    kiv::ozm_writer::map_info info;
    info.name = "Big town";
    info.priority = 10;
    info.max_level = 8;
    kiv::ozm_writer::map_writer w(info);
    const double lat0 = 53.90 - blocks * 0.0015 / 2, lon0 = 27.55 - blocks * 0.0025 / 2;
    for (int i = 0; i <= blocks; ++i) {
        kiv::ozm_writer::feature ew, ns;
        ew.code = ns.code = (i % 4 == 0) ? 12 : 13;
        ew.flags = ns.flags = uint8_t((i % 4 == 0 ? 0x02 : 0) | 0x40);
        ew.label = "Street " + std::to_string(i);
        ns.label = "Улица " + std::to_string(i);
        for (int k = 0; k <= blocks; k += 8) {
            ew.points.push_back({float(lat0 + i * 0.0015), float(lon0 + k * 0.0025)});
            ns.points.push_back({float(lat0 + k * 0.0015), float(lon0 + i * 0.0025)});
        }
        ew.anchor = ew.points[ew.points.size() / 2];
        ns.anchor = ns.points[ns.points.size() / 2];
        w.add_feature(ew);
        w.add_feature(ns);
    }
    for (int r = 0; r < blocks; ++r) {
        for (int c = 0; c < blocks; ++c) {
            for (int b = 0; b < 8; ++b) {
                double la = lat0 + r * 0.0015 + 0.0002 + (b / 4) * 0.00058;
                double lo = lon0 + c * 0.0025 + 0.0003 + (b % 4) * 0.00052;
                kiv::ozm_writer::feature house;
                house.code = 30;
                house.flags = 0x80;
                house.points = {{float(la), float(lo)},
                                {float(la), float(lo + 0.0004)},
                                {float(la + 0.00045), float(lo + 0.0004)},
                                {float(la + 0.00045), float(lo)}};
                house.anchor = {float(la + 0.0002), float(lo + 0.0002)};
                w.add_feature(house);
                kiv::ozm_writer::feature number;
                number.code = 40;
                number.flags = 0x01;
                number.anchor = house.anchor;
                number.label = std::to_string(b + 1);
                w.add_feature(number);
            }
        }
    }
    std::string error;
    return w.write(path, error);
}

}  // namespace kiv_bench

#endif
