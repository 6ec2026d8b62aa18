// memory_allocator.h --
//
//     An arena for code that makes many small allocations living as long
//     as the arena: blocks are carved out of large zero-filled pages and
//     addressed by a page number and an offset, and everything is freed
//     at once when the allocator goes. It also appends elements to
//     caller-owned growable arrays.
//
//     Placement: a block goes into the lowest-numbered page whose used
//     bytes plus the block still fit the default page size; when none
//     does, a new page of the default size (or of the block's size, when
//     larger) is added. Finding that page takes logarithmic time in the
//     number of pages.
//
//     All operations hold the allocator's own mutex, so it may be shared
//     between threads. Blocks stay valid until the allocator is destroyed.

#ifndef KIV_CORE_MEMORY_ALLOCATOR_H
#define KIV_CORE_MEMORY_ALLOCATOR_H

#include <kiv/core/mutex.h>

#include <cstdint>

namespace kiv {

class KIV_EXPORT memory_allocator : public mutex {
public:
    // Limit of the page table; page numbers are 16-bit.
    static constexpr unsigned max_pages = 65534;

    // default_page_size: size of a normal page (0 means 65536).
    // growth: elements added per growth by alloc_on_heap (0 means 1000).
    explicit memory_allocator(unsigned default_page_size = 65536, unsigned growth = 1000);
    memory_allocator(const memory_allocator&) = delete;
    memory_allocator& operator=(const memory_allocator&) = delete;
    // Frees every page and the page table.
    ~memory_allocator() override;

    virtual unsigned get_page_count();
    // Returns: the bytes handed out by alloc_on_page (UINT32_MAX when more).
    virtual unsigned get_alloc_count();
    virtual unsigned get_default_page_size();
    // Returns: the size of `page`; 0 for a page number not below the
    //     page count.
    virtual unsigned get_page_size(unsigned short page);

    // Appends one zeroed element to a caller-owned array `buffer` of
    // `capacity` elements of which `count` are used, growing it by
    // `growth` elements (0: the allocator's growth) when it is full. The
    // caller frees the buffer with free().
    // Returns: the new element, with count incremented; null when memory
    //     fails, the element size is 0, or the array would pass 2^32
    //     elements or 16 GiB (traced; everything is then unchanged).
    virtual void* alloc_on_heap(unsigned& capacity, unsigned& count, unsigned element_size, void*& buffer,
                                unsigned growth);

    // Hands out `size` zeroed bytes and reports where they are.
    // Returns: the block, owned by the allocator; null when the page limit
    //     is reached or memory fails (traced).
    virtual void* alloc_on_page(unsigned size, unsigned short& page, unsigned& offset);

    // Returns: the address of `offset` in `page`; null for a page number
    //     not below the page count or an offset not below the default
    //     page size.
    virtual void* get_ptr(unsigned short page, unsigned offset);

private:
    struct page_entry {
        uint8_t* base;  // calloc-ed, owned
        unsigned used;  // bytes handed out from the start of the page
        unsigned size;  // the page's size in bytes
    };

    // One more than the largest block that still fits `entry` under the
    // placement rule (used + size <= default page size); 0 when none does,
    // as for a page larger than the default size.
    uint64_t room(const page_entry& entry) const {
        return entry.used <= default_page_size_ ? uint64_t(default_page_size_) - entry.used + 1 : 0;
    }
    // Returns: the lowest page with at least `size` free bytes, or -1.
    int find_page(unsigned size) const;
    // Records the free bytes of page `index` in the placement tree.
    void update_tree(unsigned index);
    // Makes the placement tree cover `pages` pages. Returns: false when
    //     memory fails.
    bool grow_tree(unsigned pages);

    unsigned page_count_ = 0;        // used entries of pages_
    unsigned page_capacity_ = 0;     // entries allocated in pages_
    page_entry* pages_ = nullptr;    // malloc-ed page table, owned
    uint64_t allocated_ = 0;         // total bytes handed out by alloc_on_page
    unsigned default_page_size_;
    unsigned growth_;
    // Placement tree: a binary heap of 2 * tree_leaves_ maxima of room();
    // leaf i (at tree_leaves_ + i) is page i, 0 past the last page.
    uint64_t* tree_ = nullptr;       // calloc-ed, owned; null until the first page
    unsigned tree_leaves_ = 0;       // a power of two, 0 until the first page
};

}  // namespace kiv

#endif
