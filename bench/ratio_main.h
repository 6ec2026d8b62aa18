// ratio_main.h --
//
//     The shared end of every benchmark program: checks that ours and the
//     reference produce the same result, runs the registered benchmarks
//     and then prints one "ratio" line per comparison, our time over the
//     reference's, both measured in this one run (Debian's benchmark
//     library is a debug build, so only ratios mean anything).
//
//     A ratio is only worth printing when both sides did the same work,
//     so a program fails (exit status 1) when a result check finds them
//     apart or when a benchmark reports an error; bench/run_all relies on
//     it.

#ifndef KIV_BENCH_RATIO_MAIN_H
#define KIV_BENCH_RATIO_MAIN_H

#include <benchmark/benchmark.h>
#include <kiv_test/temp_folder.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <vector>

namespace kiv_bench {

// One comparison: the label printed, and the benchmark names of ours and
// the reference: either the full name the console shows
// ("bm_scale_ours/30") or its part before the first "/" when that is
// unique ("bm_pool_latency" for "bm_pool_latency/iterations:5000").
struct ratio {
    std::string label;
    std::string ours;
    std::string reference;
};

// Failures seen in this run (result checks, benchmark errors).
inline std::atomic<int>& failures() {
    static std::atomic<int> count{0};
    return count;
}

// Notes a failure and says why.
inline void fail(const std::string& why) {
    ++failures();
    std::printf("FAILED: %s\n", why.c_str());
    std::fflush(stdout);
}

// A result check: prints "check <what>: same" or notes a failure.
// Returns: `same`.
inline bool check(bool same, const std::string& what) {
    if (same)
        std::printf("check %s: same\n", what.c_str());
    else
        fail("check " + what + ": ours and the reference differ");
    std::fflush(stdout);
    return same;
}

// Returns: the program's exit status: 0 when nothing failed.
inline int exit_code() {
    return failures().load() == 0 ? 0 : 1;
}

class ratio_reporter : public benchmark::ConsoleReporter {
public:
    // Plain text (no colour codes), so the ratio lines grep cleanly.
    explicit ratio_reporter(std::vector<ratio> ratios)
        : ConsoleReporter(OO_Tabular), ratios_(std::move(ratios)) {}
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred)
                fail(run.benchmark_name() + ": " + run.error_message);
            else
                times_[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const ratio& r : ratios_) {
            double ours = time_of(r.ours);
            double reference = time_of(r.reference);
            if (ours > 0 && reference > 0)
                std::printf("ratio %s: %.2f\n", r.label.c_str(), ours / reference);
        }
        std::fflush(stdout);
    }

private:
    // Returns: the time of the run named `name` (or whose name starts with
    //     `name` and "/"), 0 when there is none.
    double time_of(const std::string& name) const {
        auto exact = times_.find(name);
        if (exact != times_.end())
            return exact->second;
        for (const auto& entry : times_)
            if (entry.first.compare(0, name.size() + 1, name + "/") == 0)
                return entry.second;
        return 0;
    }

    std::vector<ratio> ratios_;
    std::map<std::string, double> times_;  // benchmark name -> adjusted real time
};

// Runs `checks` (result comparisons outside the timing), then, when they
// all passed, every registered benchmark, prints the ratios and calls
// `after` (for extra lines such as sizes).
// Returns: the program's exit status.
inline int run_with_ratios(int argc, char** argv, std::vector<ratio> ratios,
                           const std::function<void()>& checks = nullptr,
                           const std::function<void()>& after = nullptr) {
    benchmark::Initialize(&argc, argv);
    if (checks)
        checks();
    if (failures().load() == 0) {
        ratio_reporter reporter(std::move(ratios));
        benchmark::RunSpecifiedBenchmarks(&reporter);
        if (after)
            after();
    }
    benchmark::Shutdown();
    return exit_code();
}

// A folder of the run's own (mode 0700) under TMPDIR (else /tmp), for
// KIV_ROOT_PATH and what the benchmark writes, removed with what it holds
// at scope end; path() is "" when it could not be made.
class run_folder {
public:
    explicit run_folder(const char* prefix) : path_(kiv_test::make_temp_folder(prefix)) {}
    ~run_folder() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    run_folder(const run_folder&) = delete;
    run_folder& operator=(const run_folder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace kiv_bench

#endif
