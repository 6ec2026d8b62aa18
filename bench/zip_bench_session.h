// zip_bench_session.h --
//
//     The frame of the benchmarks that time "svc_zip" (archive_bench,
//     zip_names_bench): the framework started on a temporary root of the
//     run's own, the program standing in for kiv_zip's library entry, the
//     service held for the whole run, and the root removed before the
//     framework stops (kiv_rmdir needs it running).

#ifndef KIV_BENCH_ZIP_BENCH_SESSION_H
#define KIV_BENCH_ZIP_BENCH_SESSION_H

#include <kiv/core/auto_ptr.h>
#include <kiv/core/env.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/core/library_protocol.h>
#include <kiv/core/log.h>
#include <kiv/zip/i_zip.h>

#include "ratio_main.h"

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace kiv_bench {

// The run's temporary root; empty outside run_zip_bench.
inline std::string& zip_root() {
    static std::string root;
    return root;
}

// "svc_zip", held from the library entry to shut-down; null outside
// run_zip_bench.
inline auto_ptr_t<kiv::i_object>& zip_object() {
    static auto_ptr_t<kiv::i_object> svc;
    return svc;
}

// Returns: the zip service (not owned), null outside run_zip_bench.
inline kiv::i_zip_service* zip() {
    return kiv_cast_i_zip_service(zip_object());
}

// Returns: the path of `name` in the run's temporary root.
inline std::string zip_path(const std::string& name) {
    return zip_root() + "/" + name;
}

// Starts the framework on a new folder kiv_`name`_XXXXXX under TMPDIR, takes
// "svc_zip", then runs the checks and benchmarks as run_with_ratios does;
// releases the service, removes the folder and stops the framework.
// Returns: the program's exit status (1 when the framework or the
//     service did not start).
inline int run_zip_bench(const std::string& name, int argc, char** argv, std::vector<ratio> ratios,
                         const std::function<void()>& checks, const std::function<void()>& after = nullptr) {
    std::string root = kiv_test::make_temp_folder(("kiv_" + name + "_").c_str());
    if (root.empty() || !kiv_set_env("KIV_ROOT_PATH", root.c_str()))
        return 1;
    zip_root() = root;
    kiv_enable_trace(false);
    if (!kiv_initialize())
        return 1;
    // The program lists kiv_zip before kiv_core: this is kiv_zip's entry.
    kiv_library_entry();
    zip_object().reset(kiv_core()->get_service("svc_zip"));
    int rc = 1;
    if (zip() != nullptr)
        rc = run_with_ratios(argc, argv, std::move(ratios), checks, after);
    zip_object().reset();
    kiv_rmdir(root.c_str(), true);
    zip_root().clear();
    kiv_terminate();
    return rc;
}

}  // namespace kiv_bench

#endif
