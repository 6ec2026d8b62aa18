// object_col.cpp --
//
//     The collection: a vector of references under a recursive mutex.

#include <kiv/core/object_col.h>

#include <cstring>
#include <new>

namespace kiv {

namespace {
// The most entries reserve makes room for (128 MB of pointers).
const unsigned max_reserve = 16777216;
}  // namespace

object_col_impl::~object_col_impl() {
    clear();
}

i_object* object_col_impl::get_item_by_pos(unsigned pos) {
    mutex_locker lock(this);
    if (pos >= items_.size())
        return nullptr;
    i_object* item = items_[pos];
    item->addref();
    return item;
}

i_object* object_col_impl::get_item_by_id(int64_t id) {
    mutex_locker lock(this);
    for (i_object* item : items_) {
        i_typed_object* typed = cast_interface<i_typed_object>(item, "i_typed_object");
        if (typed != nullptr && typed->get_id() == id) {
            item->addref();
            return item;
        }
    }
    return nullptr;
}

i_object* object_col_impl::get_item_by_name(const char* name) {
    if (name == nullptr)
        return nullptr;
    mutex_locker lock(this);
    int pos = get_item_pos(name);
    if (pos < 0)
        return nullptr;
    i_object* item = items_[pos];
    item->addref();
    return item;
}

void object_col_impl::add_item(i_object* obj, bool unique) {
    if (obj == nullptr)
        return;
    // A collection that held itself would keep itself alive for ever.
    if (obj == static_cast<i_object*>(this))
        return;
    obj->addref();
    bool added = false;
    try {
        mutex_locker lock(this);
        if (!unique || get_item_pos(obj) < 0) {
            items_.push_back(obj);
            sync_count();
            added = true;
        }
    } catch (...) {
        obj->release();  // the list could not grow: the reference goes back
        throw;
    }
    if (!added)
        obj->release();
}

void object_col_impl::remove_item(i_object* obj) {
    if (obj == nullptr)
        return;
    {
        mutex_locker lock(this);
        int pos = get_item_pos(obj);
        if (pos < 0)
            return;
        items_.erase(items_.begin() + pos);
        sync_count();
    }
    obj->release();
}

void object_col_impl::insert_item(i_object* obj, unsigned pos) {
    if (obj == nullptr || obj == static_cast<i_object*>(this))
        return;
    obj->addref();
    try {
        mutex_locker lock(this);
        if (pos >= items_.size())
            items_.push_back(obj);
        else
            items_.insert(items_.begin() + pos, obj);
        sync_count();
    } catch (...) {
        obj->release();
        throw;
    }
}

void object_col_impl::clear() {
    std::vector<i_object*> moved;
    {
        mutex_locker lock(this);
        moved.swap(items_);
        sync_count();
    }
    for (i_object* item : moved)
        item->release();
}

void object_col_impl::take_items(std::vector<i_object*>& out) {
    out.clear();
    mutex_locker lock(this);
    out.swap(items_);
    sync_count();
}

int object_col_impl::get_item_pos(i_object* obj) {
    if (obj == nullptr)
        return -1;
    mutex_locker lock(this);
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i] == obj)
            return static_cast<int>(i);
    return -1;
}

int object_col_impl::get_item_pos(const char* name) {
    if (name == nullptr)
        return -1;
    mutex_locker lock(this);
    for (size_t i = 0; i < items_.size(); ++i) {
        i_named_object* named = cast_interface<i_named_object>(items_[i], "i_named_object");
        if (named == nullptr)
            continue;
        const char* item_name = named->get_name();
        if (item_name != nullptr && std::strcmp(item_name, name) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

object_col* object_col_impl::copy() {
    object_col* result = new object_col();
    result->addref();
    mutex_locker lock(this);
    result->reserve(static_cast<unsigned>(items_.size()));
    for (i_object* item : items_)
        result->add_item(item, false);
    return result;
}

void object_col_impl::add_col(i_object_col* col, bool unique) {
    if (col == nullptr)
        return;
    // The other collection is read before this one is locked: holding
    // both at once would let two threads adding each collection to the
    // other wait for each other for good.
    std::vector<i_object*> incoming;
    unsigned count = col->get_count();
    incoming.reserve(count);
    for (unsigned pos = 0; pos < count; ++pos)
        if (i_object* item = col->get_item_by_pos(pos))
            incoming.push_back(item);
    std::vector<i_object*> refused;
    {
        mutex_locker lock(this);
        for (i_object* item : incoming) {
            if (unique && get_item_pos(item) >= 0) {
                refused.push_back(item);
                continue;
            }
            items_.push_back(item);
        }
        sync_count();
    }
    for (i_object* item : refused)
        item->release();
}

bool object_col_impl::reserve(unsigned count) {
    // Room is only a hint: a count no collection could reach (scripts
    // pass any number) is refused rather than tried.
    if (count > max_reserve)
        return false;
    mutex_locker lock(this);
    try {
        items_.reserve(count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool object_col::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_object_col", static_cast<i_object_col*>(this), out))
        return true;
    return object::get_interface(name, out);
}

bool object_col_x::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_object_col_x", static_cast<i_object_col_x*>(this), out) ||
        answer_interface(name, "i_named_object", static_cast<i_named_object*>(this), out))
        return true;
    return object_col::get_interface(name, out);
}

}  // namespace kiv

kiv::i_object_col* kiv_cast_i_object_col(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_object_col>(obj, "i_object_col");
}

kiv::i_object_col_x* kiv_cast_i_object_col_x(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_object_col_x>(obj, "i_object_col_x");
}

kiv::i_object_col_x* kiv_create_col() {
    kiv::object_col_x* col = new kiv::object_col_x();
    col->addref();
    return col;
}
