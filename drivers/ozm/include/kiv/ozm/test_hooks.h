// test_hooks.h --
//
//     Hooks for the project's own tests of gis_ozm_driver, exported so
//     test programs can reach them. Nothing else calls them.

#ifndef KIV_OZM_TEST_HOOKS_H
#define KIV_OZM_TEST_HOOKS_H

#include <kiv/core/export.h>

// Runs the library entry's work after kiv_gis is in place: reads
// KIV_OZM_MAPS_PATH and KIV_OZM_RENDER_CONFIG_PATH, creates the driver
// and adds it to "svc_gis" (which the test has registered itself).
// Returns: what kiv_library_initialized reports afterwards.
KIV_EXTERN_C bool kiv_ozm_test_start();

#endif
