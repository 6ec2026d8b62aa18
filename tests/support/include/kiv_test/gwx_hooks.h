// gwx_hooks.h --
//
//     Controls of gwx_map_driver for the project's tests (offered by the
//     library at load, host_offer.h; not exported).

#ifndef KIV_TEST_GWX_HOOKS_H
#define KIV_TEST_GWX_HOOKS_H

#include "gwx_control.h"
#include <kiv/gwx/i_gwx_driver.h>
#include <kiv/image/i_image.h>

// A new driver whose control comes from `factory` (null: the stand-in),
// with its initialisation run (maps from KIV_GWX_MAPS_PATH as the
// library entry would); *init_ok receives its result when not null.
// Returns: the driver with one reference for the caller.
kiv::i_gwx_driver* kiv_gwx_test_create_driver(kiv::gwx_control_factory factory, bool* init_ok);

// What the library entry does once kiv_gis is loaded: finds "svc_gis",
// creates and initialises the driver, and registers it when that works.
// Returns: false when the service is missing or memory fails.
bool kiv_gwx_test_register_driver();

// Reads a snapshot file as the renderer does.
// Returns: the picture (one reference for the caller), or null when the
//     file is not a 24-bit bottom-up bitmap of exactly width × height.
kiv::i_image* kiv_gwx_test_read_snapshot(const char* path, unsigned width, unsigned height);

#endif
