// array_object.h --
//
//     Block-shared reference counting for objects made in large numbers
//     (XML nodes above all): one array allocation holds n objects of one
//     class, one count shared by the whole block counts the references
//     to all of them, and the block is freed as a whole when that count
//     reaches 0. An element's addref and release therefore report the
//     block's count, not a count of the element's own.
//
//     The maker of a block (array_object_make_block) holds one reference
//     per element; it hands an element out with personal_construct, which
//     adds a reference for the receiver, and gives its own n references
//     up by releasing every element once when it no longer needs the block.
//
//     A block made with a mutex may be shared between threads; its counts
//     change under that one mutex, and personal_destruct runs outside it.
//     A block without a mutex is used by one thread at a time. The
//     process-wide object mutex plays no part here.

#ifndef KIV_CORE_SRC_ARRAY_OBJECT_H
#define KIV_CORE_SRC_ARRAY_OBJECT_H

#include <kiv/core/i_object.h>
#include <kiv/core/mutex.h>

#include <new>

namespace kiv {

template <class T>
class array_object_impl : public virtual i_object {
public:
    array_object_impl() = default;
    array_object_impl(const array_object_impl&) = delete;
    array_object_impl& operator=(const array_object_impl&) = delete;
    virtual ~array_object_impl() = default;

    // Ties the element to its block: the shared count, the block's first
    // element and the shared mutex (null: a block without locking). An
    // element counts nothing until this is done.
    virtual void construct(unsigned* block_count, T* block, mutex* block_mutex) {
        block_count_ = block_count;
        block_ = block;
        mutex_ = block_mutex;
    }
    // Hands the element to a receiver: adds one reference. Element
    // classes may use the argument; this base ignores it.
    virtual void personal_construct(void* arg) {
        (void)arg;
        addref();
    }
    // Called, outside the block's mutex, when the personal count of an
    // element that keeps one drops to 0. Does nothing here.
    virtual void personal_destruct() {}

    // Returns: the block count after the increment (0 before construct).
    int addref() override {
        if (block_count_ == nullptr)
            return 0;
        mutex_locker lock(mutex_);
        unsigned count = ++*block_count_;
        if (personal_count_ != 0)
            ++personal_count_;
        return static_cast<int>(count);
    }

    // Drops one reference of the block; the last one destroys every
    // element and frees the block, this element included.
    // Returns: the block count after the decrement (0 once freed).
    int release() override {
        unsigned* count_ptr = block_count_;
        if (count_ptr == nullptr)
            return 0;
        mutex* block_mutex = mutex_;
        if (block_mutex != nullptr)
            block_mutex->lock();
        if (personal_count_ != 0 && --personal_count_ == 0) {
            if (block_mutex != nullptr)
                block_mutex->unlock();
            personal_destruct();
            if (block_mutex != nullptr)
                block_mutex->lock();
        }
        unsigned count = --*count_ptr;
        if (block_mutex != nullptr)
            block_mutex->unlock();
        if (count != 0)
            return static_cast<int>(count);
        T* block = block_;
        delete count_ptr;
        delete block_mutex;
        delete[] block;
        return 0;
    }

    // Answers no name, as object does.
    bool get_interface(const char* name, void** out) override {
        (void)name;
        if (out != nullptr)
            *out = nullptr;
        return false;
    }

protected:
    unsigned* block_count_ = nullptr;  // shared by the block, owned by it; null before construct
    T* block_ = nullptr;               // first element of the block's array allocation
    mutex* mutex_ = nullptr;           // shared by the block, owned by it; null: no locking
    unsigned personal_count_ = 0;      // 0: the element keeps no count of its own
};

// The base of every element class: an event handler whose i_object
// operations are those of array_object_impl.
template <class T>
class array_object : public i_event_handler, public array_object_impl<T> {};

// Makes a block of n default-constructed elements tied together, with a
// shared mutex when `locked` is set. The caller holds one reference per
// element and gives them up by releasing each element once.
// Returns: the first element, or null for n 0 or when memory fails.
template <class T>
T* array_object_make_block(unsigned n, bool locked) {
    if (n == 0)
        return nullptr;
    T* block = new (std::nothrow) T[n];
    unsigned* count = new (std::nothrow) unsigned(n);
    mutex* block_mutex = locked ? new (std::nothrow) mutex : nullptr;
    if (block == nullptr || count == nullptr || (locked && block_mutex == nullptr)) {
        delete[] block;
        delete count;
        delete block_mutex;
        return nullptr;
    }
    for (unsigned i = 0; i < n; ++i)
        block[i].construct(count, block, block_mutex);
    return block;
}

}  // namespace kiv

#endif
