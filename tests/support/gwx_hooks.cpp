// gwx_hooks.cpp --
//
//     gwx_map_driver's controls (gwx_hooks.h) through what it offered.

#include <kiv_test/gwx_hooks.h>
#include <kiv_test/host_controls.h>

#include <utility>

using kiv_test::control;

namespace {
const char library[] = "gwx_map_driver";
}  // namespace

kiv::i_gwx_driver* kiv_gwx_test_create_driver(kiv::gwx_control_factory factory, bool* init_ok) {
    auto create = control<kiv::i_gwx_driver*(kiv::gwx_control_factory, bool*)>("gwx.create_driver", library);
    return create(std::move(factory), init_ok);
}

bool kiv_gwx_test_register_driver() {
    return control<bool()>("gwx.register_driver", library)();
}

kiv::i_image* kiv_gwx_test_read_snapshot(const char* path, unsigned width, unsigned height) {
    return control<kiv::i_image*(const char*, unsigned, unsigned)>("gwx.read_snapshot", library)(path, width, height);
}
