// rtree.h --
//
//     The two-dimensional R-tree of the vector map driver: Guttman's tree
//     with the quadratic split, at most TMAXNODES and at least TMINNODES
//     branches a node. One template serves the spatial index of every map
//     file (loaded once from the file's node stream, then searched) and
//     the placement tree of a rendering (grown box by box, asked whether
//     a place is still free).
//
//     A loaded tree is hostile input until proven otherwise: the stream
//     parameters must match, a node may hold at most TMAXNODES branches,
//     every child must sit at a lower level than its parent and the root
//     at most at level max_load_level, so the recursion is bounded; a
//     stream cut short loads as the partial tree that was read (a node
//     keeps its whole branches only); a tree with a node pool refuses a
//     stream that needs more nodes than the pool holds.
//
//     A tree is used by one thread at a time while it is changed;
//     searches of a tree nobody changes may run from many threads.

#ifndef KIV_OZM_RTREE_H
#define KIV_OZM_RTREE_H

#include <kiv/core/le_bytes.h>

#include <cstddef>
#include <cstdint>
#include <new>

namespace kiv {
namespace ozm {

// The highest root level a loaded stream may claim (8^32 leaves is far
// beyond any file; the bound keeps the loader's recursion shallow).
constexpr int max_load_level = 32;
// The first value of a node stream: the bytes "RTRE" read little-endian.
constexpr uint32_t rtree_stream_magic = 0x45525452;
// The bytes of the stream's parameter block (seven 4-byte values).
constexpr size_t rtree_stream_header_size = 28;

}  // namespace ozm

template <class DATA, class ELEMTYPE, class ELEMTYPEREAL, int TMAXNODES = 8, int TMINNODES = 4>
class RTree {
    static_assert(TMAXNODES > TMINNODES && TMINNODES > 0, "a node must hold more than its minimum");

public:
    static constexpr int max_branches = TMAXNODES;
    static constexpr int min_branches = TMINNODES;

    // How rectangles are measured when choosing a branch and splitting:
    // the map index uses the volume of the circle around the rectangle
    // (square of the half-diagonal times pi), the placement tree its area.
    enum class volume_measure { spherical, area };

    struct Rect {
        ELEMTYPE min[2];
        ELEMTYPE max[2];
    };
    struct Node;
    struct Branch {
        Rect rect;
        Node* child;  // inner nodes: the child (owned by the tree); null in leaves
        DATA data;    // leaves: the value stored with the rectangle
    };
    struct Node {
        int count;  // branches in use, 0..TMAXNODES
        int level;  // 0 (or below, in a loaded tree) for a leaf; higher towards the root
        Branch branch[TMAXNODES];
        bool is_leaf() const { return level <= 0; }
    };

    // pool_nodes > 0 reserves that many nodes in one block (the map
    // index); nodes are then taken from it in order and never freed
    // singly. If the block cannot be allocated, loading fails.
    explicit RTree(unsigned pool_nodes = 0, volume_measure measure = volume_measure::spherical)
        : measure_(measure) {
        if (pool_nodes > 0) {
            pool_wanted_ = pool_nodes;
            pool_ = new (std::nothrow) Node[pool_nodes];
            pool_capacity_ = pool_ != nullptr ? pool_nodes : 0;
        }
    }
    RTree(const RTree&) = delete;
    RTree& operator=(const RTree&) = delete;
    virtual ~RTree() {
        free_subtree(root_);
        delete[] pool_;
    }

    typedef bool (*search_callback)(DATA data, void* context);

    // Visits every leaf whose rectangle meets [min, max] (touching edges
    // meet), depth-first in branch order. Each hit is counted, then
    // `callback` (may be null: only count) is called; false from it ends
    // the search.
    // Returns: the hits counted, the one that ended the search included.
    int search(const ELEMTYPE min[2], const ELEMTYPE max[2], search_callback callback, void* context) const {
        return search_each(min, max, [&](DATA data) { return callback == nullptr || callback(data, context); });
    }

