// Byte strings for the tests: files read or written whole, and little-endian
// 32-bit words spelt out byte by byte (the stuff of maintain headers).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace test_support {

// Both throw when the file cannot be read or written whole.
std::vector<std::uint8_t> read_file_bytes(const std::string& path);
void write_file_bytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

inline std::vector<std::uint8_t> le_words(std::initializer_list<std::uint32_t> words) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t w : words)
        for (int shift = 0; shift < 32; shift += 8)
            out.push_back(static_cast<std::uint8_t>(w >> shift));
    return out;
}

}  // namespace test_support
