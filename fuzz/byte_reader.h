// Takes typed values off the front of a fuzz input. Once the input is used
// up every value reads as zero, so a decoder never needs to check lengths.
#ifndef QVZ_FUZZ_BYTE_READER_H
#define QVZ_FUZZ_BYTE_READER_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace qvz {
namespace fuzz {

class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Empty() const { return at_ >= size_; }

    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }

    std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }

    std::uint32_t U32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value |= static_cast<std::uint32_t>(Byte()) << (8 * i);
        }
        return value;
    }

    std::int32_t I32() { return static_cast<std::int32_t>(U32()); }

    double RawDouble() {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) {
            bits |= static_cast<std::uint64_t>(Byte()) << (8 * i);
        }
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // Up to `limit` bytes, any content (NUL bytes included).
    std::string Bytes(std::size_t limit) {
        std::size_t length = Byte();
        if (length == 0xFF) {
            length += static_cast<std::size_t>(Byte()) * 4;  // long texts, up to ~1.3 kB
        }
        if (length > limit) {
            length = limit;
        }
        if (length > size_ - (at_ < size_ ? at_ : size_)) {
            length = at_ < size_ ? size_ - at_ : 0;
        }
        std::string text(reinterpret_cast<const char*>(data_ + (at_ < size_ ? at_ : size_)),
                         length);
        at_ += length;
        return text;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

}  // namespace fuzz
}  // namespace qvz

#endif
