// archive_bench.cpp --
//
//     Files through "svc_zip" against the libraries used directly, in one
//     run:
//     - a 100 MiB zip archive (100 entries of 1 MiB of map-like text)
//       written through a zip writer against minizip's zipOpen64 and
//       zipWriteInFileInZip with the same deflate settings, and read back
//       entry by entry through a zip reader against unzLocateFile and
//       unzReadCurrentFile;
//     - a 32 MiB gzip file written through a gzip writer against gzopen
//       and gzwrite, and read back whole against gzread.
//     First each side must read what the other wrote as the same bytes.
//     The last lines print each ratio (our time over the library's).

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_core.h>
#include <kiv/zip/i_zip.h>

#include "ratio_main.h"
#include "zip_bench_session.h"

#include <benchmark/benchmark.h>
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const unsigned entries = 100;
const size_t entry_size = 1 << 20;
const unsigned gzip_chunks = 32;

using kiv_bench::zip;
using kiv_bench::zip_path;

// 1 MiB of map-like text; `seed` makes each entry its own.
std::string entry_text(unsigned seed) {
    std::string text;
    unsigned state = 7 + seed * 2654435761u;
    const char* names[] = {"Main Street", "River Road", "Old Bridge", "North Lane", "Mill Pond"};
    while (text.size() < entry_size) {
        state = state * 1103515245u + 12345u;
        char line[96];
        std::snprintf(line, sizeof line, "<feature id=\"%u\" name=\"%s\" x=\"%u.%02u\" y=\"%u.%02u\"/>\n", state >> 12,
                      names[(state >> 8) % 5], (state >> 4) % 5000, state % 100, (state >> 14) % 5000,
                      (state >> 20) % 100);
        text += line;
    }
    text.resize(entry_size);
    return text;
}

const std::vector<std::string>& contents() {
    static const std::vector<std::string> all = [] {
        std::vector<std::string> c;
        for (unsigned i = 0; i < entries; ++i)
            c.push_back(entry_text(i));
        return c;
    }();
    return all;
}

std::string entry_name(unsigned i) {
    return "tiles/level_" + std::to_string(i % 10) + "/part_" + std::to_string(i) + ".xml";
}

// Zip archives --------------------------------------------------------

bool write_zip_ours(const std::string& path) {
    auto_ptr_t<kiv::i_zip_writer> writer(zip()->open_writer(path.c_str()));
    if (!writer)
        return false;
    for (unsigned i = 0; i < entries; ++i)
        if (!writer->write_binary_file(contents()[i].data(), unsigned(entry_size), entry_name(i).c_str()))
            return false;
    return true;  // complete once the last reference goes
}

// minizip with the settings our writer uses (deflate, default level,
// raw deflate, UTF-8 names stay plain ASCII here).
bool write_zip_minizip(const std::string& path) {
    zipFile handle = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
    if (handle == nullptr)
        return false;
    bool ok = true;
    for (unsigned i = 0; ok && i < entries; ++i) {
        zip_fileinfo info = {};
        info.tmz_date.tm_year = 2024;
        info.tmz_date.tm_mday = 1;
        ok = zipOpenNewFileInZip4_64(handle, entry_name(i).c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                                     Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                     Z_DEFAULT_STRATEGY, nullptr, 0, 0, 0, 0) == ZIP_OK &&
             zipWriteInFileInZip(handle, contents()[i].data(), unsigned(entry_size)) == ZIP_OK &&
             zipCloseFileInZip(handle) == ZIP_OK;
    }
    return zipClose(handle, nullptr) == ZIP_OK && ok;
}

// Reads every entry by name; `take` gets its bytes.
template <class Take>
bool read_zip_ours(const std::string& path, Take take) {
    auto_ptr_t<kiv::i_zip_reader> reader(zip()->open_reader(path.c_str()));
    if (!reader)
        return false;
    for (unsigned i = 0; i < entries; ++i) {
        auto_ptr_t<kiv::i_binary> data(reader->get_binary_file(entry_name(i).c_str()));
        if (!data)
            return false;
        take(i, data->get_data(), data->get_data_size());
    }
    return true;
}

