// bin_parser.cpp --
//
//     The byte-record parser. Every position is computed in 64-bit from
//     the cursor, the caller's offset and the bytes a read needs, and is
//     checked against the data size before a byte is touched, so no
//     offset a script passes can reach outside the data.

#include <kiv/core/i_bin_parser.h>
#include <kiv/core/object.h>

#include <cstdlib>
#include <cstring>

namespace kiv {

namespace {

const char empty_text[] = "";

class bin_parser : public object, public i_bin_parser {
public:
    // Takes `data` as it is; `owns` makes the parser free it.
    bin_parser(const uint8_t* data, unsigned size, bool owns) : data_(data), size_(size), owns_(owns) {}
    ~bin_parser() override {
        if (owns_)
            free(const_cast<uint8_t*>(data_));
    }

    bool set_offset(unsigned val, unsigned start_bit) override {
        if (val >= size_ || start_bit >= 8)
            return false;
        cursor_ = val;
        start_bit_ = start_bit;
        return true;
    }
    unsigned get_offset() override { return cursor_; }
    unsigned get_start_bit() override { return start_bit_; }
    unsigned get_unparsed_size() override { return size_ - cursor_; }

    int64_t get_int(unsigned offset, unsigned size, bool invert, bool incr_offset) override {
        if (size != 2 && size != 4 && size != 8)
            return 0;
        uint8_t b[8];
        if (!fetch(offset, size, b))
            return 0;
        int64_t value;
        if (size == 2) {
            if (invert) {
                value = (int64_t(b[0]) << 8) | b[1];
            } else {
                int16_t v;
                std::memcpy(&v, b, 2);
                value = v;
            }
        } else if (size == 4) {
            uint32_t v;
            if (invert)
                v = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
            else
                std::memcpy(&v, b, 4);
            value = v;
        } else {
            uint64_t v = 0;
            if (invert)
                for (int i = 0; i < 8; ++i)
                    v = (v << 8) | b[i];
            else
                std::memcpy(&v, b, 8);
            value = static_cast<int64_t>(v);
        }
        if (incr_offset)
            cursor_ += size;
        return value;
    }

    float get_float(unsigned offset, bool invert, bool incr_offset) override {
        return get_raw<float>(offset, invert, incr_offset);
    }

    double get_double(unsigned offset, bool invert, bool incr_offset) override {
        return get_raw<double>(offset, invert, incr_offset);
    }

    uint8_t get_byte(unsigned offset, bool incr_offset) override {
        uint8_t b;
        if (!fetch(offset, 1, &b))
            return 0;
        if (incr_offset)
            cursor_ += 1;
        return b;
    }

    int64_t get_bits(unsigned offset, unsigned bit_count, bool incr_offset) override {
        if (bit_count == 0 || bit_count > 64)
            return 0;
        unsigned bytes = (bit_count + 7) / 8;
        uint8_t b[8];
        if (!fetch(offset, bytes, b))
            return 0;
        uint64_t value = 0;
        for (unsigned j = 0; j < bytes; ++j) {
            unsigned byte = b[j];
            unsigned remaining = bit_count - 8 * j;
            if (remaining < 8)
                byte >>= 8 - remaining;
            value |= uint64_t(byte) << (8 * j);
        }
        if (incr_offset) {
            unsigned bits = start_bit_ + bit_count;
            cursor_ += bits / 8;
            start_bit_ = bits % 8;
        }
        return static_cast<int64_t>(value);
    }

    const char* get_text(unsigned offset, bool incr_offset) override {
        uint64_t p = uint64_t(cursor_) + offset;
        if (start_bit_ != 0 || p + 1 > size_)
            return empty_text;
        const void* end = std::memchr(data_ + p, 0, size_ - p);
        if (end == nullptr)
            return empty_text;
        const char* text = reinterpret_cast<const char*>(data_ + p);
        if (incr_offset)
            cursor_ += static_cast<unsigned>(static_cast<const uint8_t*>(end) - (data_ + p)) + 1;
        return text;
    }

    char* get_text2(unsigned offset, unsigned size, bool incr_offset) override {
        uint64_t p = uint64_t(cursor_) + offset;
        if (start_bit_ != 0 || p > size_)
            return nullptr;
        uint64_t n = size != 0 ? size : size_ - p;
        if (n == 0 || p + n > size_)
            return nullptr;
        const void* zero = std::memchr(data_ + p, 0, n);
        if (zero != nullptr)
            n = static_cast<uint64_t>(static_cast<const uint8_t*>(zero) - (data_ + p));
        char* text = static_cast<char*>(malloc(n + 1));
        if (text == nullptr)
            return nullptr;
        std::memcpy(text, data_ + p, n);
        text[n] = '\0';
        if (incr_offset)
            cursor_ += static_cast<unsigned>(n);
        return text;
    }

    bool get_interface(const char* name, void** out) override {
        if (answer_interface(name, "i_bin_parser", static_cast<i_bin_parser*>(this), out))
            return true;
        return object::get_interface(name, out);
    }

private:
    // Copies k (at most 8) bytes of the value at cursor + offset, shifted
    // by the start bit. Returns: false when they are not all there.
    // Reads a value of T's size in host order (invert: byte order reversed);
    // 0 when it does not fit the data.
    template <class T>
    T get_raw(unsigned offset, bool invert, bool incr_offset) {
        uint8_t b[sizeof(T)];
        if (!fetch(offset, sizeof(T), b))
            return T(0);
        if (invert)
            reverse(b, sizeof(T));
        T value;
        std::memcpy(&value, b, sizeof(T));
        if (incr_offset)
            cursor_ += sizeof(T);
        return value;
    }

    bool fetch(unsigned offset, unsigned k, uint8_t* out) const {
        unsigned s = start_bit_;
        uint64_t p = uint64_t(cursor_) + offset;
        if (p + (s > 0 ? 1 : 0) + k > size_)
            return false;
        if (s == 0) {
            std::memcpy(out, data_ + p, k);
            return true;
        }
        for (unsigned i = 0; i < k; ++i)
            out[i] = static_cast<uint8_t>((data_[p + i] << s) | (data_[p + i + 1] >> (8 - s)));
        return true;
    }

    static void reverse(uint8_t* b, unsigned n) {
        for (unsigned i = 0; i < n / 2; ++i) {
            uint8_t t = b[i];
            b[i] = b[n - 1 - i];
            b[n - 1 - i] = t;
        }
    }

    const uint8_t* data_;    // the bytes; owned (malloc) when owns_, else borrowed
    unsigned size_;          // number of bytes at data_
    unsigned cursor_ = 0;    // byte offset of the next read; at most size_
    unsigned start_bit_ = 0; // 0 to 7: bits of the cursor's byte already read
    bool owns_;
};

}  // namespace

}  // namespace kiv

kiv::i_bin_parser* kiv_cast_i_bin_parser(kiv::i_object* obj) {
    return kiv::cast_interface<kiv::i_bin_parser>(obj, "i_bin_parser");
}

kiv::i_bin_parser* kiv_create_bin_parser(const void* data, unsigned data_size, bool copy) {
    if (data == nullptr || data_size == 0)
        return nullptr;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (copy) {
        uint8_t* own = static_cast<uint8_t*>(malloc(data_size));
        if (own == nullptr)
            return nullptr;
        std::memcpy(own, data, data_size);
        bytes = own;
    }
    kiv::i_bin_parser* parser = new kiv::bin_parser(bytes, data_size, copy);
    parser->addref();
    return parser;
}
