// Reads the values of a scripted input (a fuzz input that is not a file, but
// a sequence of decisions) from the front of its bytes. When the bytes run
// out every read gives 0, so that any input, however short, is a complete
// script.
#ifndef QORTA_FUZZ_BYTE_SOURCE_H
#define QORTA_FUZZ_BYTE_SOURCE_H

#include <cstddef>
#include <cstdint>

namespace fuzz {

class ByteSource {
public:
    ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return size_ == 0; }

    std::uint8_t byte() {
        if (size_ == 0) return 0;
        --size_;
        return *data_++;
    }

    bool flag() { return (byte() & 1) != 0; }

    std::uint16_t u16() {
        std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | (byte() << 8));
    }

    std::uint32_t u32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(byte()) << (8 * i);
        return value;
    }

    // A value in 0 .. bound - 1 (bound > 0), from as few bytes as it needs.
    std::uint32_t below(std::uint32_t bound) {
        std::uint32_t value = bound <= 0x100 ? byte() : bound <= 0x10000 ? u16() : u32();
        return value % bound;
    }

    // An int32 that is often one of the values where arithmetic goes wrong:
    // 0, +-1, the ends of the range, or a small number; otherwise any value.
    std::int32_t edgyInt32() {
        switch (byte() % 8) {
            case 0: return 0;
            case 1: return 1;
            case 2: return -1;
            case 3: return INT32_MIN;
            case 4: return INT32_MAX;
            case 5: return static_cast<std::int32_t>(byte()) - 128;
            case 6: return static_cast<std::int32_t>(u16());
            default: return static_cast<std::int32_t>(u32());
        }
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

}  // namespace fuzz

#endif
