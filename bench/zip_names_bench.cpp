// zip_names_bench.cpp --
//
//     Reading every entry of a 10,000-entry archive by name through a zip
//     reader of "svc_zip" against Python's zipfile doing the same, as a
//     ratio (ours / Python's seconds per pass). Each pass opens the
//     archive and reads all entries whole, in one shuffled order both
//     sides share, so neither gains from the directory's order; the open
//     is timed too, since both build their name index there or on the
//     first read. Python makes the archive (zipfile, deflate).
//
//     Before timing, both sides must read the same number of bytes with
//     the same running CRC-32. Python's time is the one its script
//     measures around the reads (the interpreter's start is not counted).
//     The entries per second of each side are printed after the ratio,
//     and a ratio below 0.2 or above 5 gets a note saying why.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/files.h>
#include <kiv/core/i_core.h>
#include <kiv/zip/i_zip.h>

#include "ratio_main.h"
#include "zip_bench_session.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

const unsigned entry_count = 10000;

std::vector<std::string> names;  // every entry, in the shared reading order
double ours_seconds = 0, python_seconds = 0;  // per pass, from the runs
unsigned ours_passes = 0, python_passes = 0;

using kiv_bench::zip;

std::string archive_path() {
    return kiv_bench::zip_path("names.zip");
}

std::string names_path() {
    return kiv_bench::zip_path("names.txt");
}

// What a pass read: bytes and the running CRC-32 over all of them.
struct digest {
    unsigned long long bytes = 0;
    unsigned long crc = 0;
    bool ok = false;
    bool operator==(const digest& o) const { return ok && o.ok && bytes == o.bytes && crc == o.crc; }
};

// Runs the script. Returns: its first output line, empty on failure.
std::string python(const std::string& args) {
    std::string command = "python3 '" ZIP_NAMES_SCRIPT "' " + args;
    FILE* p = popen(command.c_str(), "r");
    if (p == nullptr)
        return "";
    char line[256] = {};
    bool got = std::fgets(line, sizeof line, p) != nullptr;
    return pclose(p) == 0 && got ? std::string(line) : std::string();
}

digest read_ours() {
    digest d;
    auto_ptr_t<kiv::i_zip_reader> reader(zip()->open_reader(archive_path().c_str()));
    if (!reader)
        return d;
    for (const std::string& name : names) {
        auto_ptr_t<kiv::i_binary> data(reader->get_binary_file(name.c_str()));
        if (!data)
            return d;
        d.bytes += data->get_data_size();
        d.crc = crc32(d.crc, static_cast<const Bytef*>(data->get_data()), data->get_data_size());
    }
    d.ok = true;
    return d;
}

// Returns: Python's digest, its seconds in *seconds.
digest read_python(double* seconds) {
    digest d;
    std::string line = python("read '" + archive_path() + "' '" + names_path() + "'");
    if (std::sscanf(line.c_str(), "%lf %llu %lu", seconds, &d.bytes, &d.crc) == 3)
        d.ok = true;
    return d;
}

void bm_names_ours(benchmark::State& state) {
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (!read_ours().ok)
            state.SkipWithError("read failed");
        ours_seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ++ours_passes;
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * entry_count);
}

void bm_names_python(benchmark::State& state) {
    for (auto _ : state) {
        double seconds = 0;
        if (!read_python(&seconds).ok) {
            state.SkipWithError("python failed");
            break;
        }
        state.SetIterationTime(seconds);
        python_seconds += seconds;
        ++python_passes;
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * entry_count);
}

BENCHMARK(bm_names_ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_names_python)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

// Makes the archive and the shared order, then both sides must read
// the same bytes.
void check_results() {
    if (!python("make '" + archive_path() + "' " + std::to_string(entry_count)).empty() ||
        !kiv_file_exists(archive_path().c_str())) {
        kiv_bench::fail("python3 could not make the archive");
        return;
    }
    for (unsigned i = 0; i < entry_count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "tiles/%02u/entry_%05u.xml", i % 64, i);
        names.push_back(name);
    }
    std::shuffle(names.begin(), names.end(), std::mt19937(51));
    FILE* f = std::fopen(names_path().c_str(), "w");
    for (const std::string& name : names)
        std::fprintf(f, "%s\n", name.c_str());
    if (std::fclose(f) != 0) {
        kiv_bench::fail("cannot write the names");
        return;
    }
    double seconds = 0;
    kiv_bench::check(read_ours() == read_python(&seconds),
                     "10,000 entries read by name, bytes and CRC-32 of each side");
}

void report() {
    if (ours_passes == 0 || python_passes == 0)
        return;
    double ours = ours_seconds / ours_passes, theirs = python_seconds / python_passes;
    std::printf("entries per second: ours %.0f, Python's zipfile %.0f\n", entry_count / ours, entry_count / theirs);
    double ratio = ours / theirs;
    if (ratio < 0.2)
        std::printf("note: ratio below 0.2: zipfile runs Python code for every entry (its header parsed, a "
                    "ZipExtFile made and read), ours one index lookup and the inflate in C\n");
    else if (ratio > 5)
        std::printf("note: ratio above 5: finding an entry by name costs more than it should; the reader's "
                    "name index is not doing its work\n");
}

}  // namespace

int main(int argc, char** argv) {
    return kiv_bench::run_zip_bench(
        "zip_names_bench", argc, argv,
        {{"10,000 zip entries read by name, vs Python's zipfile", "bm_names_ours", "bm_names_python"}},
        check_results, report);
}