    // As search, with any callable taking DATA and returning bool.
    template <class F>
    int search_each(const ELEMTYPE min[2], const ELEMTYPE max[2], F&& visit) const {
        Rect r = make_rect(min, max);
        int found = 0;
        if (root_ != nullptr)
            search_rec(root_, r, found, visit);
        return found;
    }

    // Adds a rectangle with its value.
    // Returns: false only when no node could be had for it.
    bool insert(const ELEMTYPE min[2], const ELEMTYPE max[2], const DATA& data) {
        if (root_ == nullptr) {
            root_ = alloc_node();
            if (root_ == nullptr)
                return false;
        }
        Branch b{make_rect(min, max), nullptr, data};
        Node* sibling = nullptr;
        if (!insert_rec(b, root_, &sibling))
            return true;
        if (sibling == nullptr)
            return false;
        Node* top = alloc_node();
        if (top == nullptr)
            return false;
        top->level = root_->level + 1;
        top->branch[0] = Branch{cover(root_), root_, DATA()};
        top->branch[1] = Branch{cover(sibling), sibling, DATA()};
        top->count = 2;
        root_ = top;
        return true;
    }

    // Loads an empty tree from the node stream of a map file: seven
    // 4-byte parameters ("RTRE", data size, 2 dimensions, element size,
    // volume element size, TMAXNODES, TMINNODES), then the nodes depth-
    // first, each a 4-byte level and count and its branches (four
    // coordinates, then the 4-byte value in a leaf or the child node in
    // an inner node). `accept` (may be null) vets each leaf value.
    // Returns: false for a tree that is not empty, wrong parameters, a
    //     node over TMAXNODES branches, a level out of order, a value
    //     `accept` refuses, or more nodes than the pool holds; the tree
    //     is then empty again. Bytes after the root are ignored.
    bool load(const uint8_t* stream, size_t size, bool (*accept)(DATA data, void* context) = nullptr,
              void* context = nullptr) {
        if (root_ != nullptr || (pool_wanted_ > 0 && pool_ == nullptr))
            return false;
        load_state st{stream, size, 0, accept, context, 0};
        const uint32_t expected[7] = {ozm::rtree_stream_magic, sizeof(DATA), 2, sizeof(ELEMTYPE),
                                      sizeof(ELEMTYPEREAL), TMAXNODES, TMINNODES};
        for (uint32_t want : expected) {
            uint32_t got = 0;
            if (!st.read_u32(got) || got != want)
                return false;
        }
        root_ = load_node(st);
        bool ok = root_ != nullptr && load_children(st, root_, ozm::max_load_level + 1);
        if (!ok) {
            free_subtree(root_);
            root_ = nullptr;
            pool_used_ = 0;
        }
        return ok;
    }

    // Returns: the root (owned by the tree), null while the tree is empty.
    const Node* root() const { return root_; }

    // Out: `lo` = per dimension the least maximum, `hi` the greatest
    //     minimum of every node's rectangles (NaN coordinates left out;
    //     both stay as passed in for an empty tree). A search box with
    //     min <= lo and max >= hi overlaps every rectangle of the tree, so
    //     it visits every leaf, in the tree's own order.
    void reach(ELEMTYPE lo[2], ELEMTYPE hi[2]) const {
        if (root_ != nullptr)
            reach_rec(root_, lo, hi);
    }

    // Calls visit(rect, data) for every leaf branch in the order a search
    // visits them.
    // Returns: whether every inner branch's rectangle holds all the
    //     rectangles below it; only then does a leaf that overlaps a
    //     search box always get visited by the search.
    template <class F>
    bool each_leaf(F&& visit) const {
        return root_ == nullptr || each_leaf_rec(root_, visit);
    }
    // Returns: the nodes taken from the pool so far (0 without a pool).
    unsigned pool_used() const { return pool_used_; }

protected:
    // Returns: a node of count 0 and level 0, or null when none can be
    //     had. The base takes pool nodes first, then heap nodes.
    virtual Node* alloc_node() {
        Node* n = nullptr;
        if (pool_used_ < pool_capacity_)
            n = &pool_[pool_used_++];
        else
            n = new (std::nothrow) Node;
        if (n != nullptr) {
            n->count = 0;
            n->level = 0;
        }
        return n;
    }
    // Frees a node alloc_node gave (pool nodes go with the pool).
    virtual void free_node(Node* n) {
        if (!in_pool(n))
            delete n;
    }

