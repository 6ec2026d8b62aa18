// property_manager.cpp --
//
//     Named properties and objects under one mutex.

#include <kiv/core/object_col.h>
#include <kiv/core/property_manager.h>
#include <kiv/core/string_impl.h>

namespace kiv {

namespace {
const char empty_text[] = "";

// A new named string with one reference, added to `col` (which then
// holds the only one).
void add_named(object_col* col, const std::string& name, const char* value) {
    named_string* entry = new named_string(name.c_str(), value);
    col->add_item(static_cast<i_named_string*>(entry), false);
}
}  // namespace

i_property_manager_impl::~i_property_manager_impl() {
    for (auto& entry : objects_)
        entry.second->release();
}

bool i_property_manager_impl::set_object(const char* name, i_object* obj) {
    if (name == nullptr)
        return false;
    i_object* dropped = nullptr;
    if (obj != nullptr)
        obj->addref();
    {
        mutex_locker lock(&lock_);
        auto it = objects_.find(name);
        if (obj != nullptr) {
            if (it != objects_.end()) {
                dropped = it->second;
                it->second = obj;
            } else {
                objects_.emplace(name, obj);
            }
        } else if (it != objects_.end()) {
            dropped = it->second;
            objects_.erase(it);
        }
    }
    if (dropped != nullptr)
        dropped->release();
    return true;
}

i_object* i_property_manager_impl::get_object(const char* name) {
    if (name == nullptr)
        return nullptr;
    mutex_locker lock(&lock_);
    auto it = objects_.find(name);
    if (it == objects_.end())
        return nullptr;
    it->second->addref();
    return it->second;
}

i_object_col* i_property_manager_impl::get_objects() {
    object_col* col = new object_col();
    col->addref();
    mutex_locker lock(&lock_);
    col->reserve(static_cast<unsigned>(objects_.size()));
    for (const auto& entry : objects_)
        add_named(col, entry.first, "");
    return col;
}

const char* i_property_manager_impl::get_property(const char* name) {
    if (name == nullptr)
        return empty_text;
    mutex_locker lock(&lock_);
    auto it = properties_.find(name);
    return it != properties_.end() ? it->second.c_str() : empty_text;
}

bool i_property_manager_impl::set_property(const char* name, const char* value) {
    if (name == nullptr || value == nullptr)
        return false;
    mutex_locker lock(&lock_);
    auto it = properties_.find(name);
    if (it != properties_.end())
        it->second = value;
    else if (*value != '\0')
        properties_.emplace(name, value);
    return true;
}

i_object_col* i_property_manager_impl::get_properties() {
    object_col* col = new object_col();
    col->addref();
    mutex_locker lock(&lock_);
    col->reserve(static_cast<unsigned>(properties_.size()));
    for (const auto& entry : properties_)
        add_named(col, entry.first, entry.second.c_str());
    return col;
}

bool property_manager::get_interface(const char* name, void** out) {
    if (answer_interface(name, "i_property_manager", static_cast<i_property_manager*>(this), out))
        return true;
    return object::get_interface(name, out);
}

}  // namespace kiv

kiv::i_property_manager* kiv_cast_i_property_manager(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_property_manager>(obj, "i_property_manager");
}

kiv::property_manager_object* kiv_cast_property_manager_object(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::property_manager_object>(obj, "property_manager_object");
}

kiv::i_property_manager* kiv_create_property_manager() {
    kiv::property_manager* manager = new kiv::property_manager();
    manager->addref();
    return manager;
}
