// block_stream_fuzz.cpp --
//
//     Walks any byte sequence as a block stream, nested streams included,
//     and re-writes every block it found: no read may leave the data.

#include <kiv/core/binary_impl.h>

#include <cstring>

namespace {
void walk(const uint8_t* data, unsigned size, kiv::binary_data_writer& out, int depth) {
    kiv::binary_data_reader reader(data, size);
    while (reader.next()) {
        unsigned n = reader.get_block_size();
        const uint8_t* payload = static_cast<const uint8_t*>(reader.get_block_ptr());
        void* copy = out.allocate_block(reader.get_block_type(), n);
        if (copy != nullptr && n > 0)
            std::memcpy(copy, payload, n);
        if (depth < 4)
            walk(payload, n, out, depth + 1);
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kiv::binary_data_writer out;
    walk(data, static_cast<unsigned>(size), out, 0);
    return 0;
}