template <class Take>
bool read_zip_minizip(const std::string& path, Take take) {
    unzFile handle = unzOpen64(path.c_str());
    if (handle == nullptr)
        return false;
    bool ok = true;
    std::vector<char> buffer;
    for (unsigned i = 0; ok && i < entries; ++i) {
        unz_file_info64 info;
        ok = unzLocateFile(handle, entry_name(i).c_str(), 1) == UNZ_OK &&
             unzGetCurrentFileInfo64(handle, &info, nullptr, 0, nullptr, 0, nullptr, 0) == UNZ_OK &&
             unzOpenCurrentFile(handle) == UNZ_OK;
        if (!ok)
            break;
        buffer.resize(info.uncompressed_size);
        int n = unzReadCurrentFile(handle, buffer.data(), unsigned(buffer.size()));
        ok = n == int(buffer.size()) && unzCloseCurrentFile(handle) == UNZ_OK;  // the close checks the CRC
        if (ok)
            take(i, buffer.data(), unsigned(buffer.size()));
    }
    unzClose(handle);
    return ok;
}

void bm_zip_write_ours(benchmark::State& state) {
    contents();
    for (auto _ : state)
        if (!write_zip_ours(zip_path("ours.zip")))
            state.SkipWithError("write failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * entries * int64_t(entry_size));
}

void bm_zip_write_minizip(benchmark::State& state) {
    contents();
    for (auto _ : state)
        if (!write_zip_minizip(zip_path("minizip.zip")))
            state.SkipWithError("write failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * entries * int64_t(entry_size));
}

void bm_zip_read_ours(benchmark::State& state) {
    for (auto _ : state)
        if (!read_zip_ours(zip_path("minizip.zip"), [](unsigned, const void* p, unsigned) { benchmark::DoNotOptimize(p); }))
            state.SkipWithError("read failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * entries * int64_t(entry_size));
}

void bm_zip_read_minizip(benchmark::State& state) {
    for (auto _ : state)
        if (!read_zip_minizip(zip_path("minizip.zip"),
                              [](unsigned, const void* p, unsigned) { benchmark::DoNotOptimize(p); }))
            state.SkipWithError("read failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * entries * int64_t(entry_size));
}

// Gzip files ----------------------------------------------------------

bool write_gzip_ours(const std::string& path) {
    auto_ptr_t<kiv::i_gzip_writer> writer(zip()->open_gzip_writer(path.c_str()));
    if (!writer)
        return false;
    bool ok = true;
    for (unsigned i = 0; ok && i < gzip_chunks; ++i)
        ok = writer->write(contents()[i].data(), unsigned(entry_size));
    return writer->close() && ok;
}

bool write_gzip_zlib(const std::string& path) {
    gzFile file = gzopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    bool ok = true;
    for (unsigned i = 0; ok && i < gzip_chunks; ++i)
        ok = gzwrite(file, contents()[i].data(), unsigned(entry_size)) == int(entry_size);
    return gzclose(file) == Z_OK && ok;
}

std::string read_gzip_ours(const std::string& path) {
    auto_ptr_t<kiv::i_binary> data(zip()->ungzip_binary(path.c_str()));
    if (!data)
        return "<failed>";
    return std::string(static_cast<const char*>(data->get_data()), data->get_data_size());
}

std::string read_gzip_zlib(const std::string& path) {
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr)
        return "<failed>";
    std::string out;
    std::vector<char> buffer(entry_size);
    int n;
    while ((n = gzread(file, buffer.data(), unsigned(buffer.size()))) > 0)
        out.append(buffer.data(), size_t(n));
    bool ok = n == 0;
    gzclose(file);
    return ok ? out : "<failed>";
}

void bm_gzip_write_ours(benchmark::State& state) {
    contents();
    for (auto _ : state)
        if (!write_gzip_ours(zip_path("ours.gz")))
            state.SkipWithError("write failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * gzip_chunks * int64_t(entry_size));
}

void bm_gzip_write_zlib(benchmark::State& state) {
    contents();
    for (auto _ : state)
        if (!write_gzip_zlib(zip_path("zlib.gz")))
            state.SkipWithError("write failed");
    state.SetBytesProcessed(int64_t(state.iterations()) * gzip_chunks * int64_t(entry_size));
}

void bm_gzip_read_ours(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(read_gzip_ours(zip_path("zlib.gz")).size());
    state.SetBytesProcessed(int64_t(state.iterations()) * gzip_chunks * int64_t(entry_size));
}

void bm_gzip_read_zlib(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(read_gzip_zlib(zip_path("zlib.gz")).size());
    state.SetBytesProcessed(int64_t(state.iterations()) * gzip_chunks * int64_t(entry_size));
}

BENCHMARK(bm_zip_write_ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_zip_write_minizip)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_zip_read_ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_zip_read_minizip)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_gzip_write_ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_gzip_write_zlib)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_gzip_read_ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bm_gzip_read_zlib)->Unit(benchmark::kMillisecond)->UseRealTime();

// Returns: whether `read` gives every entry back as written.
template <class Read>
bool entries_intact(Read read, const std::string& path) {
    unsigned intact = 0;
    bool ok = read(path, [&](unsigned i, const void* p, unsigned size) {
        intact += size == entry_size && std::memcmp(p, contents()[i].data(), entry_size) == 0;
    });
    return ok && intact == entries;
}

// Each side reads what the other wrote (and what it wrote itself) as the
// bytes written; the files the benchmarks read are written here.
void check_results() {
    bool ours_written = write_zip_ours(zip_path("ours.zip"));
    bool minizip_written = write_zip_minizip(zip_path("minizip.zip"));
    auto ours = [](const std::string& path, auto take) { return read_zip_ours(path, take); };
    auto theirs = [](const std::string& path, auto take) { return read_zip_minizip(path, take); };
    kiv_bench::check(ours_written && minizip_written && entries_intact(ours, zip_path("ours.zip")) &&
                         entries_intact(theirs, zip_path("ours.zip")) && entries_intact(ours, zip_path("minizip.zip")) &&
                         entries_intact(theirs, zip_path("minizip.zip")),
                     "100 MiB archive entries, each side reading both archives");
    std::string expected;
    for (unsigned i = 0; i < gzip_chunks; ++i)
        expected += contents()[i];
    bool gz_written = write_gzip_ours(zip_path("ours.gz")) && write_gzip_zlib(zip_path("zlib.gz"));
    kiv_bench::check(gz_written && read_gzip_ours(zip_path("ours.gz")) == expected &&
                         read_gzip_zlib(zip_path("ours.gz")) == expected &&
                         read_gzip_ours(zip_path("zlib.gz")) == expected && read_gzip_zlib(zip_path("zlib.gz")) == expected,
                     "32 MiB gzip contents, each side reading both files");
}

}  // namespace

int main(int argc, char** argv) {
    return kiv_bench::run_zip_bench(
        "archive_bench", argc, argv,
        {{"zip archive write, 100 MiB, vs minizip", "bm_zip_write_ours", "bm_zip_write_minizip"},
         {"zip archive read, 100 MiB, vs minizip", "bm_zip_read_ours", "bm_zip_read_minizip"},
         {"gzip file write, 32 MiB, vs gzwrite", "bm_gzip_write_ours", "bm_gzip_write_zlib"},
         {"gzip file read, 32 MiB, vs gzread", "bm_gzip_read_ours", "bm_gzip_read_zlib"}},
        check_results);
}
