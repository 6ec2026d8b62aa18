// image_blob_fuzz.cpp --
//
//     Unpacks any bytes as a packed image blob. Whatever unpacks must hold
//     a consistent buffer and pack again into a raw blob of exactly
//     9 + width × height × 4 bytes.

#include "image_fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX)
        return 0;
    auto_ptr_t<kiv::i_image> img(kiv_image_unpack(data, unsigned(size)));
    if (!img)
        return 0;
    kiv_fuzz::check_picture(img);
    auto_ptr_t<kiv::i_binary> blob(kiv_image_pack(img, 6, 100));
    if (!blob || blob->get_data_size() != 9 + uint64_t(img->get_data_size()))
        abort();
    return 0;
}
