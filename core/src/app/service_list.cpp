// service_list.cpp --
//
//     The services the core registers itself, one line per service, in
//     the order they must be created. Each library that owns a service
//     adds its line here; the registry keeps each new object's only
//     reference (a new object starts with count 0).

#include "app/core.h"
#include "app/core_state.h"
#include "crypto/encryptor.h"
#include "crypto/md5_encoder.h"
#include "net/socket_service.h"
#include "script/script_service.h"
#include "text/translator.h"
#include "xml/xml_proc.h"

#include <kiv/core/event_proc.h>
#include <kiv/core/string_proc.h>

namespace kiv {

// Registered by kiv_initialize: the services that need no thread. Their
// order: "svc_xml", "svc_md5_encoder", "svc_string", "svc_encrypt".
void register_initial_services(core& c) {
    c.register_service(new xml_proc, "svc_xml");
    c.register_service(new md5_encoder, "svc_md5_encoder");
    c.register_service(new string_proc, "svc_string");
    c.register_service(new encryptor, "svc_encrypt");
}

// Registered by the core's library entry, before the core's threads
// start. Their order: "svc_event", "svc_script", "svc_translator",
// "svc_socket".
void register_entry_services(core& c) {
    c.register_service(new event_proc, "svc_event");
    c.register_service(new script_service, "svc_script");
    c.register_service(new translator, "svc_translator");
    c.register_service(new socket_service, "svc_socket");
}

}  // namespace kiv
