// host_offer.h --
//
//     How a library hands controls of its insides (driven clocks, thread
//     counters, lowered caps) to the program that hosts it, without
//     exporting them: at load the library offers each control by name to
//     kiv_host_offer, a function the host program defines and exports
//     when it wants them. Only the project's test programs do (through
//     their support library, tests/support); in every other program the
//     weak reference stays null and nothing is offered, so the shipped
//     libraries carry no entry point of this kind.
//
//         void set_cap(uint64_t cap) { ... }
//         const bool offered = kiv::offer_to_host("zip.memory_cap", &set_cap);

#ifndef KIV_CORE_HOST_OFFER_H
#define KIV_CORE_HOST_OFFER_H

// Defined (and exported) by a host program that takes the controls; a
// weak reference here, null in every other program. Default visibility:
// a hidden weak reference would be settled (as null) when the library is
// linked.
extern "C" __attribute__((weak, visibility("default"))) void kiv_host_offer(const char* name, void* control);

namespace kiv {

// Offers the function `control` under `name` when the host takes
// controls. Returns: true (for use in a namespace-scope initialiser).
template <class Function>
bool offer_to_host(const char* name, Function* control) {
    if (kiv_host_offer != nullptr)
        kiv_host_offer(name, reinterpret_cast<void*>(control));
    return true;
}

}  // namespace kiv

#endif
