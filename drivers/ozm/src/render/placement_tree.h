// placement_tree.h --
//
//     The boxes already taken on a rendered image (labels, icons), so a
//     later label or icon can ask whether its place is still free. An
//     R-tree measured by plain area whose nodes come in blocks, all freed
//     together when the tree goes (one rendering's lifetime). The first
//     block holds 16 nodes and each next one twice as many, up to 512:
//     most images place a few dozen boxes, and a first block of 512
//     nodes (135 KB) cost every image a fresh mapping of its own.
//     Used by one thread at a time.

#ifndef KIV_OZM_PLACEMENT_TREE_H
#define KIV_OZM_PLACEMENT_TREE_H

#include "format/rtree.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace kiv {

class placement_tree : public RTree<int, float, float, 8, 4> {
public:
    static constexpr unsigned first_block_nodes = 16;
    static constexpr unsigned block_nodes = 512;  // the largest block

    placement_tree() : RTree(0, volume_measure::area) {}
    ~placement_tree() override {
        // The nodes live in the blocks: nothing to free one by one.
        root_ = nullptr;
    }

    // Returns: true when no box added so far meets (x1, y1)-(x2, y2);
    //     touching edges meet. Stops at the first box found.
    bool is_free(float x1, float y1, float x2, float y2) const {
        const float min[2] = {x1, y1};
        const float max[2] = {x2, y2};
        return search_each(min, max, [](int) { return false; }) == 0;
    }

    // Takes the box (x1, y1)-(x2, y2).
    // Returns: false only when no memory was left for it.
    bool add(float x1, float y1, float x2, float y2) {
        const float min[2] = {x1, y1};
        const float max[2] = {x2, y2};
        return insert(min, max, 1);
    }

    // Returns: the node blocks allocated so far.
    size_t block_count() const { return blocks_.size(); }

protected:
    Node* alloc_node() override {
        if (blocks_.empty() || used_in_block_ == block_size_) {
            const unsigned size = blocks_.empty() ? first_block_nodes : std::min(2 * block_size_, block_nodes);
            Node* block = new (std::nothrow) Node[size];
            if (block == nullptr)
                return nullptr;
            blocks_.emplace_back(block);
            block_size_ = size;
            used_in_block_ = 0;
        }
        Node* n = &blocks_.back()[used_in_block_++];
        n->count = 0;
        n->level = 0;
        return n;
    }
    void free_node(Node*) override {}

private:
    std::vector<std::unique_ptr<Node[]>> blocks_;  // owned node blocks, the last one being filled
    unsigned used_in_block_ = 0;                   // nodes handed out of the last block
    unsigned block_size_ = 0;                      // nodes of the last block; 0: no block yet
};

}  // namespace kiv

#endif
