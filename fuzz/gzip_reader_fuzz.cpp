// gzip_reader_fuzz.cpp --
//
//     Reads any bytes as a gzip file through the zip service, as
//     ungzip_binary and ungzip_text, with the service's memory cap
//     lowered so that a small stream that inflates hugely is refused
//     quickly. Both must agree; a file without the gzip magic comes back
//     as it is; a damaged or cut stream is refused rather than returned
//     in part. The bytes written by the service's own gzip writer must
//     read back exactly (checked on one input in sixteen).

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_binary.h>
#include <kiv/core/i_core.h>
#include <kiv/zip/i_zip.h>
#include <kiv_test/zip_hooks.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"

namespace {

constexpr uint64_t fuzz_memory_cap = 256u << 10;
std::string input_path, written_path;
kiv::i_zip_service* zip = nullptr;  // the service's; lives as long as the core
kiv::i_object* zip_service = nullptr;

bool same(kiv::i_binary* bin, const void* data, size_t size) {
    return bin->get_data_size() == size && (size == 0 || std::memcmp(bin->get_data(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    kiv_zip_test_memory_cap(fuzz_memory_cap);
    std::string root = start_framework({"kiv_zip"});
    input_path = root + "/input.gz";
    written_path = root + "/written.gz";
    zip_service = keep(kiv_core()->get_service("svc_zip"));
    zip = kiv_cast_i_zip_service(zip_service);
    if (zip == nullptr)
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20))
        return 0;
    write_file(input_path, data, size, 1000000);
    auto_ptr_t<kiv::i_binary> bin(zip->ungzip_binary(input_path.c_str()));
    char* text = zip->ungzip_text(input_path.c_str());
    check(bool(bin) == (text != nullptr));
    if (bin) {
        check(bin->get_data_size() <= fuzz_memory_cap);
        check(same(bin, text, bin->get_data_size()) && text[bin->get_data_size()] == '\0');
        if (size < 2 || data[0] != 0x1f || data[1] != 0x8b)
            check(same(bin, data, size));
    } else {
        // Only a gzip stream can be refused.
        check(size >= 2 && data[0] == 0x1f && data[1] == 0x8b);
    }
    std::free(text);

    // Setting up a deflate stream costs more than all the reading above,
    // so one input in sixteen also goes through the writer.
    if (size % 16 != 0)
        return 0;
    auto_ptr_t<kiv::i_gzip_writer> writer(zip->open_gzip_writer(written_path.c_str()));
    check(writer && writer->write(data, unsigned(size)) && writer->close());
    writer.reset();
    auto_ptr_t<kiv::i_binary> back(zip->ungzip_binary(written_path.c_str()));
    check(back && same(back, data, size));
    return 0;
}
