// service_ref.h --
//
//     The one way to look a service up and cast it to the interface the
//     caller uses, holding the lookup's reference in the result:
//
//         auto_ptr_t<kiv::i_xml_proc> xml = kiv::service_ref("svc_xml", kiv_cast_i_xml_proc);
//         if (xml)
//             xml->...;
//
//     The reference keeps the service alive while the holder lives, even
//     when it is unregistered meanwhile; a caller that must not end up
//     holding a service's last reference drops the holder before it
//     could.

#ifndef KIV_CORE_SERVICE_REF_H
#define KIV_CORE_SERVICE_REF_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>

namespace kiv {

// Looks up the service registered as `svc_type` and casts it with `cast`,
// one of the kiv_cast_ functions.
// Returns: the interface with one reference for the holder, or empty
//     without a core, without such a service or when the service does
//     not answer the interface (the lookup's reference is then dropped).
//     Any thread.
template <class T>
auto_ptr_t<T> service_ref(const char* svc_type, T* (*cast)(i_object*)) {
    auto_ptr_t<i_object> found(find_service(svc_type));
    T* typed = found ? cast(found.get()) : nullptr;
    if (typed == nullptr)
        return auto_ptr_t<T>();
    // Every interface of an object shares its one count: the lookup's
    // reference goes over to the typed holder as it is.
    found.detach();
    return auto_ptr_t<T>(typed);
}

}  // namespace kiv

#endif
