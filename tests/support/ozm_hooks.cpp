// ozm_hooks.cpp --
//
//     gis_ozm_driver's controls (ozm_hooks.h) through what it offered.

#include <kiv_test/host_controls.h>
#include <kiv_test/ozm_hooks.h>

bool kiv_ozm_test_start() {
    return kiv_test::control<bool()>("ozm.start", "gis_ozm_driver")();
}
