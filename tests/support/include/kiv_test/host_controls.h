// host_controls.h --
//
//     The test programs' side of host_offer.h: the libraries offer their
//     controls by name when they load, and the support library keeps
//     them. The hooks headers beside this one wrap them as functions.

#ifndef KIV_TEST_HOST_CONTROLS_H
#define KIV_TEST_HOST_CONTROLS_H

namespace kiv_test {

// Returns: the control offered under `name` (as the function pointer of
//     type Function it was offered as). A name no loaded library offered
//     ends the program with a message: the library is missing or was
//     built without it.
void* host_control(const char* name);

template <class Function>
Function* control(const char* name) {
    return reinterpret_cast<Function*>(host_control(name));
}

}  // namespace kiv_test

#endif
