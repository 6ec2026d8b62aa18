// host_controls.h --
//
//     The test programs' side of host_offer.h: the libraries offer their
//     controls by name when they load, and the support library keeps
//     them. The hooks headers beside this one wrap them as functions.

#ifndef KIV_TEST_HOST_CONTROLS_H
#define KIV_TEST_HOST_CONTROLS_H

namespace kiv_test {

// Returns: the control offered under `name` (as the function pointer of
//     type Function it was offered as). When no library offered it yet,
//     the library `library` (a name such as "gwx_map_driver") is loaded
//     from the program's own folder, where the build puts every library,
//     and asked again: a program that calls a library only through its
//     controls is not linked to it. A name still missing ends the program
//     with a message.
void* host_control(const char* name, const char* library);

template <class Function>
Function* control(const char* name, const char* library) {
    return reinterpret_cast<Function*>(host_control(name, library));
}

}  // namespace kiv_test

#endif