    Node* root_ = nullptr;  // owned; null while empty

private:
    struct load_state {
        const uint8_t* data;
        size_t size;
        size_t pos;
        bool (*accept)(DATA, void*);
        void* context;
        unsigned nodes;  // nodes loaded so far, root included

        bool has(size_t n) const { return size - pos >= n; }
        bool read_u32(uint32_t& v) {
            if (!has(4))
                return false;
            v = kiv::le_u32(data + pos);
            pos += 4;
            return true;
        }
        void read_rect(Rect& r) {
            r.min[0] = kiv::le_f32(data + pos);
            r.min[1] = kiv::le_f32(data + pos + 4);
            r.max[0] = kiv::le_f32(data + pos + 8);
            r.max[1] = kiv::le_f32(data + pos + 12);
            pos += 16;
        }
    };

    bool in_pool(const Node* n) const { return pool_ != nullptr && n >= pool_ && n < pool_ + pool_capacity_; }

    // Takes a node for the stream (the pool bounds it) and reads its
    // level and count; either may be missing at the end of the stream.
    Node* load_node(load_state& st) {
        if (pool_wanted_ > 0 && st.nodes >= pool_capacity_)
            return nullptr;
        Node* n = alloc_node();
        if (n == nullptr)
            return nullptr;
        ++st.nodes;
        if (st.has(4)) {
            n->level = kiv::le_i32(st.data + st.pos);
            st.pos += 4;
        }
        if (st.has(4)) {
            n->count = kiv::le_i32(st.data + st.pos);
            st.pos += 4;
        }
        return n;
    }

    // Reads the branches of `n` (level and count read). `parent_level`
    // bounds its level from above.
    bool load_children(load_state& st, Node* n, int parent_level) {
        // The count grows with each whole branch, so a failed load frees
        // only what was really read.
        int announced = n->count < 0 ? 0 : n->count;
        n->count = 0;
        if (n->level >= parent_level || announced > TMAXNODES)
            return false;
        for (int i = 0; i < announced; ++i) {
            Branch& b = n->branch[i];
            if (n->is_leaf()) {
                if (!st.has(20))
                    break;
                st.read_rect(b.rect);
                b.child = nullptr;
                b.data = static_cast<DATA>(kiv::le_u32(st.data + st.pos));
                st.pos += 4;
                if (st.accept != nullptr && !st.accept(b.data, st.context))
                    return false;
                n->count = i + 1;
            } else {
                // A child is whole only with its own level and count.
                if (!st.has(24))
                    break;
                st.read_rect(b.rect);
                b.data = DATA();
                b.child = load_node(st);
                if (b.child == nullptr)
                    return false;
                n->count = i + 1;
                if (!load_children(st, b.child, n->level))
                    return false;
            }
        }
        return true;
    }

    void free_subtree(Node* n) {
        if (n == nullptr)
            return;
        if (!n->is_leaf())
            for (int i = 0; i < n->count; ++i)
                free_subtree(n->branch[i].child);
        // From the destructor this is the base's free_node (the derived
        // class is gone and has emptied root_ of its own nodes).
        free_node(n);
    }

    static Rect make_rect(const ELEMTYPE min[2], const ELEMTYPE max[2]) {
        return Rect{{min[0], min[1]}, {max[0], max[1]}};
    }

    static bool overlap(const Rect& a, const Rect& b) {
        for (int d = 0; d < 2; ++d)
            if (a.min[d] > b.max[d] || b.min[d] > a.max[d])
                return false;
        return true;
    }

    static Rect combine(const Rect& a, const Rect& b) {
        Rect r;
        for (int d = 0; d < 2; ++d) {
            r.min[d] = a.min[d] < b.min[d] ? a.min[d] : b.min[d];
            r.max[d] = a.max[d] > b.max[d] ? a.max[d] : b.max[d];
        }
        return r;
    }

