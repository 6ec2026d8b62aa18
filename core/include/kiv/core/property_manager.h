// property_manager.h --
//
//     The reusable implementation of i_property_manager, which services,
//     servers, sessions and clients embed, and the stand-alone object
//     that kiv_create_property_manager makes. Both maps are ordered by
//     ASCII case-insensitive name and guarded by one mutex; stored
//     objects are released after that mutex is dropped, so an object's
//     destructor may use the manager again.

#ifndef KIV_CORE_PROPERTY_MANAGER_H
#define KIV_CORE_PROPERTY_MANAGER_H

#include <kiv/core/ascii_case.h>
#include <kiv/core/i_property_manager.h>
#include <kiv/core/mutex.h>
#include <kiv/core/object.h>

#include <map>
#include <string>

namespace kiv {

class KIV_EXPORT i_property_manager_impl : public virtual i_property_manager {
public:
    i_property_manager_impl() = default;
    i_property_manager_impl(const i_property_manager_impl&) = delete;
    i_property_manager_impl& operator=(const i_property_manager_impl&) = delete;
    // Releases every stored object.
    virtual ~i_property_manager_impl();

    bool set_object(const char* name, i_object* obj) override;
    i_object* get_object(const char* name) override;
    i_object_col* get_objects() override;
    const char* get_property(const char* name) override;
    bool set_property(const char* name, const char* value) override;
    i_object_col* get_properties() override;

private:
    // The key keeps the name as first set; later sets that differ only
    // in case reuse the entry.
    std::map<std::string, i_object*, ascii_iless> objects_;     // one reference per object
    std::map<std::string, std::string, ascii_iless> properties_;
    mutex lock_;                                                 // guards both maps
};

class KIV_EXPORT property_manager : public object, public i_property_manager_impl {
public:
    property_manager() = default;
    bool get_interface(const char* name, void** out) override;
};

}  // namespace kiv

#endif
