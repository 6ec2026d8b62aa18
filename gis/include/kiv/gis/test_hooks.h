// test_hooks.h --
//
//     Hooks for the project's own tests of kiv_gis, exported so that test
//     programs can reach them. Nothing else calls them.

#ifndef KIV_GIS_TEST_HOOKS_H
#define KIV_GIS_TEST_HOOKS_H

#include <kiv/core/export.h>
#include <kiv/gis/i_gis_service.h>

// A new service object of the kind registered as "svc_gis" (it reads
// KIV_GIS_DEFAULT_DRIVER now), so a test can register it with a core of
// its own or use it alone.
// Returns: the service with one reference for the caller.
KIV_EXTERN_C kiv::i_gis_service* kiv_gis_test_create_service();

#endif