    ELEMTYPEREAL volume(const Rect& r) const {
        if (measure_ == volume_measure::area)
            return ELEMTYPEREAL(r.max[0] - r.min[0]) * ELEMTYPEREAL(r.max[1] - r.min[1]);
        ELEMTYPEREAL sum = 0;
        for (int d = 0; d < 2; ++d) {
            ELEMTYPEREAL half = ELEMTYPEREAL(r.max[d]) / 2 - ELEMTYPEREAL(r.min[d]) / 2;
            sum += half * half;
        }
        return sum * ELEMTYPEREAL(3.141593);
    }

    static Rect cover(const Node* n) {
        Rect r = n->branch[0].rect;
        for (int i = 1; i < n->count; ++i)
            r = combine(r, n->branch[i].rect);
        return r;
    }

    template <class F>
    static bool each_leaf_rec(const Node* n, F& visit) {
        bool nested = true;
        for (int i = 0; i < n->count; ++i) {
            const Branch& b = n->branch[i];
            if (n->is_leaf()) {
                visit(b.rect, b.data);
                continue;
            }
            nested = each_leaf_rec(b.child, visit) && nested;
            for (int k = 0; nested && k < b.child->count; ++k) {
                const Rect& in = b.child->branch[k].rect;
                for (int d = 0; d < 2; ++d)
                    nested = nested && b.rect.min[d] <= in.min[d] && in.max[d] <= b.rect.max[d];
            }
        }
        return nested;
    }

    static void reach_rec(const Node* n, ELEMTYPE lo[2], ELEMTYPE hi[2]) {
        for (int i = 0; i < n->count; ++i) {
            const Rect& r = n->branch[i].rect;
            for (int d = 0; d < 2; ++d) {
                if (r.max[d] < lo[d])
                    lo[d] = r.max[d];
                if (r.min[d] > hi[d])
                    hi[d] = r.min[d];
            }
            if (!n->is_leaf())
                reach_rec(n->branch[i].child, lo, hi);
        }
    }

    template <class F>
    static bool search_rec(const Node* n, const Rect& r, int& found, F& visit) {
        if (!n->is_leaf()) {
            for (int i = 0; i < n->count; ++i)
                if (overlap(r, n->branch[i].rect) && !search_rec(n->branch[i].child, r, found, visit))
                    return false;
            return true;
        }
        for (int i = 0; i < n->count; ++i) {
            if (overlap(r, n->branch[i].rect)) {
                ++found;
                if (!visit(n->branch[i].data))
                    return false;
            }
        }
        return true;
    }

    // Returns: the branch of `n` whose rectangle grows least to take
    //     `r`; ties go to the smaller one, then to the first.
    int pick_branch(const Rect& r, const Node* n) const {
        int best = 0;
        ELEMTYPEREAL best_increase = 0, best_volume = 0;
        for (int i = 0; i < n->count; ++i) {
            ELEMTYPEREAL v = volume(n->branch[i].rect);
            ELEMTYPEREAL increase = volume(combine(r, n->branch[i].rect)) - v;
            if (i == 0 || increase < best_increase || (increase == best_increase && v < best_volume)) {
                best = i;
                best_increase = increase;
                best_volume = v;
            }
        }
        return best;
    }

    // Inserts below `n`. Returns: true when `n` split; *sibling is then
    //     the new node of the same level (null when none could be had).
    bool insert_rec(const Branch& b, Node* n, Node** sibling) {
        if (n->is_leaf())
            return add_branch(b, n, sibling);
        if (n->count == 0) {
            // Only a loaded tree has empty inner nodes: start a leaf.
            Node* leaf = alloc_node();
            if (leaf == nullptr)
                return false;
            leaf->branch[0] = b;
            leaf->count = 1;
            n->branch[0] = Branch{b.rect, leaf, DATA()};
            n->count = 1;
            return false;
        }
        int i = pick_branch(b.rect, n);
        Node* other = nullptr;
        if (!insert_rec(b, n->branch[i].child, &other)) {
            n->branch[i].rect = combine(b.rect, n->branch[i].rect);
            return false;
        }
        n->branch[i].rect = cover(n->branch[i].child);
        if (other == nullptr)
            return false;
        return add_branch(Branch{cover(other), other, DATA()}, n, sibling);
    }

