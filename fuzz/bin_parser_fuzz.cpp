// bin_parser_fuzz.cpp --
//
//     Runs a program of parser reads over bytes that the parser borrows
//     without a copy, so any read outside them is caught. The first byte
//     gives the number of program bytes that follow (4 per operation);
//     the rest is the data.

#include <kiv/core/auto_ptr.h>
#include <kiv/core/i_bin_parser.h>

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    size_t program_len = data[0];
    if (program_len + 1 >= size)
        return 0;
    const uint8_t* program = data + 1;
    // The data in a block of its own, exactly as large as it is.
    std::vector<uint8_t> bytes(data + 1 + program_len, data + size);
    auto_ptr_t<kiv::i_bin_parser> p(
        kiv_create_bin_parser(bytes.data(), static_cast<unsigned>(bytes.size()), false));
    if (!p)
        std::abort();
    for (size_t i = 0; i + 4 <= program_len; i += 4) {
        uint8_t op = program[i];
        // Offsets near 0 and near the 32-bit limit both matter.
        unsigned offset = program[i + 1] & 0x80 ? 0xFFFFFF00u | program[i + 1] : program[i + 1];
        unsigned arg = program[i + 2];
        bool flag1 = program[i + 3] & 1;
        bool flag2 = program[i + 3] & 2;
        switch (op % 9) {
        case 0: p->set_offset(arg, program[i + 3] & 15); break;
        case 1: p->get_int(offset, arg % 10, flag1, flag2); break;
        case 2: p->get_float(offset, flag1, flag2); break;
        case 3: p->get_double(offset, flag1, flag2); break;
        case 4: p->get_byte(offset, flag2); break;
        case 5: p->get_bits(offset, arg, flag2); break;
        case 6: {
            const char* text = p->get_text(offset, flag2);
            if (text == nullptr || std::strlen(text) > bytes.size())
                std::abort();
            break;
        }
        case 7: free(p->get_text2(offset, arg, flag2)); break;
        case 8:
            if (p->get_offset() > bytes.size() || p->get_start_bit() > 7)
                std::abort();
            break;
        }
    }
    return 0;
}
