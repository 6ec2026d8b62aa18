// memory_allocator.cpp --
//
//     The page arena. Pages are calloc-ed whole, so every block handed
//     out reads as zeros; sizes are computed in 64-bit and refused when
//     they overflow. A page whose memory cannot be had leaves the page
//     table as it was.

#include <kiv/core/byte_buffer.h>
#include <kiv/core/log.h>
#include <kiv/core/memory_allocator.h>

#include <cstdlib>
#include <cstring>

namespace kiv {

namespace {
// No growable array may exceed this many bytes; a request above it is a
// caller's miscomputed size, refused before the C library sees it.
const uint64_t max_array_bytes = uint64_t(1) << 34;
}  // namespace

memory_allocator::memory_allocator(unsigned default_page_size, unsigned growth)
    : default_page_size_(default_page_size != 0 ? default_page_size : 65536),
      growth_(growth != 0 ? growth : 1000) {}

memory_allocator::~memory_allocator() {
    for (unsigned i = 0; i < page_count_; ++i)
        free(pages_[i].base);
    free(pages_);
    free(tree_);
}

unsigned memory_allocator::get_page_count() {
    mutex_locker lock(this);
    return page_count_;
}

unsigned memory_allocator::get_alloc_count() {
    mutex_locker lock(this);
    return allocated_ > UINT32_MAX ? UINT32_MAX : static_cast<unsigned>(allocated_);
}

unsigned memory_allocator::get_default_page_size() {
    return default_page_size_;
}

unsigned memory_allocator::get_page_size(unsigned short page) {
    mutex_locker lock(this);
    return page < page_count_ ? pages_[page].size : 0;
}

void* memory_allocator::alloc_on_heap(unsigned& capacity, unsigned& count, unsigned element_size, void*& buffer,
                                      unsigned growth) {
    mutex_locker lock(this);
    if (growth == 0)
        growth = growth_;
    uint64_t needed = uint64_t(count) + 1;
    if (needed > capacity) {
        uint64_t new_capacity = uint64_t(capacity) + growth;
        uint64_t bytes = new_capacity * element_size;
        uint64_t old_bytes = uint64_t(capacity) * element_size;
        uint64_t held = old_bytes;
        if (element_size == 0 || new_capacity > UINT32_MAX || new_capacity < needed ||
            !resize_buffer(buffer, held, bytes, max_array_bytes)) {
            kiv_trace("memory_allocator::alloc_on_heap: Insufficient memory to allocate %llu bytes.",
                      static_cast<unsigned long long>(bytes));
            return nullptr;
        }
        std::memset(static_cast<uint8_t*>(buffer) + old_bytes, 0, bytes - old_bytes);
        capacity = static_cast<unsigned>(new_capacity);
    }
    ++count;
    return static_cast<uint8_t*>(buffer) + uint64_t(count - 1) * element_size;
}

void* memory_allocator::alloc_on_page(unsigned size, unsigned short& page, unsigned& offset) {
    mutex_locker lock(this);
    int found = find_page(size);
    if (found < 0) {
        if (page_count_ >= max_pages) {
            kiv_trace("memory_allocator::alloc_on_page: Reached maximum pages limit.");
            return nullptr;
        }
        unsigned page_size = size > default_page_size_ ? size : default_page_size_;
        if (!grow_tree(page_count_ + 1)) {
            kiv_trace("memory_allocator::alloc_on_page: Insufficient memory to allocate %u bytes.", page_size);
            return nullptr;
        }
        unsigned table_growth = page_capacity_ < 16 ? 16 : page_capacity_;
        void* table = pages_;
        page_entry* entry = static_cast<page_entry*>(
            alloc_on_heap(page_capacity_, page_count_, sizeof(page_entry), table, table_growth));
        pages_ = static_cast<page_entry*>(table);
        if (entry == nullptr)
            return nullptr;
        entry->base = static_cast<uint8_t*>(calloc(1, page_size));
        if (entry->base == nullptr) {
            --page_count_;  // the table keeps its room, not the entry
            kiv_trace("memory_allocator::alloc_on_page: Insufficient memory to allocate %u bytes.", page_size);
            return nullptr;
        }
        entry->used = 0;
        entry->size = page_size;
        found = static_cast<int>(page_count_ - 1);
    }
    page_entry& entry = pages_[found];
    page = static_cast<unsigned short>(found);
    offset = entry.used;
    entry.used += size;
    allocated_ += size;
    update_tree(static_cast<unsigned>(found));
    return entry.base + offset;
}

void* memory_allocator::get_ptr(unsigned short page, unsigned offset) {
    mutex_locker lock(this);
    if (page >= page_count_ || offset >= default_page_size_)
        return nullptr;
    return pages_[page].base + offset;
}

int memory_allocator::find_page(unsigned size) const {
    uint64_t need = uint64_t(size) + 1;
    if (tree_leaves_ == 0 || tree_[1] < need)
        return -1;
    unsigned node = 1;
    while (node < tree_leaves_)
        node = 2 * node + (tree_[2 * node] < need ? 1 : 0);
    unsigned index = node - tree_leaves_;
    return index < page_count_ ? static_cast<int>(index) : -1;
}

void memory_allocator::update_tree(unsigned index) {
    unsigned node = tree_leaves_ + index;
    tree_[node] = room(pages_[index]);
    // Once a parent keeps its value, nothing above it changes either.
    for (node /= 2; node >= 1; node /= 2) {
        uint64_t left = tree_[2 * node];
        uint64_t right = tree_[2 * node + 1];
        uint64_t top = left > right ? left : right;
        if (tree_[node] == top)
            break;
        tree_[node] = top;
    }
}

bool memory_allocator::grow_tree(unsigned pages) {
    if (pages <= tree_leaves_)
        return true;
    unsigned leaves = tree_leaves_ != 0 ? tree_leaves_ : 16;
    while (leaves < pages)
        leaves *= 2;
    uint64_t* tree = static_cast<uint64_t*>(calloc(2 * size_t(leaves), sizeof(uint64_t)));
    if (tree == nullptr)
        return false;
    free(tree_);
    tree_ = tree;
    tree_leaves_ = leaves;
    for (unsigned i = 0; i < page_count_; ++i)
        tree_[leaves + i] = room(pages_[i]);
    for (unsigned node = leaves - 1; node >= 1; --node) {
        uint64_t left = tree_[2 * node];
        uint64_t right = tree_[2 * node + 1];
        tree_[node] = left > right ? left : right;
    }
    return true;
}

}  // namespace kiv
