// array_object_factory.h --
//
//     Hands out block-counted elements (array_object.h) one at a time
//     while making them a block at a time, so that classes made in large
//     numbers (XML nodes) cost one allocation per block. The factory
//     holds the maker's reference on every element it has not handed out
//     yet, and gives up an element's one as it hands the element over:
//     an element's life is then its receivers' alone, so a released tree
//     of nodes dies at once instead of waiting for the rest of its block
//     to be handed out. A block's storage returns when every element has
//     been handed out (or the factory has gone) and the last one has died.

#ifndef KIV_CORE_SRC_ARRAY_OBJECT_FACTORY_H
#define KIV_CORE_SRC_ARRAY_OBJECT_FACTORY_H

#include "object/array_object.h"
#include <kiv/core/mutex.h>

namespace kiv {

template <class T>
class array_object_factory : public mutex {
public:
    // block_size: elements per allocation (0 counts as 1); locked_blocks:
    // give every block a shared mutex, so its elements may be shared
    // between threads.
    array_object_factory(unsigned block_size, bool locked_blocks)
        : block_size_(block_size != 0 ? block_size : 1), locked_blocks_(locked_blocks) {}
    array_object_factory(const array_object_factory&) = delete;
    array_object_factory& operator=(const array_object_factory&) = delete;
    // Gives up the maker's references on the elements not handed out.
    ~array_object_factory() override {
        mutex_locker lock(this);
        // The block's count stays above 0 until the last of these
        // releases (unless nothing else holds the block), so the loop
        // never touches freed storage.
        for (unsigned i = next_; block_ != nullptr && i < block_size_; ++i)
            block_[i].release();
        block_ = nullptr;
    }

    // Returns: the next element, handed over through personal_construct
    //     (`arg` is passed on) with one reference for the caller; null
    //     when memory fails. Safe from any thread.
    T* create(void* arg) {
        T* element;
        {
            mutex_locker lock(this);
            if (block_ == nullptr) {
                block_ = array_object_make_block<T>(block_size_, locked_blocks_);
                next_ = 0;
                if (block_ == nullptr)
                    return nullptr;
            }
            element = &block_[next_++];
            element->personal_construct(arg);
            element->release();  // the maker's reference; the receiver's stays
            if (next_ == block_size_)
                block_ = nullptr;  // every element handed out: the block is theirs
        }
        return element;
    }

private:
    const unsigned block_size_;  // elements per block, at least 1
    const bool locked_blocks_;   // each block gets its shared mutex
    T* block_ = nullptr;         // the block being handed out; null: none yet
    unsigned next_ = 0;          // index of the next element of block_
};

}  // namespace kiv

#endif
