// The bitwise CRC of the image trailer, word for word from its algorithm: the
// reference that the tool's table-driven calc_crc32 is tested and
// benchmarked against. Not used by the tool.
#pragma once

#include <cstddef>
#include <cstdint>

namespace test_support {

inline std::uint32_t bitwise_crc32(std::uint32_t seed, const std::uint8_t* buf, std::size_t len) {
    std::uint32_t crc = seed;
    for (std::size_t i = 0; i < len; ++i) {
        crc ^= buf[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return crc;
}

}  // namespace test_support
