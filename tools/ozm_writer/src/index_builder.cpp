// index_builder.cpp --
//
//     Bulk loading of a map's R-tree by sort-tile-recursive packing: the
//     boxes are sorted into vertical slices by the latitude of their
//     centres, each slice by longitude, and the run is cut into nodes of
//     near-equal size (at most 8, at least 4 branches once there are 4
//     boxes). Levels are packed the same way until one node is left,
//     then written depth-first as the driver's loader reads them.

#include <kiv/ozm_writer/map_writer.h>

#include "byte_order.h"

#include <algorithm>
#include <cmath>

namespace kiv {
namespace ozm_writer {

namespace {

constexpr size_t max_branches = 8;

struct packed_node {
    int level;
    index_box cover;
    std::vector<size_t> children;  // indexes into the level below (leaves: into the boxes)
};

float centre_lat(const index_box& b) {
    return b.min_lat / 2 + b.max_lat / 2;
}
float centre_lon(const index_box& b) {
    return b.min_lon / 2 + b.max_lon / 2;
}

// Sorts positions of `boxes` into sort-tile-recursive order.
std::vector<size_t> str_order(const std::vector<index_box>& boxes) {
    std::vector<size_t> order(boxes.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    size_t nodes = (boxes.size() + max_branches - 1) / max_branches;
    size_t slices = size_t(std::ceil(std::sqrt(double(nodes))));
    size_t slice_size = slices * max_branches;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return centre_lat(boxes[a]) < centre_lat(boxes[b]); });
    for (size_t start = 0; start < order.size(); start += slice_size) {
        auto first = order.begin() + long(start);
        auto last = order.begin() + long(std::min(order.size(), start + slice_size));
        std::stable_sort(first, last,
                         [&](size_t a, size_t b) { return centre_lon(boxes[a]) < centre_lon(boxes[b]); });
    }
    return order;
}

index_box join(const index_box& a, const index_box& b) {
    return index_box{std::min(a.min_lat, b.min_lat), std::min(a.min_lon, b.min_lon),
                     std::max(a.max_lat, b.max_lat), std::max(a.max_lon, b.max_lon), 0};
}

// Packs one level: the items, in STR order, cut into near-equal nodes.
std::vector<packed_node> pack_level(const std::vector<index_box>& items, int level) {
    std::vector<size_t> order = str_order(items);
    size_t n = order.size();
    size_t count = (n + max_branches - 1) / max_branches;
    std::vector<packed_node> nodes(count);
    for (size_t g = 0; g < count; ++g) {
        packed_node& node = nodes[g];
        node.level = level;
        for (size_t i = g * n / count; i < (g + 1) * n / count; ++i) {
            size_t item = order[i];
            node.cover = node.children.empty() ? items[item] : join(node.cover, items[item]);
            node.children.push_back(item);
        }
    }
    return nodes;
}

void put_box(std::vector<uint8_t>& out, const index_box& b) {
    put_f32(out, b.min_lat);
    put_f32(out, b.min_lon);
    put_f32(out, b.max_lat);
    put_f32(out, b.max_lon);
}

struct stream_writer {
    const std::vector<index_box>& boxes;
    const std::vector<std::vector<packed_node>>& levels;
    std::vector<uint8_t>& out;
    std::vector<uint32_t>* leaf_order;
    uint32_t nodes;

    void write(size_t level, size_t index) {
        const packed_node& node = levels[level][index];
        ++nodes;
        put_u32(out, uint32_t(node.level));
        put_u32(out, uint32_t(node.children.size()));
        for (size_t child : node.children) {
            if (level == 0) {
                put_box(out, boxes[child]);
                put_u32(out, boxes[child].data);
                if (leaf_order != nullptr)
                    leaf_order->push_back(boxes[child].data);
            } else {
                put_box(out, levels[level - 1][child].cover);
                write(level - 1, child);
            }
        }
    }
};

}  // namespace

std::vector<uint8_t> build_index_stream(std::vector<index_box> boxes, uint32_t& node_count,
                                        std::vector<uint32_t>* leaf_order) {
    node_count = 0;
    std::vector<uint8_t> out;
    if (leaf_order != nullptr)
        leaf_order->clear();
    if (boxes.empty())
        return out;
    std::vector<std::vector<packed_node>> levels;
    levels.push_back(pack_level(boxes, 0));
    while (levels.back().size() > 1) {
        std::vector<index_box> covers;
        for (const packed_node& n : levels.back())
            covers.push_back(n.cover);
        levels.push_back(pack_level(covers, int(levels.size())));
    }
    const uint32_t parameters[7] = {0x45525452, 4, 2, 4, 4, 8, 4};
    for (uint32_t v : parameters)
        put_u32(out, v);
    stream_writer w{boxes, levels, out, leaf_order, 0};
    w.write(levels.size() - 1, 0);
    node_count = w.nodes;
    return out;
}

}  // namespace ozm_writer
}  // namespace kiv
