// object_col.h --
//
//     The collection classes. Every operation but get_count holds the
//     collection's own recursive mutex; references of removed entries are
//     released after that lock is dropped, so no object is destroyed
//     under it. add_col locks this collection, then the other one.

#ifndef KIV_CORE_OBJECT_COL_H
#define KIV_CORE_OBJECT_COL_H

#include <kiv/core/i_object_col.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>
#include <kiv/core/string_impl.h>

#include <atomic>
#include <vector>

namespace kiv {

class object_col;

class KIV_EXPORT object_col_impl : public mutex, public virtual i_object_col {
public:
    object_col_impl() = default;
    // Clears the list (releasing every entry).
    virtual ~object_col_impl();

    unsigned get_count() override { return count_.load(std::memory_order_acquire); }
    i_object* get_item_by_pos(unsigned pos) override;
    i_object* get_item_by_id(int64_t id) override;
    i_object* get_item_by_name(const char* name) override;

    // Appends `obj` with a reference; with `unique` an object already
    // present is not added again. Null and the collection itself are
    // ignored.
    virtual void add_item(i_object* obj, bool unique);
    // Removes the first entry holding `obj`.
    virtual void remove_item(i_object* obj);
    // Inserts `obj` before `pos` (appends when pos >= count); null and
    // the collection itself are ignored.
    virtual void insert_item(i_object* obj, unsigned pos);
    // Empties the list; entries are released in list order after the
    // lock is dropped.
    virtual void clear();
    // Returns: the index of the first entry holding `obj`, -1 when absent.
    virtual int get_item_pos(i_object* obj);
    // Returns: the index of the first entry named `name`, -1 when absent.
    virtual int get_item_pos(const char* name);
    // Returns: a new collection of the same entries (each with one more
    //     reference), with one reference for the caller.
    virtual object_col* copy();
    // Appends every item of `col` (unique: skip those already present).
    virtual void add_col(i_object_col* col, bool unique);
    // Makes room for `count` entries. Returns: true.
    virtual bool reserve(unsigned count);
    // Empties the list, moving every entry with its reference into `out`
    // (replacing what it held), for an owner that releases them itself.
    void take_items(std::vector<i_object*>& out);

private:
    void sync_count() { count_.store(static_cast<unsigned>(items_.size()), std::memory_order_release); }

    std::vector<i_object*> items_;   // one reference per entry; guarded by the mutex
    std::atomic<unsigned> count_{0}; // items_.size(), readable without the lock
};

class KIV_EXPORT object_col : public object, public object_col_impl {
public:
    object_col() = default;
    bool get_interface(const char* name, void** out) override;
};

class KIV_EXPORT object_col_x : public object_col, public i_named_object_impl, public virtual i_object_col_x {
public:
    object_col_x() = default;
    using object_col_impl::add_item;
    void add_item(i_object* obj) override { object_col_impl::add_item(obj, false); }
    void remove_item(i_object* obj) override { object_col_impl::remove_item(obj); }
    bool reserve(unsigned count) override { return object_col_impl::reserve(count); }
    bool get_interface(const char* name, void** out) override;
};

}  // namespace kiv

#endif
