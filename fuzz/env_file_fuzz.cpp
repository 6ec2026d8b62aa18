// env_file_fuzz.cpp --
//
//     Applies any bytes as an environment file of KEY=VALUE lines through
//     kiv_load_environment, then changes the file to a second text and
//     has the watcher apply it again, as it does once a second. The input
//     holds both texts, split at its first zero byte. The file is read
//     whole and every change must be applied: a watched file whose time
//     moved is applied exactly once per pass. The environment is put back
//     after each input.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/config.h>
#include <kiv/core/i_core.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

std::string env_path;          // the one environment file, rewritten per input
int64_t file_time = 1000000;   // modification times handed out, one per write

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    env_path = start_framework({}) + "/fuzz.env";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 16))
        return 0;
    const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    size_t first = zero != nullptr ? size_t(zero - data) : size;
    const uint8_t* second = zero != nullptr ? zero + 1 : data + size;
    size_t second_size = size_t(data + size - second);

    environment_guard guard;
    write_file(env_path, data, first, ++file_time);
    check(kiv_load_environment(env_path.c_str()));
    auto_ptr_t<kiv::i_object> service(kiv_core()->get_service("env_config_reloader"));
    kiv::env_config_reloader* reloader = kiv_cast_env_config_reloader(service);
    check(reloader != nullptr && reloader->get_file_count() == 1);
    // A file watched already keeps the time the watcher last saw, so the
    // first pass may apply it again; after that, nothing changed.
    reloader->check_files();
    check(reloader->check_files() == 0);
    write_file(env_path, second, second_size, ++file_time);
    check(reloader->check_files() == 1);
    guard.restore();
    return 0;
}
