// script_bench.cpp --
//
//     One use of a script engine (fetch the thread's engine, run a small
//     script, release it, which cleans it for the next user) against the
//     same script through a bare Tcl_Eval in one interpreter, printed as
//     a ratio, once both gave the same result. The difference is what the
//     engine's per-use cleaning and preamble cost.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/core/i_script.h>

#include "../core/src/script/script_service.h"
#include "ratio_main.h"

#include <benchmark/benchmark.h>
#include <tcl.h>

#include <string>

namespace {

const char small_script[] = "set total 0; foreach n {1 2 3 4 5} { incr total $n }; set total";

kiv::script_service* service = nullptr;  // borrowed from the core's registry

void bm_engine_use(benchmark::State& state) {
    for (auto _ : state) {
        auto_ptr_t<kiv::i_script_engine> engine(service->get_script_engine());
        if (!engine || !engine->execute_text(small_script)) {
            state.SkipWithError("the engine failed");
            break;
        }
    }
}

void bm_bare_tcl_eval(benchmark::State& state) {
    Tcl_Interp* interp = Tcl_CreateInterp();
    for (auto _ : state) {
        if (Tcl_Eval(interp, small_script) != TCL_OK) {
            state.SkipWithError("Tcl_Eval failed");
            break;
        }
    }
    Tcl_DeleteInterp(interp);
}

BENCHMARK(bm_engine_use);
BENCHMARK(bm_bare_tcl_eval);

// Both run the script to the same result.
void check_results() {
    std::string ours = "<failed>";
    {
        auto_ptr_t<kiv::i_script_engine> engine(service->get_script_engine());
        if (engine && engine->execute_text(small_script))
            ours = engine->get_error();  // the interpreter's result text
    }
    std::string theirs = "<failed>";
    Tcl_Interp* interp = Tcl_CreateInterp();
    if (Tcl_Eval(interp, small_script) == TCL_OK)
        theirs = Tcl_GetStringResult(interp);
    Tcl_DeleteInterp(interp);
    kiv_bench::check(ours == theirs && ours == "15", "script result (" + ours + ", " + theirs + ")");
}

}  // namespace

int main(int argc, char** argv) {
    if (!kiv_initialize())
        return 1;
    int result;
    {
        // Loaded as a host's configuration loads it: the entry registers
        // the services and the script service binds the core's package.
        std::string lib = std::string(KIV_BIN_DIR) + "/kiv_core.so";
        kiv_core()->load_library(lib.c_str());
        auto_ptr_t<kiv::i_object> svc(kiv_core()->get_service("svc_script"));
        service = kiv_cast_script_service(svc);
        if (service == nullptr)
            return 1;
        result = kiv_bench::run_with_ratios(
            argc, argv, {{"engine use vs bare Tcl_Eval", "bm_engine_use", "bm_bare_tcl_eval"}}, check_results);
        service = nullptr;
    }
    kiv_terminate();
    return result;
}
