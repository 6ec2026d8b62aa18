// auto_ptr.h --
//
//     auto_ptr_t holds one reference to an object and releases it when it
//     goes out of scope. Built from a raw pointer it takes over the
//     reference that pointer carries (the one a creator or getter added
//     for its caller). Copying adds a reference, so a copy can never turn
//     into a double release.

#ifndef KIV_CORE_AUTO_PTR_H
#define KIV_CORE_AUTO_PTR_H

#include <utility>

template <class T>
class auto_ptr_t {
public:
    auto_ptr_t() = default;
    // Takes over the reference that p carries; adds none.
    explicit auto_ptr_t(T* p) : ptr_(p) {}
    auto_ptr_t(const auto_ptr_t& other) : ptr_(other.ptr_) {
        if (ptr_ != nullptr)
            ptr_->addref();
    }
    auto_ptr_t(auto_ptr_t&& other) noexcept : ptr_(other.ptr_) { other.ptr_ = nullptr; }
    auto_ptr_t& operator=(const auto_ptr_t& other) {
        if (this != &other) {
            if (other.ptr_ != nullptr)
                other.ptr_->addref();
            reset(other.ptr_);
        }
        return *this;
    }
    auto_ptr_t& operator=(auto_ptr_t&& other) noexcept {
        if (this != &other) {
            T* p = other.ptr_;
            other.ptr_ = nullptr;
            reset(p);
        }
        return *this;
    }
    virtual ~auto_ptr_t() { reset(); }

    // Releases the held object (if any) and takes over p's reference.
    void reset(T* p = nullptr) {
        T* old = ptr_;
        ptr_ = p;
        if (old != nullptr)
            old->release();
    }
    // Hands the held reference to the caller; the holder becomes empty.
    T* detach() {
        T* p = ptr_;
        ptr_ = nullptr;
        return p;
    }
    T* get() const { return ptr_; }
    T* operator->() const { return ptr_; }
    T& operator*() const { return *ptr_; }
    operator T*() const { return ptr_; }
    explicit operator bool() const { return ptr_ != nullptr; }

private:
    T* ptr_ = nullptr;  // owned reference; null when empty
};

#endif
