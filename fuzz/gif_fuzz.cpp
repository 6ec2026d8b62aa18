// gif_fuzz.cpp --
//
//     Decodes any bytes as GIF: the decoder must refuse or produce a
//     picture whose buffer holds exactly width × height × 4 bytes, without
//     reading or writing outside what it was given or allocated.

#include "image_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kiv_fuzz::decode(data, size, 3);
    return 0;
}