    bool add_branch(const Branch& b, Node* n, Node** sibling) {
        if (n->count < TMAXNODES) {
            n->branch[n->count++] = b;
            return false;
        }
        *sibling = split_node(n, b);
        return true;
    }

    // Guttman's quadratic split of the full node and one more branch.
    // Returns: the new node holding group 1 (null when no node could be
    //     had; `n` then stays as it was and `extra` is lost).
    Node* split_node(Node* n, const Branch& extra) {
        constexpr int total = TMAXNODES + 1;
        constexpr int group_limit = total - TMINNODES;
        Node* other = alloc_node();
        if (other == nullptr)
            return nullptr;
        Branch buf[total];
        for (int i = 0; i < TMAXNODES; ++i)
            buf[i] = n->branch[i];
        buf[TMAXNODES] = extra;

        Rect all = buf[0].rect;
        ELEMTYPEREAL vol[total];
        for (int i = 0; i < total; ++i) {
            all = combine(all, buf[i].rect);
            vol[i] = volume(buf[i].rect);
        }
        // Seeds: the pair that wastes most when combined.
        ELEMTYPEREAL worst = -volume(all) - 1;
        int seed0 = 0, seed1 = 1;
        for (int i = 0; i < total - 1; ++i)
            for (int j = i + 1; j < total; ++j) {
                ELEMTYPEREAL waste = volume(combine(buf[i].rect, buf[j].rect)) - vol[i] - vol[j];
                if (waste > worst) {
                    worst = waste;
                    seed0 = i;
                    seed1 = j;
                }
            }

        int group[total];
        for (int& g : group)
            g = -1;
        int count[2] = {0, 0};
        Rect group_cover[2];
        ELEMTYPEREAL group_volume[2] = {0, 0};
        auto classify = [&](int i, int g) {
            group[i] = g;
            group_cover[g] = count[g] == 0 ? buf[i].rect : combine(buf[i].rect, group_cover[g]);
            group_volume[g] = volume(group_cover[g]);
            ++count[g];
        };
        classify(seed0, 0);
        classify(seed1, 1);
        while (count[0] + count[1] < total && count[0] < group_limit && count[1] < group_limit) {
            ELEMTYPEREAL biggest = -1;
            int chosen = -1, chosen_group = 0;
            for (int i = 0; i < total; ++i) {
                if (group[i] >= 0)
                    continue;
                ELEMTYPEREAL growth0 = volume(combine(buf[i].rect, group_cover[0])) - group_volume[0];
                ELEMTYPEREAL growth1 = volume(combine(buf[i].rect, group_cover[1])) - group_volume[1];
                ELEMTYPEREAL diff = growth1 - growth0;
                int g = 0;
                if (!(diff >= 0)) {
                    g = 1;
                    diff = -diff;
                }
                if (chosen < 0 || diff > biggest || (diff == biggest && count[g] < count[chosen_group])) {
                    // The first candidate is taken even when its growth is
                    // not a number (infinite boxes), so the loop ends.
                    if (chosen < 0 || diff > biggest)
                        biggest = diff;
                    chosen = i;
                    chosen_group = g;
                }
            }
            classify(chosen, chosen_group);
        }
        if (count[0] + count[1] < total) {
            int rest = count[0] >= group_limit ? 1 : 0;
            for (int i = 0; i < total; ++i)
                if (group[i] < 0)
                    classify(i, rest);
        }

        other->level = n->level;
        n->count = 0;
        for (int i = 0; i < total; ++i) {
            Node* to = group[i] == 0 ? n : other;
            to->branch[to->count++] = buf[i];
        }
        return other;
    }

    volume_measure measure_;
    Node* pool_ = nullptr;        // owned block of pool_capacity_ nodes; null without a pool
    unsigned pool_capacity_ = 0;  // nodes in the block
    unsigned pool_wanted_ = 0;    // nodes asked for (0: no pool)
    unsigned pool_used_ = 0;      // pool nodes handed out
};

}  // namespace kiv

#endif
