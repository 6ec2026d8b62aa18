// ozm_hooks.h --
//
//     Controls of gis_ozm_driver for the project's tests (offered by the
//     library at load, host_offer.h; not exported).

#ifndef KIV_TEST_OZM_HOOKS_H
#define KIV_TEST_OZM_HOOKS_H

// Runs the library entry's work after kiv_gis is in place: reads
// KIV_OZM_MAPS_PATH and KIV_OZM_RENDER_CONFIG_PATH, creates the driver
// and adds it to "svc_gis" (which the test has registered itself).
// Returns: what kiv_library_initialized reports afterwards.
bool kiv_ozm_test_start();

#endif
